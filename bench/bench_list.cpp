// The note list of a mass notebook: a refill through the real panel, and scrolling it.
#include "FrameBench.h"
#include "MassNoteBook.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "model/CNoteBook.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"

#include <QApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

CMainFrame& Frame()
{
    static const std::unique_ptr<CMainFrame> frame = [] {
        LoadProgramResources();
        auto made = std::make_unique<CMainFrame>();
        made->Create();
        made->resize(1000, 800);
        made->show();
        made->GetRouter().Run(ID_FILE_NEW);
        FillMassNoteBook(*made->GetNoteBook(), 100000, 16);
        made->GetNotePanel()->ReloadNoteList();
        QApplication::processEvents();
        return made;
    }();
    return *frame;
}

CListCtrlEx& List()
{
    return *Frame().GetNotePanel()->GetListPane()->GetListCtrl();
}

// ReloadNoteList alone: what the command handlers wait for.
void BM_ReloadNoteList(benchmark::State& state)
{
    CNotePanel& panel = *Frame().GetNotePanel();
    for (auto _ : state)
        panel.ReloadNoteList();
    QApplication::processEvents();
    state.counters["items"] = List().GetItemCount();
}
BENCHMARK(BM_ReloadNoteList)->Unit(benchmark::kMillisecond);

// The refill as the user sees it: the reload, the list's layout and its first paint.
void BM_ReloadNoteListShown(benchmark::State& state)
{
    CNotePanel& panel = *Frame().GetNotePanel();
    for (auto _ : state) {
        panel.ReloadNoteList();
        QApplication::processEvents();
    }
    state.counters["items"] = List().GetItemCount();
}
BENCHMARK(BM_ReloadNoteListShown)->Unit(benchmark::kMillisecond);

// One note's title changed, as the title box and Replace tell the list, until it is painted.
void BM_TitleChanged(benchmark::State& state)
{
    CNoteListCtrl& pane = *Frame().GetNotePanel()->GetListPane();
    const CNote& note = *Frame().GetNoteBook()->GetNoteAtIndex(5);
    for (auto _ : state) {
        pane.UpdateNoteTitle(note.GetSerial());
        QApplication::processEvents();
    }
}
BENCHMARK(BM_TitleChanged)->Unit(benchmark::kMillisecond);

// One page of scrolling, painted, anywhere in the list.
void BM_ScrollPage(benchmark::State& state)
{
    CListCtrlEx& list = List();
    QScrollBar& bar = *list.verticalScrollBar();
    int value = 0;
    for (auto _ : state) {
        value = (value + bar.pageStep() * 997) % (bar.maximum() + 1);
        bar.setValue(value);
        list.viewport()->repaint();
    }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
