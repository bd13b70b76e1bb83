// Go to Note on a mass notebook through the real frame: Ctrl+G, then a title typed a key at a time,
// each key timed from its press to the end of the repaint, at 100,000 and 1,000,000 notes. The
// slowest key of the title is the time reported; the resident memory the typing added beside it.
#include "FrameBench.h"
#include "MassNoteBook.h"
#include "model/CNoteBook.h"
#include "views/CGoToNoteBox.h"
#include "text/CTitleFinder.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>
#include <chrono>
#include <ctime>

namespace {

std::unique_ptr<CMainFrame> g_frame;

// The notebook's titles only matter here: short texts keep a million notes in memory.
void FillFrame(std::size_t notes)
{
    static std::size_t filled = 0;
    if (filled == notes)
        return;
    g_frame->CloseBook();
    g_frame->GetRouter().Run(ID_FILE_NEW);
    FillMassNoteBook(*g_frame->GetNoteBook(), notes, 16);
    g_frame->GetNotePanel()->ReloadNoteList();
    // Recovery copies would run beside the keys timed.
    g_frame->GetBookController().GetRecoveryKeeper()->SetDelays(std::chrono::hours(1), std::chrono::hours(1));
    FinishRepaint(*g_frame);
    filled = notes;
}

// The processor time of the whole process, both cores together, in milliseconds: on a machine
// shared with other work the wall clock also counts the waits for a core.
double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct KeyTime
{
    double wallMs;
    double cpuMs;
};

// One key into the box, until the window is painted again.
KeyTime TypeKey(QLineEdit& edit, Qt::Key key, const QString& text)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpu = ProcessCpuMs();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&edit, &press);
    FinishRepaint(*g_frame);
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
            ProcessCpuMs() - cpu};
}

// Typing "budget 1234" and taking it back: short patterns that most titles match, then fewer.
void BM_GoToNoteKeys(benchmark::State& state)
{
    FillFrame(static_cast<std::size_t>(state.range(0)));
    const QString typed = QStringLiteral("budget 1234");
    double slowest = 0;
    double slowestCpu = 0;
    double opening = 0;
    double openingCpu = 0;
    double matched = 0;
    const double before = ProcStatusMB("RssAnon:");
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double startCpu = ProcessCpuMs();
        g_frame->GetRouter().Run(ID_GO_TO_NOTE);
        FinishRepaint(*g_frame);
        openingCpu = std::max(openingCpu, ProcessCpuMs() - startCpu);
        opening = std::max(
            opening,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        CGoToNoteBox* box = g_frame->GetNotePanel()->GetGoToBox();
        QLineEdit& edit = *box->GetEdit();
        double iteration = 0;
        auto record = [&](const KeyTime& time) {
            iteration = std::max(iteration, time.wallMs);
            slowestCpu = std::max(slowestCpu, time.cpuMs);
        };
        for (const QChar c : typed)
            record(TypeKey(edit, c == ' ' ? Qt::Key_Space : Qt::Key_A, c));
        matched = box->GetResults()->count();
        for (int i = 0; i < typed.size(); ++i)
            record(TypeKey(edit, Qt::Key_Backspace, QString()));
        TypeKey(edit, Qt::Key_Escape, QString());
        state.SetIterationTime(iteration / 1000.0);
        slowest = std::max(slowest, iteration);
    }
    state.counters["slowest_key_ms"] = slowest;
    state.counters["slowest_key_cpu_ms"] = slowestCpu;
    state.counters["ctrl_g_ms"] = opening;
    state.counters["ctrl_g_cpu_ms"] = openingCpu;
    state.counters["rows_shown"] = matched;
    state.counters["rss_added_MB"] = ProcStatusMB("RssAnon:") - before;
}
BENCHMARK(BM_GoToNoteKeys)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The matching alone, on both cores, for the same keys: what of a key is not the repaint.
void BM_TitleFinder(benchmark::State& state)
{
    FillFrame(static_cast<std::size_t>(state.range(0)));
    const std::string typed = "budget 1234";
    CTitleFinder finder;
    finder.Load(*g_frame->GetNoteBook());
    double slowest = 0;
    for (auto _ : state)
        for (std::size_t length = 1; length <= typed.size(); ++length) {
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(finder.Find(typed.substr(0, length), 40));
            slowest = std::max(
                slowest,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    state.counters["slowest_key_ms"] = slowest;
}
BENCHMARK(BM_TitleFinder)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    SetMessageBoxHandler([](const std::string&, unsigned style, const std::string&) {
        return DefaultMessageBoxAnswer(style);
    });
    g_frame = MakeBenchFrame();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_frame->GetNoteBook()->SetModifiedFlag(false);
    g_frame.reset();
    return 0;
}
