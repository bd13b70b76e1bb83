// Typing into a note of a 100,000-note notebook (about 100 MB) while recovery copies of it are
// written back to back, through the real frame offscreen: the longest time a keystroke waited
// between being sent and reaching the text, with copies and without.
#include "FrameBench.h"
#include "app/CBookController.h"
#include "app/CRecoveryKeeper.h"
#include "model/CNoteBook.h"
#include "platform/CFileIdentity.h"
#include "platform/CRecoverySlot.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNotePanel.h"
#include "views/CRichEditCtrlEx.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::unique_ptr<CMainFrame> g_frame;

struct Typing
{
    double longestMs = 0;
    double p99Ms = 0;
    int keys = 0;
    int copies = 0;
};

// Sends a key every 8 ms for the given time and notes how long each waited before the text had it.
Typing TypeFor(int milliseconds)
{
    CNotePanel& panel = *g_frame->GetNotePanel();
    CRichEditCtrlEx* text = panel.GetEditPane()->GetTextCtrl();
    QElapsedTimer clock;
    clock.start();
    std::deque<qint64> sent;
    std::vector<double> waits;
    const auto connection = QObject::connect(text, &CRichEditCtrlEx::textChanged, [&] {
        if (!sent.empty()) {
            waits.push_back(static_cast<double>(clock.nsecsElapsed() - sent.front()) / 1e6);
            sent.pop_front();
        }
    });
    QTimer keys;
    QObject::connect(&keys, &QTimer::timeout, [&] {
        sent.push_back(clock.nsecsElapsed());
        QApplication::postEvent(text, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
        QApplication::postEvent(text, new QKeyEvent(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a"));
    });
    keys.start(8);
    Typing result;
    CFileIdentity last;
    while (clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        for (const auto& entry : fs::directory_iterator(CRecoverySlot::DefaultFolder()))
            if (entry.path().extension() == ".pelm") {
                const CFileIdentity now = CFileIdentity::Of(entry.path().string());
                result.copies += now != last && last.Exists();
                last = now;
            }
    }
    keys.stop();
    QObject::disconnect(connection);
    std::sort(waits.begin(), waits.end());
    result.keys = static_cast<int>(waits.size());
    if (!waits.empty()) {
        result.longestMs = waits.back();
        result.p99Ms = waits[waits.size() * 99 / 100];
    }
    return result;
}

void Report(benchmark::State& state, const Typing& typing)
{
    state.counters["longest_key_wait_ms"] = typing.longestMs;
    state.counters["p99_key_wait_ms"] = typing.p99Ms;
    state.counters["keys"] = typing.keys;
    state.counters["copies_written"] = typing.copies;
}

// Without copies (0), and with a copy started at every tick of the keeper once the one before
// is written (1).
void BM_Typing(benchmark::State& state)
{
    CRecoveryKeeper& keeper = *g_frame->GetBookController().GetRecoveryKeeper();
    const auto delay = state.range(0) ? std::chrono::milliseconds(0) : std::chrono::hours(1);
    keeper.SetDelays(delay, delay);
    Typing typing;
    for (auto _ : state)
        typing = TypeFor(state.range(0) ? 15000 : 5000);
    Report(state, typing);
}
BENCHMARK(BM_Typing)->Arg(0)->Arg(1)->ArgName("copies")->Iterations(1)->Unit(benchmark::kMillisecond);

void OpenMassNoteBook()
{
    g_frame = MakeBenchFrame();
    FillMassNoteBook(*g_frame->GetNoteBook());
    g_frame->GetNotePanel()->ReloadNoteList();
    g_frame->SetActiveNote(g_frame->GetNoteBook()->GetNoteAtIndex(50000)->GetSerial(), true);
    g_frame->GetNoteBook()->SetModified();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The copies go to a folder of the benchmark's own, never the user's.
    std::string state = (fs::temp_directory_path() / "pelmora-bench-XXXXXX").string();
    ::setenv("XDG_STATE_HOME", ::mkdtemp(state.data()), 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    OpenMassNoteBook();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_frame->GetNoteBook()->SetModifiedFlag(false);
    g_frame.reset();
    fs::remove_all(state);
    return 0;
}
