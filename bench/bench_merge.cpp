// Merging two notebooks of 100,000 notes that grew apart by 100 notes: in memory, and from the
// three files to the merged file as the tool and the window do it.
#include "MassNoteBook.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookMerge.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kNotes = 100000;

// 50 notes changed on each side, 10 of them the same notes; each side adds 10 and deletes 5.
void Diverge(CNoteBook& book, unsigned side)
{
    for (std::size_t i = 0; i < 50; ++i) {
        const std::size_t index = (i < 10 ? i * 997 : (i * 1931 + side * 5003)) % book.GetCount();
        book.GetNoteAtIndex(index)->SetText("changed on side " + std::to_string(side));
    }
    for (int i = 0; i < 5; ++i)
        book.RemoveNote(book.GetNoteAtIndex((side * 7919 + i * 3001) % book.GetCount())->GetSerial());
    for (int i = 0; i < 10; ++i)
        book.AddNote(i % 2 == 0, true)
            ->SetText("added on side " + std::to_string(side) + " " + std::to_string(i));
}

const std::string& Folder()
{
    static const std::string folder = [] {
        std::string pattern = (fs::temp_directory_path() / "pelmora-bench-XXXXXX").string();
        return std::string(::mkdtemp(pattern.data()));
    }();
    return folder;
}

// base.pelm, ours.pelm and theirs.pelm in folder.
bool MakeFiles(const std::string& folder)
{
    bool written = true;
    for (unsigned side = 0; side < 3; ++side) {
        CNoteBook book;
        FillMassNoteBook(book, kNotes);
        if (side > 0)
            Diverge(book, side);
        written = book.WriteFile(folder + (side == 0   ? "/base.pelm"
                                           : side == 1 ? "/ours.pelm"
                                                       : "/theirs.pelm")) &&
                  written;
    }
    return written;
}

// The three files in the benchmarks' folder, written once.
void WriteFiles()
{
    static const bool written = MakeFiles(Folder());
    (void)written;
}

// As the tool merges: the ancestor only as fingerprints, the two sides, the merged file, each text
// hashed as it is read.
bool MergeFiles(const std::string& folder, const std::string& out)
{
    std::vector<NoteFingerprint> ancestor;
    {
        auto base = std::make_unique<CNoteBook>();
        base->HashTextsOnRead();
        if (!base->ReadFile(folder + "/base.pelm"))
            return false;
        ancestor = CNoteMatcher::Fingerprints(*base);
    }
    CNoteBook ours, theirs, merged;
    ours.HashTextsOnRead();
    theirs.HashTextsOnRead();
    if (!ours.ReadFile(folder + "/ours.pelm") || !theirs.ReadFile(folder + "/theirs.pelm"))
        return false;
    const CNoteBookMerge::Result result = CNoteBookMerge::Merge(
        ancestor, ours, theirs, merged, CNoteBookMerge::Ancestor::exact, CNoteBookMerge::Texts::inFiles);
    benchmark::DoNotOptimize(result);
    return merged.WriteFile(out);
}

void BM_MergeInMemory(benchmark::State& state)
{
    CNoteBook base;
    FillMassNoteBook(base, kNotes);
    std::size_t conflicts = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto ours = std::make_unique<CNoteBook>();
        auto theirs = std::make_unique<CNoteBook>();
        FillMassNoteBook(*ours, kNotes);
        FillMassNoteBook(*theirs, kNotes);
        Diverge(*ours, 1);
        Diverge(*theirs, 2);
        auto merged = std::make_unique<CNoteBook>();
        state.ResumeTiming();
        conflicts =
            CNoteBookMerge::Merge(CNoteMatcher::Fingerprints(base), *ours, *theirs, *merged).conflicts;
        state.PauseTiming();
        merged.reset();
        ours.reset();
        theirs.reset();
        state.ResumeTiming();
    }
    state.counters["conflicts"] = static_cast<double>(conflicts);
}
BENCHMARK(BM_MergeInMemory)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_MergeFiles(benchmark::State& state)
{
    WriteFiles();
    for (auto _ : state)
        if (!MergeFiles(Folder(), Folder() + "/merged.pelm"))
            state.SkipWithError("the merge failed");
}
BENCHMARK(BM_MergeFiles)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

long MaxRssKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The peak of a whole merge from the files, in a process of its own, against one notebook's file.
void BM_MergePeakMemory(benchmark::State& state)
{
    WriteFiles();
    const double fileKb = static_cast<double>(fs::file_size(Folder() + "/ours.pelm")) / 1024.0;
    long baseline = 0, peak = 0;
    for (auto _ : state) {
        const std::string command =
            "'" + fs::read_symlink("/proc/self/exe").string() + "' --peak-memory '" + Folder() + "'";
        FILE* child = ::popen(command.c_str(), "r");
        if (!child || std::fscanf(child, "%ld %ld", &baseline, &peak) != 2)
            state.SkipWithError("the measuring process failed");
        if (child)
            ::pclose(child);
    }
    state.counters["file_MB"] = fileKb / 1024.0;
    state.counters["peak_per_file"] = static_cast<double>(peak - baseline) / fileKb;
}
BENCHMARK(BM_MergePeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

// --make-files FOLDER: the three files, kept for timing `pelmora-tool merge` from outside.
int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--make-files") == 0)
        return MakeFiles(argv[2]) ? 0 : 1;
    if (argc == 3 && std::strcmp(argv[1], "--peak-memory") == 0) {
        const long baseline = MaxRssKb();
        if (!MergeFiles(argv[2], std::string(argv[2]) + "/peak.pelm"))
            return 1;
        std::printf("%ld %ld\n", baseline, MaxRssKb());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(Folder());
    return 0;
}
