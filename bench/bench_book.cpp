// The window's commands on a mass notebook through the real frame, each until the window is painted
// again, at 100,000 and 1,000,000 notes of about 1 KB: open (also in a fresh process, where the
// system still has to hand out every page), the first search press, Sort, save, close and quit,
// each beside `cat` of the same file to /dev/null in the same run; and the peak memory of opening
// one, searching it, editing a note and saving it, in a fresh process (this program started again
// with --peak FILE), so that nothing else counts.
#include "FrameBench.h"
#include "MassNoteBook.h"
#include "app/CPelmoraApp.h"
#include "model/CNoteBook.h"
#include "platform/CDisposer.h"
#include "platform/MessageBox.h"
#include "views/CSearchBar.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

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

// Opens, then lets the notebook closed before it go back to the system, so that freeing it does not
// run beside the command timed next.
void OpenQuietly(const std::string& path)
{
    Open(path);
    CDisposer::WaitIdle();
}

void BM_Open(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        Open(path);
    state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / (1 << 20);
}
BENCHMARK(BM_Open)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

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
BENCHMARK(BM_Save)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The floor: the same bytes read by `cat`, from the page cache as the open reads them.
void BM_Cat(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    const std::string command = "cat '" + path + "' > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cat failed");
}
BENCHMARK(BM_Cat)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The first press of Find Next for a word, on the notebook as it was opened: a rare word, "the" and
// "e". Another word is pressed before each timed one, so that every timed press counts anew.
void BM_FirstSearchPress(benchmark::State& state)
{
    static const char* const words[] = {"quince", "the", "e"};
    OpenQuietly(NoteBookFile(static_cast<std::size_t>(state.range(0))));
    const auto press = [](const char* word) {
        g_frame->m_wndSearchBar->Edit()->setText(word);
        g_frame->GetRouter().Run(ID_FIND_NEXT);
        FinishRepaint(*g_frame);
    };
    for (auto _ : state) {
        state.PauseTiming();
        press("zymurgy");
        state.ResumeTiming();
        press(words[state.range(1)]);
    }
}
BENCHMARK(BM_FirstSearchPress)
    ->ArgsProduct({{100000, 1000000}, {0, 1, 2}})
    ->ArgNames({"notes", "word"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// Sort Alphabetically on the notebook as it was opened, titles in file order.
void BM_Sort(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        OpenQuietly(path);
        state.ResumeTiming();
        g_frame->GetRouter().Run(ID_SORT_NOTES);
        FinishRepaint(*g_frame);
    }
    g_frame->GetNoteBook()->SetModifiedFlag(false);
}
BENCHMARK(BM_Sort)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// Close Book, until the window is painted without the notebook. The memory goes back after that,
// off the window's time; it is waited for outside the timing.
void BM_Close(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        OpenQuietly(path);
        state.ResumeTiming();
        g_frame->CloseBook();
        FinishRepaint(*g_frame);
    }
    CDisposer::WaitIdle();
}
BENCHMARK(BM_Close)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Quit with the notebook saved: the window closed and the frame with all it holds gone.
void BM_Quit(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        OpenQuietly(path);
        state.ResumeTiming();
        g_frame->close();
        g_frame.reset();
        QApplication::processEvents();
        state.PauseTiming();
        g_frame = MakeBenchFrame();
        state.ResumeTiming();
    }
    CDisposer::WaitIdle();
}
BENCHMARK(BM_Quit)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

double MonotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// --quit FILE DELAY_MS: the program as started from the desktop with FILE; DELAY_MS after its first
// event it prints the time and runs Exit, then prints the time again when the window has closed.
// The process then ends as the program's does.
int MeasureQuit(const char* path, int delayMs)
{
    LoadProgramResources();
    CPelmoraApp pelmora;
    if (!pelmora.InitInstance({"pelmora", path}))
        return 1;
    QTimer::singleShot(delayMs, [&pelmora] {
        std::printf("%f\n", MonotonicMs());
        std::fflush(stdout);
        pelmora.GetMainWnd()->GetRouter().Run(ID_APP_EXIT);
    });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
        std::printf("%f\n", MonotonicMs());
        std::fflush(stdout);
    });
    return pelmora.Run();
}

