// The commands on a 100,000-note notebook, through the real frame offscreen, each from the command
// to the end of the repaint it causes.
#include "FrameBench.h"
#include "MassNoteBook.h"
#include "model/CNoteBook.h"
#include "platform/MessageBox.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"
#include "views/CSearchBar.h"

#include <QApplication>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {

CMainFrame& Frame()
{
    return *MassFrame();
}

void RunCommand(int id)
{
    Frame().GetRouter().Run(id);
    FinishRepaint(Frame());
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

// One press of Find Next with the word in the search box. A first press is the first for its word;
// a repeated one steps on from the last occurrence shown.
void BM_SearchPress(benchmark::State& state)
{
    static const char* const words[] = {"777", "the", "e"};
    const QString word = words[state.range(0)];
    const bool repeated = state.range(1) != 0;
    QLineEdit& box = *Frame().m_wndSearchBar->Edit();
    const auto press = [&](const QString& text) {
        box.setText(text);
        RunCommand(ID_FIND_NEXT);
    };
    press(word);
    for (auto _ : state) {
        if (!repeated) {
            state.PauseTiming();
            press("zymurgy");
            state.ResumeTiming();
        }
        press(word);
    }
    state.counters["occurrences"] = Frame().m_search.Search(Frame().GetNoteBook(), word.toStdString());
    state.counters["peak_MB"] = PeakResidentMB();
}
BENCHMARK(BM_SearchPress)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"word", "repeated"})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunMassFrameBenchmarks(argc, argv);
}
