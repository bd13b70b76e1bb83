// Find All on a 100,000-note notebook through the real frame offscreen: from the command until the
// first hundred results are painted, until every result is in, and the memory the results hold.
#include "FrameBench.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllModel.h"
#include "views/CFindAllPane.h"
#include "views/CSearchBar.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTreeView>

#include <chrono>
#include <malloc.h>

namespace {

CMainFrame& Frame()
{
    return *MassFrame();
}

// The bytes of every title and text.
std::size_t NoteBookBytes()
{
    const CNoteBook& book = *Frame().GetNoteBook();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        bytes += book.GetNoteAtIndex(i)->GetTitle().size() + book.GetNoteAtIndex(i)->GetText().size();
    return bytes;
}

CFindAllPane& Pane()
{
    return *Frame().m_wndFindAllDock->GetPane();
}

// The box's text and the check boxes, set without starting a search.
void Prepare(const char* text, bool regex)
{
    const QSignalBlocker quietBox(Frame().m_wndSearchBar->Edit());
    const QSignalBlocker quietRegex(Pane().GetRegexBox());
    Frame().m_wndSearchBar->Edit()->setText(QString::fromUtf8(text));
    Pane().GetRegexBox()->setChecked(regex);
}

using Clock = std::chrono::steady_clock;

// Runs Find All and lets the window work until enough rows are in, then paints the list.
double FindAllSeconds(int rowsWanted)
{
    const auto start = Clock::now();
    Frame().GetRouter().Run(ID_FIND_ALL);
    while (Pane().IsSearching() && (rowsWanted < 0 || Pane().GetModel()->rowCount() < rowsWanted))
        QApplication::processEvents();
    Pane().GetView()->viewport()->repaint();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Bytes allocated, large blocks of their own mapping included.
std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The heap the results of "the" hold, the view's rows included, against the notebook's text. It runs
// first, while the view has never held a row.
void BM_ResultsMemory(benchmark::State& state)
{
    for (auto _ : state) {
        Prepare("no such text anywhere", false);
        FindAllSeconds(-1);
        const std::size_t before = HeapInUse();
        Prepare("the", false);
        FindAllSeconds(-1);
        QApplication::processEvents();
        const std::size_t after = HeapInUse();
        state.counters["results_MB"] = static_cast<double>(after - before) / 1e6;
        state.counters["percent_of_notebook"] = 100.0 * static_cast<double>(after - before) / NoteBookBytes();
    }
}
BENCHMARK(BM_ResultsMemory)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

void BM_FirstHundredPainted(benchmark::State& state, const char* text)
{
    Prepare(text, false);
    for (auto _ : state)
        state.SetIterationTime(FindAllSeconds(100));
    state.counters["rows"] = Pane().GetModel()->rowCount();
}
BENCHMARK_CAPTURE(BM_FirstHundredPainted, the, "the")->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_AllResults(benchmark::State& state, const char* text, bool regex)
{
    Prepare(text, regex);
    for (auto _ : state)
        state.SetIterationTime(FindAllSeconds(-1));
    state.counters["notes"] = static_cast<double>(Pane().GetModel()->GetSearch().GetResults().size());
    state.counters["occurrences"] = static_cast<double>(Pane().GetModel()->GetSearch().GetOccurrenceCount());
}
BENCHMARK_CAPTURE(BM_AllResults, rare_word, "zymurgy", false)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AllResults, the, "the", false)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AllResults, regex, "\\bq[a-z]+e\\b", true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// The same shape of pattern where the notebook has matches: "quickly".
BENCHMARK_CAPTURE(BM_AllResults, regex_found, "\\bq[a-z]+y\\b", true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunMassFrameBenchmarks(argc, argv);
}
