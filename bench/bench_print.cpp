// Export as PDF of one note of 10 MB, then Export of the 100,000-note notebook as a folder of text
// files and as one Markdown file and Import Files of that folder, through the real frame
// offscreen: how long each takes, and the longest the window goes without handling its events
// meanwhile.
#include "FrameBench.h"
#include "platform/qt/CFileDialog.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
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

std::string ExportFolder()
{
    return (std::filesystem::temp_directory_path() / "pelmora-bench-export").string();
}

// Runs the command with a 1 ms timer ticking; its time and the longest gap between ticks.
void TimeWithTicks(benchmark::State& state, int command)
{
    QElapsedTimer gap;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
    ticker.start(1);
    gap.start();
    QElapsedTimer total;
    total.start();
    MassFrame()->GetRouter().Run(command);
    state.SetIterationTime(static_cast<double>(total.nsecsElapsed()) / 1e9);
    state.counters["longest_event_gap_ms"] = static_cast<double>(std::max(longest, gap.elapsed()));
}

// The folder is left for the import after it.
void BM_Export(benchmark::State& state, bool markdown)
{
    const std::string target = markdown ? ExportFolder() + ".md" : ExportFolder();
    for (auto _ : state) {
        CFileDialog::SetNextFilePath(target);
        TimeWithTicks(state, ID_EXPORT);
    }
    if (markdown)
        std::remove(target.c_str());
}
BENCHMARK_CAPTURE(BM_Export, folder, false)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, markdown, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// Every file of the exported folder, added as notes once: it runs last.
void BM_ImportExported(benchmark::State& state)
{
    QString names;
    for (const auto& entry : std::filesystem::directory_iterator(ExportFolder()))
        names += QString::fromStdString(entry.path().string()) + '\n';
    names.chop(1);
    for (auto _ : state) {
        CFileDialog::SetNextFileName(names);
        TimeWithTicks(state, ID_IMPORT_FILES);
    }
    std::filesystem::remove_all(ExportFolder());
}
BENCHMARK(BM_ImportExported)->UseManualTime()->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunMassFrameBenchmarks(argc, argv);
}
