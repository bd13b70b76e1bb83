// Replace All on a 100,000-note notebook (about 100 MB) through the real frame offscreen: from the
// button until every note is changed and the results are found again, and what it holds on to.
#include "FrameBench.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllPane.h"
#include "views/CReplaceRow.h"
#include "views/CSearchBar.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <chrono>
#include <malloc.h>

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

} // namespace

int main(int argc, char** argv)
{
    return RunMassFrameBenchmarks(argc, argv);
}
