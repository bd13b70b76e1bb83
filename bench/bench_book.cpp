// Open and Save of a mass notebook through the real frame, each until the window is painted again,
// at 100,000 and 1,000,000 notes of about 1 KB; and the peak memory of opening one, searching it and
// saving it, in a fresh process (this program started again with --peak FILE), so that nothing else
// counts.
#include "FrameBench.h"
#include "MassNoteBook.h"
#include "model/CNoteBook.h"
#include "platform/MessageBox.h"
#include "views/CSearchBar.h"

#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

std::unique_ptr<CMainFrame> g_frame;

// A notebook file of that many notes, made once in TMPDIR and removed at exit.
const std::string& NoteBookFile(std::size_t notes)
{
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "pelmora-bench-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    static const struct Cleanup
    {
        ~Cleanup() { fs::remove_all(folder); }
    } cleanup;
    static std::map<std::size_t, std::string> paths;
    std::string& path = paths[notes];
    if (path.empty()) {
        CNoteBook book;
        FillMassNoteBook(book, notes);
        path = (folder / ("mass-" + std::to_string(notes) + ".pelm")).string();
        if (!book.WriteFile(path))
            std::abort();
    }
    return path;
}

void Open(const std::string& path)
{
    g_frame->CloseBook();
    g_frame->OpenBook(path);
    FinishRepaint(*g_frame);
}

void BM_Open(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        Open(path);
    state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / (1 << 20);
}
BENCHMARK(BM_Open)->Arg(100000)->Arg(1000000)->ArgName("notes")->Unit(benchmark::kMillisecond)->UseRealTime();

// Ctrl+S: the notebook written, pushed to the disk and renamed over the file.
void BM_Save(benchmark::State& state)
{
    Open(NoteBookFile(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        g_frame->GetNoteBook()->SetModified();
        g_frame->GetRouter().Run(ID_FILE_SAVE);
        FinishRepaint(*g_frame);
    }
}
BENCHMARK(BM_Save)->Arg(100000)->Arg(1000000)->ArgName("notes")->Unit(benchmark::kMillisecond)->UseRealTime();

// The child: opens, presses Find Next for "e" (an occurrence in nearly every word), saves, then prints
// its resident size before and its peak after, in MB.
int MeasurePeak(const char* path)
{
    g_frame = MakeBenchFrame();
    const double baseline = PeakResidentMB();
    Open(path);
    g_frame->m_wndSearchBar->Edit()->setText("e");
    g_frame->GetRouter().Run(ID_FIND_NEXT);
    FinishRepaint(*g_frame);
    g_frame->GetNoteBook()->SetModified();
    g_frame->GetRouter().Run(ID_FILE_SAVE);
    FinishRepaint(*g_frame);
    std::printf("%f %f\n", baseline, PeakResidentMB());
    g_frame->GetNoteBook()->SetModifiedFlag(false);
    g_frame.reset();
    return 0;
}

void BM_PeakMemory(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    double baseline = 0, peak = 0;
    for (auto _ : state) {
        const std::string command =
            "'" + fs::read_symlink("/proc/self/exe").string() + "' --peak '" + path + "' 2>/dev/null";
        FILE* child = ::popen(command.c_str(), "r");
        if (!child || std::fscanf(child, "%lf %lf", &baseline, &peak) != 2)
            state.SkipWithError("the measuring process failed");
        if (child)
            ::pclose(child);
    }
    const double file = static_cast<double>(fs::file_size(path)) / (1 << 20);
    state.counters["file_MB"] = file;
    state.counters["baseline_MB"] = baseline;
    state.counters["peak_MB"] = peak;
    state.counters["peak_per_file"] = peak / file;
}
BENCHMARK(BM_PeakMemory)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
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
    if (argc == 3 && std::strcmp(argv[1], "--peak") == 0)
        return MeasurePeak(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    g_frame = MakeBenchFrame();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_frame->GetNoteBook())
        g_frame->GetNoteBook()->SetModifiedFlag(false);
    g_frame.reset();
    return 0;
}
