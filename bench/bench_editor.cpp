// Huge notes in the real frame: opening one, and the keys the user presses in it, each until the
// window is painted again. Notes of 1, 10 and 50 MB in 80-character lines, and 5 MB in one line.
#include "FrameBench.h"
#include "model/CNoteBook.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNotePanel.h"
#include "views/CRichEditCtrlEx.h"
#include "views/CSpelling.h"

#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

namespace {

std::unique_ptr<CMainFrame> g_frame;

enum Shape
{
    Lines1MB,
    Lines10MB,
    Lines50MB,
    OneLine5MB
};

std::string MakeText(Shape shape)
{
    const std::size_t sizes[] = {1u << 20, 10u << 20, 50u << 20, 5u << 20};
    const std::size_t size = sizes[shape];
    std::string text;
    text.reserve(size + 100);
    const std::string words = "the quick brown fox jumps over a lazy dog while notes pile up ";
    std::size_t column = 0;
    while (text.size() < size) {
        const char c = words[text.size() % words.size()];
        if (shape != OneLine5MB && column == 79) {
            text += '\n';
            column = 0;
            continue;
        }
        text += c;
        ++column;
    }
    return text;
}

// One note of the given shape, the only one of the notebook, word wrap as asked; none open.
int PrepareNote(Shape shape, bool wrap)
{
    static std::map<Shape, int> serials;
    CNotePanel& panel = *g_frame->GetNotePanel();
    panel.SetActiveNote(-1, true);
    if (g_frame->m_bWordWrap != wrap)
        g_frame->m_bWordWrap = wrap;
    if (!serials.count(shape)) {
        CNote* note = g_frame->GetNoteBook()->AddNote(true, false);
        note->SetTitle("huge");
        note->SetText(MakeText(shape));
        serials[shape] = note->GetSerial();
        panel.ReloadNoteList();
    }
    FinishRepaint(*g_frame);
    return serials[shape];
}

void BM_Activate(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    const bool wrap = state.range(1) != 0;
    const int serial = PrepareNote(shape, wrap);
    CNotePanel& panel = *g_frame->GetNotePanel();
    for (auto _ : state) {
        panel.SetActiveNote(serial, true);
        FinishRepaint(*g_frame);
        state.PauseTiming();
        panel.SetActiveNote(-1, true);
        FinishRepaint(*g_frame);
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = PeakResidentMB();
}

// A key in an open note, until painted. The note opens at its start; Ctrl+End then Ctrl+Home
// alternate so each press moves the whole way.
void BM_Key(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    const bool wrap = state.range(1) != 0;
    const int key = static_cast<int>(state.range(2));
    const int serial = PrepareNote(shape, wrap);
    CNotePanel& panel = *g_frame->GetNotePanel();
    panel.SetActiveNote(serial, true);
    CRichEditCtrlEx* text = panel.GetEditPane()->GetTextCtrl();
    text->setFocus();
    QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 40; ++i)
        QTest::keyClick(text, Qt::Key_Down);
    FinishRepaint(*g_frame);
    bool toEnd = true;
    for (auto _ : state) {
        switch (key) {
        case 0:
            QTest::keyClick(text, toEnd ? Qt::Key_End : Qt::Key_Home, Qt::ControlModifier);
            toEnd = !toEnd;
            break;
        case 1:
            QTest::keyClick(text, Qt::Key_Down);
            break;
        case 2:
            QTest::keyClick(text, Qt::Key_Right);
            break;
        case 3:
            QTest::keyClick(text, Qt::Key_Backspace);
            break;
        default:
            QTest::keyClick(text, Qt::Key_X);
            break;
        }
        FinishRepaint(*g_frame);
    }
    state.counters["peak_MB"] = PeakResidentMB();
}

// Every key of BM_Key once, in a note of words, with spelling on or off: the iteration's time is
// its slowest key, so the repetitions give that key's median and spread.
void BM_SlowestKey(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    CSpelling& spelling = CSpelling::Instance();
    spelling.SetOn(state.range(1) != 0);
    spelling.WaitUntilLoaded();
    const int serial = PrepareNote(shape, false);
    CNotePanel& panel = *g_frame->GetNotePanel();
    panel.SetActiveNote(serial, true);
    CRichEditCtrlEx* text = panel.GetEditPane()->GetTextCtrl();
    text->setFocus();
    FinishRepaint(*g_frame);
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_End, Qt::ControlModifier},
                                                              {Qt::Key_Home, Qt::ControlModifier},
                                                              {Qt::Key_Down, {}},
                                                              {Qt::Key_Right, {}},
                                                              {Qt::Key_Backspace, {}},
                                                              {Qt::Key_X, {}},
                                                              {Qt::Key_Space, {}}};
    double slowest = 0;
    for (auto _ : state) {
        double iterationSlowest = 0;
        for (const auto& [key, modifiers] : keys) {
            const auto start = std::chrono::steady_clock::now();
            QTest::keyClick(text, key, modifiers);
            FinishRepaint(*g_frame);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            iterationSlowest = std::max(iterationSlowest, took.count());
        }
        slowest = std::max(slowest, iterationSlowest);
        state.SetIterationTime(iterationSlowest);
    }
    state.counters["slowest_ms"] = slowest * 1000;
    panel.SetActiveNote(-1, true);
    spelling.SetOn(true);
}
BENCHMARK(BM_SlowestKey)
    ->ArgsProduct({{Lines50MB, OneLine5MB}, {0, 1}})
    ->ArgNames({"shape", "spelling"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One note's whole visit in a fresh process: opened, edited, its text stored, closed. Run one shape
// per process (--benchmark_filter=Visit/shape:2) for the peak to belong to that note alone.
void BM_Visit(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    const int serial = PrepareNote(shape, state.range(1) != 0);
    CNotePanel& panel = *g_frame->GetNotePanel();
    for (auto _ : state) {
        panel.SetActiveNote(serial, true);
        CRichEditCtrlEx* text = panel.GetEditPane()->GetTextCtrl();
        QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_Backspace);
        FinishRepaint(*g_frame);
        panel.StoreActiveText();
        panel.SetActiveNote(-1, true);
        FinishRepaint(*g_frame);
    }
    state.counters["peak_MB"] = PeakResidentMB();
    state.counters["note_MB"] = static_cast<double>(MakeText(shape).size()) / (1 << 20);
}
BENCHMARK(BM_Visit)
    ->ArgsProduct({{Lines1MB, Lines10MB, Lines50MB, OneLine5MB}, {0, 1}})
    ->ArgNames({"shape", "wrap"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void KeyArgs(benchmark::internal::Benchmark* b)
{
    for (int shape : {Lines1MB, Lines10MB, Lines50MB, OneLine5MB})
        for (int wrap : {0, 1})
            for (int key = 0; key < 5; ++key)
                b->Args({shape, wrap, key});
}

BENCHMARK(BM_Activate)
    ->ArgsProduct({{Lines1MB, Lines10MB, Lines50MB, OneLine5MB}, {0, 1}})
    ->ArgNames({"shape", "wrap"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Key)->Apply(KeyArgs)->ArgNames({"shape", "wrap", "key"})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The spelling choices this run makes stay out of the user's registry store.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    g_frame = MakeBenchFrame();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_frame->GetNoteBook()->SetModifiedFlag(false);
    g_frame.reset();
    return 0;
}
