// Replace All on a 100,000-note notebook (about 100 MB) through the real frame offscreen: from the
// button until every note is changed and the results are found again, and what it holds on to.
// Then at 100,000 and 1,000,000 notes opened from a file, beside `sed` and `cat` of the same text,
// with the longest the window went without handling its events.
#include "FrameBench.h"
#include "platform/CDisposer.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllModel.h"
#include "views/CFindAllPane.h"
#include "views/CReplaceRow.h"
#include "views/CSearchBar.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <map>

namespace {

CMainFrame& Frame()
{
    return *MassFrame();
}

CFindAllPane& Pane()
{
    return *Frame().m_wndFindAllDock->GetPane();
}

std::size_t NoteBookBytes()
{
    const CNoteBook& book = *Frame().GetNoteBook();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        bytes += book.GetNoteAtIndex(i)->GetTitle().size() + book.GetNoteAtIndex(i)->GetText().size();
    return bytes;
}

std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

using Clock = std::chrono::steady_clock;

// Ctrl+H with the word in the search box, then Replace All, answered Yes; the undo is not timed.
// exact: every text first without spare room, as a notebook read from a file holds them, so every
// note the replacement lengthens needs new storage.
void BM_ReplaceAll(benchmark::State& state, const char* word, const char* replacement, bool exact)
{
    if (exact)
        for (std::size_t i = 0; i < Frame().GetNoteBook()->GetCount(); ++i)
            Frame().GetNoteBook()->GetNoteAtIndex(i)->Text().shrink_to_fit();
    {
        const QSignalBlocker quiet(Frame().m_wndSearchBar->Edit());
        Frame().m_wndSearchBar->Edit()->setText(QString::fromUtf8(word));
    }
    Frame().GetRouter().Run(ID_REPLACE);
    CReplaceRow& row = *Pane().GetReplaceRow();
    row.GetReplaceBox()->setText(QString::fromUtf8(replacement));
    const double notebookMB = static_cast<double>(NoteBookBytes()) / 1e6;
    const double peakBefore = PeakResidentMB();
    for (auto _ : state) {
        const std::size_t before = HeapInUse();
        const auto start = Clock::now();
        row.GetReplaceAllButton()->click();
        FinishRepaint(Frame());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["held_MB"] = (static_cast<double>(HeapInUse()) - static_cast<double>(before)) / 1e6;
        state.PauseTiming();
        Frame().GetRouter().Run(ID_UNDO_REPLACE_ALL);
        state.ResumeTiming();
    }
    state.counters["notebook_MB"] = notebookMB;
    // What Replace All added to the largest the process had been, with the notebook open.
    state.counters["peak_RSS_before_MB"] = peakBefore;
    state.counters["peak_RSS_MB"] = PeakResidentMB();
}
BENCHMARK_CAPTURE(BM_ReplaceAll, common_word, "budget", "forecast", false)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceAll, rare_word, "zymurgy", "brewing", false)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceAll, common_word_texts_without_room, "budget", "forecast", true)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// Notebook files made once in TMPDIR, each beside its notes' titles and texts as one text file,
// removed at exit.
struct MassFiles
{
    std::string notebook;
    std::string text;
};

const MassFiles& FilesOf(std::size_t notes)
{
    namespace fs = std::filesystem;
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "pelmora-replace-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    static const struct Cleanup
    {
        ~Cleanup() { fs::remove_all(folder); }
    } cleanup;
    static std::map<std::size_t, MassFiles> made;
    MassFiles& files = made[notes];
    if (files.notebook.empty()) {
        CNoteBook book;
        FillMassNoteBook(book, notes);
        files.notebook = (folder / ("mass-" + std::to_string(notes) + ".pelm")).string();
        files.text = (folder / ("mass-" + std::to_string(notes) + ".txt")).string();
        std::ofstream text(files.text, std::ios::binary);
        for (std::size_t i = 0; i < book.GetCount(); ++i)
            text << book.GetNoteAtIndex(i)->GetTitle() << '\n' << book.GetNoteAtIndex(i)->GetText() << '\n';
        if (!book.WriteFile(files.notebook) || !text.flush())
            std::abort();
    }
    return files;
}

