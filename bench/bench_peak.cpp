// The peak memory of two moments a user meets, each in a fresh process (this program started again
// with --child) and read from the kernel's record of its largest resident size, beside a control
// run of the same process without the moment: Find All over a notebook of 100,000 notes, and the
// recovery copy after one edit in a note of 50 MB. Also the time Find All takes over a million notes
// to its first hundred rows and to its end, each until painted, beside `cat` of the file, and the
// peak of a save of a million notes after Sort Alphabetically.
#include "FrameBench.h"
#include "model/CNoteBook.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllModel.h"
#include "views/CFindAllPane.h"
#include "views/CNoteEditCtrl.h"
#include "views/CRichEditCtrlEx.h"
#include "views/CSearchBar.h"

#include <QLineEdit>
#include <QTest>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

enum class Book
{
    Mass,    // 100,000 notes of about 1 KB
    Million, // 1,000,000 notes of about 1 KB
    HugeLf,  // one note of 50 MB in lines of 80 characters
    HugeCrLf // the same with Windows line ends
};

std::string HugeText(const char* lineEnd)
{
    const std::string words = "the quick brown fox jumps over a lazy dog while notes pile up ";
    std::string text;
    text.reserve((50u << 20) + 100);
    while (text.size() < (50u << 20)) {
        for (std::size_t column = 0; column < 79; ++column)
            text += words[(text.size() + column) % words.size()];
        text += lineEnd;
    }
    return text;
}

// The notebook's file, made once in TMPDIR and removed at exit.
const std::string& BookFile(Book kind)
{
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "pelmora-peak-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    static const struct Cleanup
    {
        ~Cleanup() { fs::remove_all(folder); }
    } cleanup;
    static std::map<Book, std::string> paths;
    std::string& path = paths[kind];
    if (path.empty()) {
        CNoteBook book;
        if (kind == Book::Mass || kind == Book::Million) {
            FillMassNoteBook(book, kind == Book::Mass ? 100000 : 1000000);
        } else {
            CNote* note = book.AddNote(true, false);
            note->SetTitle("huge");
            note->SetText(HugeText(kind == Book::HugeCrLf ? "\r\n" : "\n"));
        }
        path = (folder / ("book-" + std::to_string(static_cast<int>(kind)) + ".pelm")).string();
        if (!book.WriteFile(path))
            std::abort();
    }
    return path;
}

using Clock = std::chrono::steady_clock;

// Starts the kernel's record of the largest resident size (VmHWM) again from the present size.
void ResetPeakResident()
{
    if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the whole process, every thread, in ms.
double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The child: opens the notebook and does what it is asked, then prints its peak in MB, the two
// times in ms that Find All took and its CPU time in ms on every core (0 without it).
//   find-all PATTERN: Find All until the first hundred rows and until every result is in, each
//   painted; "" for none.
//   save-sorted SAVE: sorts the list and, when SAVE is 1, saves; the peak is then the save's alone
//   (the kernel's record is reset before it) and the first time is the save's.
//   edit COPY: opens the only note, presses Backspace at its end (a typed character is refused
//   above the typing limit) and, when COPY is 1, writes the recovery copy that edit leads to.
int Child(const char* path, const char* what, const char* argument)
{
    std::unique_ptr<CMainFrame> frame = MakeBenchFrame();
    frame->GetBookController().GetRecoveryKeeper()->SetDelays(std::chrono::hours(1), std::chrono::hours(1));
    frame->OpenBook(path);
    FinishRepaint(*frame);
    double firstMs = 0;
    double allMs = 0;
    double cpuMs = 0;
    if (std::strcmp(what, "find-all") == 0 && *argument) {
        frame->m_wndSearchBar->Edit()->setText(QString::fromUtf8(argument));
        CFindAllPane& pane = *frame->m_wndFindAllDock->GetPane();
        const Clock::time_point start = Clock::now();
        const double cpuStart = ProcessCpuMs();
        frame->GetRouter().Run(ID_FIND_ALL);
        while (pane.IsSearching() && pane.GetModel()->rowCount() < 100)
            QApplication::processEvents();
        pane.GetView()->viewport()->repaint();
        firstMs = MsSince(start);
        while (pane.IsSearching())
            QApplication::processEvents();
        FinishRepaint(*frame);
        allMs = MsSince(start);
        cpuMs = ProcessCpuMs() - cpuStart;
    } else if (std::strcmp(what, "save-sorted") == 0) {
        frame->GetRouter().Run(ID_SORT_NOTES);
        FinishRepaint(*frame);
        ResetPeakResident();
        const Clock::time_point start = Clock::now();
        if (std::strcmp(argument, "1") == 0 && !frame->SaveBook())
            return 1;
        firstMs = MsSince(start);
        std::printf("%f %f %f %f\n", ProcStatusMB("VmHWM:"), firstMs, allMs, cpuMs);
        std::fflush(stdout);
        frame->GetNoteBook()->SetModifiedFlag(false);
        return 0;
    } else if (std::strcmp(what, "edit") == 0) {
        CNotePanel& panel = *frame->GetNotePanel();
        panel.SetActiveNote(frame->GetNoteBook()->GetNoteAtIndex(0)->GetSerial(), true);
        CRichEditCtrlEx* text = panel.GetEditPane()->GetTextCtrl();
        QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_Backspace);
        FinishRepaint(*frame);
        if (!panel.GetEditPane()->HasPendingText())
            return 1;
        if (std::strcmp(argument, "1") == 0 && !frame->GetBookController().GetRecoveryKeeper()->Flush())
            return 1;
    }
    std::printf("%f %f %f %f\n", PeakResidentMB(), firstMs, allMs, cpuMs);
    std::fflush(stdout);
    frame->GetNoteBook()->SetModifiedFlag(false);
    return 0;
}

