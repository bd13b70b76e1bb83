// Reading and writing a 100,000-note notebook of about 100 MB, and the peak memory of doing so.
// The peak is measured in a fresh process (this program started again with --peak-memory), so that
// the notebook the benchmarks hold does not count.
#include "MassNoteBook.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/PasswordPrompt.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

// A folder of the benchmark's own in TMPDIR (default /tmp), removed at exit.
class BenchFolder
{
public:
    BenchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "pelmora-bench-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~BenchFolder() { fs::remove_all(m_path); }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

BenchFolder& Folder()
{
    static BenchFolder folder;
    return folder;
}

// The notebook on disk: UTF-8 (ASCII) as written here, or Windows-1252 with an accented title
// in every note, as the Windows program wrote it.
const std::string& NoteBookFile(bool windows1252)
{
    static std::string paths[2];
    std::string& path = paths[windows1252];
    if (path.empty()) {
        CNoteBook book;
        FillMassNoteBook(book);
        if (windows1252) {
            book.SetEncoding(TextEncoding::windows1252);
            for (NotePosition pos = book.GetNextPosition(0); pos != 0; pos = book.GetNextPosition(pos))
                book.GetNoteAt(pos)->Title() += " caf\xC3\xA9";
        }
        path = Folder().File(windows1252 ? "mass-1252.pelm" : "mass.pelm");
        if (!book.WriteFile(path))
            std::abort();
    }
    return path;
}

void BM_ReadNoteBook(benchmark::State& state)
{
    const std::string& path = NoteBookFile(state.range(0) != 0);
    for (auto _ : state) {
        CNoteBook book;
        if (!book.ReadFile(path))
            state.SkipWithError("the notebook did not read");
        benchmark::DoNotOptimize(book.GetCount());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}
BENCHMARK(BM_ReadNoteBook)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("windows1252")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A save is written, pushed to the disk with fsync and renamed over the old file.
void BM_WriteNoteBook(benchmark::State& state)
{
    CNoteBook book;
    if (!book.ReadFile(NoteBookFile(state.range(0) != 0)))
        state.SkipWithError("the notebook did not read");
    const std::string target = Folder().File("saved.pelm");
    for (auto _ : state)
        if (!book.WriteFile(target))
            state.SkipWithError("the notebook did not write");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(target)));
}
BENCHMARK(BM_WriteNoteBook)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("windows1252")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The encrypted notebook: the same notes, sealed. Opening and saving it cost the plain notebook's
// time, one key derivation (BM_DeriveKey) and the sealing.
const char* const kPassphrase = "bench passphrase";

const std::string& EncryptedNoteBookFile()
{
    static std::string path;
    if (path.empty()) {
        CNoteBook book;
        FillMassNoteBook(book);
        book.SetSecret(CNoteBookSecret::Create(CSecureBytes(kPassphrase)));
        path = Folder().File("mass.pelmx");
        if (!book.WriteFile(path))
            std::abort();
        SetPasswordHandler([](const std::string&, std::string& passphrase) {
            passphrase = kPassphrase;
            return true;
        });
    }
    return path;
}

void BM_DeriveKey(benchmark::State& state)
{
    const CSecureBytes passphrase(kPassphrase);
    for (auto _ : state)
        benchmark::DoNotOptimize(CSealKey::Derive(passphrase, CSealKey::Params::Default()));
}
BENCHMARK(BM_DeriveKey)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadEncryptedNoteBook(benchmark::State& state)
{
    const std::string& path = EncryptedNoteBookFile();
    for (auto _ : state) {
        CNoteBook book;
        if (!book.ReadFile(path))
            state.SkipWithError("the notebook did not read");
    }
}
BENCHMARK(BM_ReadEncryptedNoteBook)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteEncryptedNoteBook(benchmark::State& state)
{
    CNoteBook book;
    if (!book.ReadFile(EncryptedNoteBookFile()))
        state.SkipWithError("the notebook did not read");
    const std::string target = Folder().File("saved.pelmx");
    for (auto _ : state)
        if (!book.WriteFile(target))
            state.SkipWithError("the notebook did not write");
}
BENCHMARK(BM_WriteEncryptedNoteBook)->Unit(benchmark::kMillisecond)->UseRealTime();

long MaxRssKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The child: reads, then writes, and prints its peak resident size after each, in KB.
int MeasurePeak(const char* path, const char* savePath)
{
    const long baseline = MaxRssKb();
    CNoteBook book;
    if (!book.ReadFile(path))
        return 1;
    const long afterRead = MaxRssKb();
    book.SetModified();
    if (!book.WriteFile(savePath))
        return 1;
    std::printf("%ld %ld %ld\n", baseline, afterRead, MaxRssKb());
    return 0;
}

void BM_PeakMemory(benchmark::State& state)
{
    const std::string& path = NoteBookFile(state.range(0) != 0);
    const double fileKb = static_cast<double>(fs::file_size(path)) / 1024.0;
    long baseline = 0, afterRead = 0, afterWrite = 0;
    for (auto _ : state) {
        const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --peak-memory '" +
                                    path + "' '" + Folder().File("peak.pelm") + "'";
        FILE* child = ::popen(command.c_str(), "r");
        if (!child || std::fscanf(child, "%ld %ld %ld", &baseline, &afterRead, &afterWrite) != 3)
            state.SkipWithError("the measuring process failed");
        if (child)
            ::pclose(child);
    }
    state.counters["file_MB"] = fileKb / 1024.0;
    state.counters["baseline_MB"] = static_cast<double>(baseline) / 1024.0;
    state.counters["peak_read_MB"] = static_cast<double>(afterRead) / 1024.0;
    state.counters["peak_write_MB"] = static_cast<double>(afterWrite) / 1024.0;
    state.counters["peak_per_file"] = static_cast<double>(afterWrite) / fileKb;
}
BENCHMARK(BM_PeakMemory)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("windows1252")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--peak-memory") == 0)
        return MeasurePeak(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
