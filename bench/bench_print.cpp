// Export as PDF of one note of 10 MB through the real frame offscreen: how long it takes, and the
// longest the window goes without handling its events meanwhile.
#include "FrameBench.h"
#include "platform/qt/CFileDialog.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

void BM_PdfOfA10MBNote(benchmark::State& state)
{
    CMainFrame& frame = *MassFrame();
    CNote* note = frame.GetNoteBook()->AddNote(false, false);
    note->SetTitle("Ten megabytes");
    std::string& text = note->Text();
    while (text.size() < 10'000'000)
        text += "a line of an enormous note that is printed slice by slice, with room for the window\n";
    frame.GetNotePanel()->ReloadNoteList();
    frame.SetActiveNote(note->GetSerial(), false);
    const std::string pdf = "/tmp/pelmora-bench-print.pdf";
    for (auto _ : state) {
        QElapsedTimer gap;
        qint64 longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
        ticker.start(1);
        gap.start();
        CFileDialog::SetNextFilePath(pdf);
        QElapsedTimer total;
        total.start();
        frame.GetRouter().Run(ID_EXPORT_PDF);
        state.SetIterationTime(static_cast<double>(total.nsecsElapsed()) / 1e9);
        state.counters["longest_event_gap_ms"] = static_cast<double>(longest);
    }
    std::remove(pdf.c_str());
}
BENCHMARK(BM_PdfOfA10MBNote)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunMassFrameBenchmarks(argc, argv);
}