void RunChild(benchmark::State& state, const std::string& what, const std::string& argument,
              const std::string& path)
{
    double peak = 0, firstMs = 0, allMs = 0, cpuMs = 0;
    for (auto _ : state) {
        const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --child '" + path +
                                    "' " + what + " '" + argument + "' 2>/dev/null";
        FILE* child = ::popen(command.c_str(), "r");
        if (!child || std::fscanf(child, "%lf %lf %lf %lf", &peak, &firstMs, &allMs, &cpuMs) != 4)
            state.SkipWithError("the measuring process failed");
        if (child)
            ::pclose(child);
    }
    const double file = static_cast<double>(fs::file_size(path)) / (1 << 20);
    state.counters["peak_MB"] = peak;
    state.counters["peak_per_file"] = peak / file;
    if (what == "save-sorted")
        state.counters["save_ms"] = firstMs;
    if (allMs > 0) {
        state.counters["first_100_ms"] = firstMs;
        state.counters["all_ms"] = allMs;
        state.counters["all_cpu_ms"] = cpuMs;
    }
}

void RunChild(benchmark::State& state, Book kind, const std::string& what, const std::string& argument)
{
    RunChild(state, what, argument, BookFile(kind));
}

void BM_FindAllPeak(benchmark::State& state, const char* pattern)
{
    RunChild(state, Book::Mass, "find-all", pattern);
}
BENCHMARK_CAPTURE(BM_FindAllPeak, control_open_only, "")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FindAllPeak, the, "the")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FindAllPeak, e, "e")->Iterations(1)->Unit(benchmark::kMillisecond);

// Find All over a million notes (990 MB) in a fresh process, and `cat` of the file in the same run.
void BM_FindAllMillion(benchmark::State& state, const char* pattern)
{
    RunChild(state, Book::Million, "find-all", pattern);
    const Clock::time_point start = Clock::now();
    if (std::system(("cat '" + BookFile(Book::Million) + "' > /dev/null").c_str()) != 0)
        state.SkipWithError("cat failed");
    state.counters["cat_ms"] = MsSince(start);
}
BENCHMARK_CAPTURE(BM_FindAllMillion, the, "the")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FindAllMillion, zymurgy, "zymurgy")->Iterations(1)->Unit(benchmark::kMillisecond);

// A save of a million notes after Sort, in a fresh process, over a copy of the file; the peak is
// the save's own, pages of the file mapped included. `cat` of the file in the same run beside it.
void BM_SaveSortedMillion(benchmark::State& state, const char* save)
{
    const fs::path copy = fs::path(BookFile(Book::Million)).parent_path() / "saved.pelm";
    fs::copy_file(BookFile(Book::Million), copy, fs::copy_options::overwrite_existing);
    RunChild(state, "save-sorted", save, copy.string());
    fs::remove(copy);
    const Clock::time_point start = Clock::now();
    if (std::system(("cat '" + BookFile(Book::Million) + "' > /dev/null").c_str()) != 0)
        state.SkipWithError("cat failed");
    state.counters["cat_ms"] = MsSince(start);
}
BENCHMARK_CAPTURE(BM_SaveSortedMillion, control_sort_only, "0")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveSortedMillion, save, "1")->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_HugeNoteCopyPeak(benchmark::State& state, Book kind, const char* copy)
{
    RunChild(state, kind, "edit", copy);
}
BENCHMARK_CAPTURE(BM_HugeNoteCopyPeak, lf_control_no_copy, Book::HugeLf, "0")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HugeNoteCopyPeak, lf_copy, Book::HugeLf, "1")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HugeNoteCopyPeak, crlf_control_no_copy, Book::HugeCrLf, "0")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HugeNoteCopyPeak, crlf_copy, Book::HugeCrLf, "1")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SetMessageBoxHandler([](const std::string&, unsigned style, const std::string&) {
        return DefaultMessageBoxAnswer(style);
    });
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return Child(argv[2], argv[3], argv[4]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