// Quit timed from outside: from Exit until the process is gone (waitpid returns), in a process of
// its own that opened the notebook DELAY_MS before. Reports the window's part (until the event
// loop ends) and the rest, the end of the process.
void BM_ProcessQuit(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    const std::string delay = std::to_string(state.range(1));
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    g_frame->CloseBook();
    double window = 0, ending = 0;
    for (auto _ : state) {
        int out[2];
        if (::pipe(out) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const char* args[] = {self.c_str(), "--quit", path.c_str(), delay.c_str(), nullptr};
        pid_t child = 0;
        const int spawned =
            ::posix_spawn(&child, self.c_str(), &actions, nullptr, const_cast<char* const*>(args), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        FILE* lines = ::fdopen(out[0], "r");
        double quit = 0, closed = 0;
        const bool read = spawned == 0 && std::fscanf(lines, "%lf %lf", &quit, &closed) == 2;
        int status = 0;
        if (spawned == 0)
            ::waitpid(child, &status, 0);
        const double gone = MonotonicMs();
        std::fclose(lines);
        if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the quitting process failed");
            break;
        }
        window += closed - quit;
        ending += gone - closed;
        state.SetIterationTime((gone - quit) / 1000.0);
    }
    state.counters["window_ms"] = benchmark::Counter(window, benchmark::Counter::kAvgIterations);
    state.counters["ending_ms"] = benchmark::Counter(ending, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ProcessQuit)
    ->ArgsProduct({{100000, 1000000}, {0, 2000}})
    ->ArgNames({"notes", "after_ms"})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// --make NOTES FILE: the notebook the benchmarks time, kept for timing from outside (a profiler,
// farm-bench).
int MakeNoteBook(std::size_t notes, const char* path)
{
    CNoteBook book;
    FillMassNoteBook(book, notes);
    return book.WriteFile(path) ? 0 : 1;
}

// --open-save IN OUT: opens IN in the window and saves it as OUT, for notebooks larger than memory
// (bench/large-notebook). Prints the open and the save in ms, then the private resident memory after
// the open and after the save in MB.
int MeasureOpenSave(const char* in, const char* out)
{
    using Clock = std::chrono::steady_clock;
    g_frame = MakeBenchFrame();
    const auto start = Clock::now();
    Open(in);
    const auto opened = Clock::now();
    const double anonOpen = ProcStatusMB("RssAnon:");
    const bool saved = g_frame->IsBookOpen() && g_frame->GetNoteBook()->WriteFile(out);
    const auto done = Clock::now();
    const std::chrono::duration<double, std::milli> open = opened - start;
    const std::chrono::duration<double, std::milli> save = done - opened;
    std::printf("%f %f %f %f\n", open.count(), save.count(), anonOpen, ProcStatusMB("RssAnon:"));
    std::fflush(stdout);
    g_frame.reset();
    return saved ? 0 : 1;
}

// --sort FILE: opens FILE and prints how long Sort Alphabetically takes to the painted list, in ms;
// for a profiler.
int MeasureSort(const char* path)
{
    g_frame = MakeBenchFrame();
    Open(path);
    const auto start = std::chrono::steady_clock::now();
    g_frame->GetRouter().Run(ID_SORT_NOTES);
    FinishRepaint(*g_frame);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%f\n", took.count());
    g_frame->GetNoteBook()->SetModifiedFlag(false);
    g_frame.reset();
    return 0;
}

// Find Next pressed for "quince", "the" and "e" in turn, three rounds, each press a new count; prints
// each press's time to the painted window in ms.
int MeasurePresses(const char* path)
{
    g_frame = MakeBenchFrame();
    OpenQuietly(path);
    for (int round = 0; round < 3; ++round)
        for (const char* word : {"quince", "the", "e"}) {
            const auto start = std::chrono::steady_clock::now();
            g_frame->m_wndSearchBar->Edit()->setText(word);
            g_frame->GetRouter().Run(ID_FIND_NEXT);
            FinishRepaint(*g_frame);
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            std::printf("%s %f\n", word, took.count());
        }
    g_frame.reset();
    return 0;
}

// From its making: how long it ran, and the longest stretch in which the window ran no events (a
// timer of no interval fires on each pass of the events), both in ms.
class StillWatch
{
public:
    StillWatch() : m_start(Clock::now()), m_lastPass(m_start)
    {
        QObject::connect(&m_passes, &QTimer::timeout, [this] {
            m_still = std::max(m_still, Clock::now() - m_lastPass);
            m_lastPass = Clock::now();
        });
        m_passes.start(0);
    }
    void Stop()
    {
        m_passes.stop();
        m_end = Clock::now();
        m_still = std::max(m_still, m_end - m_lastPass);
    }
    double TookMs() const { return std::chrono::duration<double, std::milli>(m_end - m_start).count(); }
    double StillMs() const { return std::chrono::duration<double, std::milli>(m_still).count(); }

private:
    using Clock = std::chrono::steady_clock;
    QTimer m_passes;
    Clock::time_point m_start;
    Clock::time_point m_lastPass;
    Clock::time_point m_end;
    Clock::duration m_still{};
};

// The child of BM_FreshOpen: opens once and prints the time to the painted list in ms, the peak
// and the private resident memory in MB, and the longest stretch without events in ms.
int MeasureFreshOpen(const char* path)
{
    g_frame = MakeBenchFrame();
    StillWatch watch;
    Open(path);
    watch.Stop();
    std::printf("%f %f %f %f\n", watch.TookMs(), PeakResidentMB(), ProcStatusMB("RssAnon:"), watch.StillMs());
    std::fflush(stdout);
    g_frame.reset();
    return 0;
}

// --touched FILE: opens FILE, waits 2 s, touches it and comes back to the window as after another
// program touched it: the bytes tell that nothing changed. Prints how long the look took and its
// longest stretch without events, in ms.
int MeasureTouched(const char* path)
{
    g_frame = MakeBenchFrame();
    OpenQuietly(path);
    QEventLoop settle;
    QTimer::singleShot(2000, &settle, &QEventLoop::quit);
    settle.exec();
    if (::utimensat(AT_FDCWD, path, nullptr, 0) != 0)
        return 1;
    StillWatch watch;
    g_frame->GetBookController().CheckDisk();
    watch.Stop();
    std::printf("%f %f\n", watch.TookMs(), watch.StillMs());
    std::fflush(stdout);
    g_frame.reset();
    return 0;
}

// Open in a process of its own: the pages the notebook fills are fresh from the system, as they are
// for a user who starts Pelmora with a notebook.
void BM_FreshOpen(benchmark::State& state)
{
    const std::string& path = NoteBookFile(static_cast<std::size_t>(state.range(0)));
    double openMs = 0, peak = 0, anon = 0, stillMs = 0;
    // A notebook this process holds open would be offered to the child as open elsewhere.
    g_frame->CloseBook();
    for (auto _ : state) {
        const std::string command =
            "'" + fs::read_symlink("/proc/self/exe").string() + "' --open '" + path + "' 2>/dev/null";
        FILE* child = ::popen(command.c_str(), "r");
        if (!child || std::fscanf(child, "%lf %lf %lf %lf", &openMs, &peak, &anon, &stillMs) != 4)
            state.SkipWithError("the measuring process failed");
        if (child)
            ::pclose(child);
        state.SetIterationTime(openMs / 1000.0);
    }
    const double file = static_cast<double>(fs::file_size(path)) / (1 << 20);
    state.counters["peak_per_file"] = peak / file;
    state.counters["anon_per_file"] = anon / file;
    state.counters["still_ms"] = stillMs;
}
BENCHMARK(BM_FreshOpen)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("notes")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The child: opens, presses Find Next for "e" (an occurrence in nearly every word), marks the notebook
// changed and waits for its recovery copy, saves, then prints
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
    // The recovery copy an edit leads to, a few seconds later, before the save.
    g_frame->GetBookController().GetRecoveryKeeper()->Flush();
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
    g_frame->CloseBook();
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
    if (argc == 3 && std::strcmp(argv[1], "--open") == 0)
        return MeasureFreshOpen(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--open-save") == 0)
        return MeasureOpenSave(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--touched") == 0)
        return MeasureTouched(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--presses") == 0)
        return MeasurePresses(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--sort") == 0)
        return MeasureSort(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--quit") == 0)
        return MeasureQuit(argv[2], std::atoi(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "--make") == 0)
        return MakeNoteBook(std::strtoul(argv[2], nullptr, 10), argv[3]);
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