double Seconds(const std::string& command)
{
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        std::abort();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The longest gap between the ticks of a 5 ms timer while it lives: how long the window went
// without handling its events, paints included.
class PauseMeter
{
public:
    PauseMeter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_clock.start();
        m_timer.start();
    }
    // The gap up to now counts too: the end of a command is a tick.
    double LongestMs()
    {
        Tick();
        return static_cast<double>(m_longest) / 1e6;
    }

private:
    void Tick()
    {
        m_longest = std::max(m_longest, m_clock.nsecsElapsed() - m_last);
        m_last = m_clock.nsecsElapsed();
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

void SearchFinished()
{
    while (Pane().IsSearching())
        QApplication::processEvents();
}

// The word in the search box and its results found by Ctrl+H, the replacement in its box.
void FindForReplace(const char* word, const char* replacement)
{
    {
        const QSignalBlocker quiet(Frame().m_wndSearchBar->Edit());
        Frame().m_wndSearchBar->Edit()->setText(QString::fromUtf8(word));
    }
    Frame().GetRouter().Run(ID_REPLACE);
    SearchFinished();
    Pane().GetReplaceRow()->GetReplaceBox()->setText(QString::fromUtf8(replacement));
}

// The notebook opened afresh from its file for each repetition, the word in the search box and its
// results found by Ctrl+H (timed, with its longest pause, as Find All); Replace All from the button to the
// repainted window, then `sed` and `cat` of the same text, then Undo Replace All.
void BM_ReplaceAllOpened(benchmark::State& state, const char* word, const char* replacement)
{
    const MassFiles& files = FilesOf(static_cast<std::size_t>(state.range(0)));
    const std::string sed =
        std::string("sed 's/") + word + "/" + replacement + "/g' " + files.text + " >/dev/null";
    const std::string cat = "cat " + files.text + " >/dev/null";
    for (auto _ : state) {
        state.PauseTiming();
        Frame().CloseBook();
        CDisposer::WaitIdle();
        Frame().OpenBook(files.notebook);
        {
            PauseMeter findAll;
            const auto found = Clock::now();
            FindForReplace(word, replacement);
            state.counters["find_all_s"] = std::chrono::duration<double>(Clock::now() - found).count();
            state.counters["find_all_longest_pause_ms"] = findAll.LongestMs();
        }
        CReplaceRow& row = *Pane().GetReplaceRow();
        std::size_t changedBytes = 0;
        for (const FindAllResult& result : Pane().GetModel()->GetSearch().GetResults()) {
            const CNote* note = Frame().GetNoteBook()->FindNote(result.serial);
            changedBytes += note->GetTitle().size() + note->GetTextSize();
        }
        state.counters["notes_changed"] =
            static_cast<double>(Pane().GetModel()->GetSearch().GetResults().size());
        state.counters["occurrences"] =
            static_cast<double>(Pane().GetModel()->GetSearch().GetOccurrenceCount());
        FinishRepaint(Frame());
        const std::size_t heapBefore = HeapInUse();
        state.ResumeTiming();

        PauseMeter meter;
        const auto start = Clock::now();
        row.GetReplaceAllButton()->click();
        FinishRepaint(Frame());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["longest_pause_ms"] = meter.LongestMs();

        state.PauseTiming();
        // The heap, not the resident size: the notebook closed before leaves pages the heap reuses.
        state.counters["heap_growth_MB"] =
            (static_cast<double>(HeapInUse()) - static_cast<double>(heapBefore)) / (1 << 20);
        state.counters["changed_notes_MB"] = static_cast<double>(changedBytes) / (1 << 20);
        SearchFinished();
        state.counters["sed_s"] = Seconds(sed);
        state.counters["cat_s"] = Seconds(cat);
        PauseMeter undoMeter;
        const auto undoStart = Clock::now();
        Frame().GetRouter().Run(ID_UNDO_REPLACE_ALL);
        FinishRepaint(Frame());
        state.counters["undo_s"] = std::chrono::duration<double>(Clock::now() - undoStart).count();
        state.counters["undo_longest_pause_ms"] = undoMeter.LongestMs();
        SearchFinished();
        Frame().GetNoteBook()->SetModifiedFlag(false);
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(BM_ReplaceAllOpened, two_words, "call mom", "ring mum")
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceAllOpened, common_word, "budget", "forecast")
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// Replace All of a common word in a fresh process (`--child`), from the window as the user does
// it: its anonymous memory after the open, with the results found, and after Replace All, against
// the notebook's file.
void BM_ReplaceAllPrivate(benchmark::State& state, const char* word, const char* replacement)
{
    const MassFiles& files = FilesOf(static_cast<std::size_t>(state.range(0)));
    // The child could not open a notebook this window holds.
    Frame().CloseBook();
    CDisposer::WaitIdle();
    double open = 0;
    double found = 0;
    double after = 0;
    for (auto _ : state) {
        const std::string command = "'" + std::filesystem::read_symlink("/proc/self/exe").string() +
                                    "' --child '" + files.notebook + "' " + word + " " + replacement +
                                    " 2>/dev/null";
        FILE* child = ::popen(command.c_str(), "r");
        if (!child || std::fscanf(child, "%lf %lf %lf", &open, &found, &after) != 3)
            state.SkipWithError("the measuring process failed");
        if (child)
            ::pclose(child);
    }
    const double file = static_cast<double>(std::filesystem::file_size(files.notebook)) / (1 << 20);
    state.counters["anon_open_MB"] = open;
    state.counters["anon_found_MB"] = found;
    state.counters["anon_after_MB"] = after;
    state.counters["anon_open_x_file"] = open / file;
    state.counters["anon_after_x_file"] = after / file;
}
BENCHMARK_CAPTURE(BM_ReplaceAllPrivate, common_word, "budget", "forecast")
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int Child(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SetMessageBoxHandler([](const std::string&, unsigned style, const std::string&) {
        return DefaultMessageBoxAnswer(style);
    });
    MassFrame() = MakeBenchFrame();
    Frame().OpenBook(argv[2]);
    FinishRepaint(Frame());
    if (Frame().GetNoteBook()->GetCount() == 0)
        return 1;
    const double open = ProcStatusMB("RssAnon:");
    FindForReplace(argv[3], argv[4]);
    const double found = ProcStatusMB("RssAnon:");
    Pane().GetReplaceRow()->GetReplaceAllButton()->click();
    FinishRepaint(Frame());
    std::printf("%f %f %f\n", open, found, ProcStatusMB("RssAnon:"));
    std::fflush(stdout);
    // The figures are out: nothing of the process is taken apart.
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return Child(argc, argv);
    return RunMassFrameBenchmarks(argc, argv);
}
