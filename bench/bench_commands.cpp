// The note commands on a 100,000-note notebook, through the real frame offscreen, each until the
// list is refilled and painted.
#include "MassFrame.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "model/CNoteBook.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {

std::unique_ptr<CMainFrame> g_frame;

CMainFrame& Frame()
{
    return *g_frame;
}

void RunCommand(int id)
{
    Frame().GetRouter().Run(id);
    QApplication::processEvents();
}

void Select(int row)
{
    Frame().GetNotePanel()->GetListPane()->GetListCtrl()->SelectItem(row);
}

void BM_NewNote(benchmark::State& state)
{
    for (auto _ : state)
        RunCommand(ID_NEW_NOTE);
}
BENCHMARK(BM_NewNote)->Unit(benchmark::kMillisecond);

void BM_DeleteNote(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Select(50000);
        state.ResumeTiming();
        RunCommand(ID_DELETE_NOTE);
    }
}
BENCHMARK(BM_DeleteNote)->Unit(benchmark::kMillisecond);

void BM_MoveNote(benchmark::State& state)
{
    const int id = state.range(0) ? ID_MOVE_UP : ID_MOVE_DOWN;
    for (auto _ : state) {
        state.PauseTiming();
        Select(50000);
        state.ResumeTiming();
        RunCommand(id);
    }
}
BENCHMARK(BM_MoveNote)->Arg(1)->Arg(0)->ArgName("up")->Unit(benchmark::kMillisecond);

void BM_SortNotes(benchmark::State& state)
{
    std::mt19937 rng(5);
    CNoteBook& book = *Frame().GetNoteBook();
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < book.GetCount(); ++i)
            book.GetNoteAtIndex(i)->SetTitle(std::to_string(rng()));
        state.ResumeTiming();
        RunCommand(ID_SORT_NOTES);
    }
}
BENCHMARK(BM_SortNotes)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    g_frame = OpenMassFrame();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_frame.reset();
    return 0;
}
