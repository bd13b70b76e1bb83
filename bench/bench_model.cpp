#include "model/CByteBuffer.h"
#include "model/CNoteBook.h"
#include "model/CTextString.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

namespace {

constexpr int kNotes = 100000;
constexpr std::uint32_t kHundredMB = 100u * 1000u * 1000u;

std::string RandomTitle(std::mt19937& rng)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_ 0123456789";
    std::string title;
    for (int i = 0; i < 12; ++i)
        title += letters[rng() % (sizeof letters - 1)];
    return title;
}

void FillBook(CNoteBook& book)
{
    std::mt19937 rng(1);
    book.Clear();
    for (int i = 0; i < kNotes; ++i)
        book.AddNote(true, false)->SetTitle(RandomTitle(rng));
}

void BM_SortByTitle(benchmark::State& state)
{
    std::unique_ptr<CNoteBook> book;
    for (auto _ : state) {
        state.PauseTiming();
        book = std::make_unique<CNoteBook>();
        FillBook(*book);
        state.ResumeTiming();
        book->SortByTitle();
        benchmark::DoNotOptimize(book->GetNoteAtIndex(0));
    }
}
BENCHMARK(BM_SortByTitle)->Unit(benchmark::kMillisecond);

void BM_FindNote(benchmark::State& state)
{
    CNoteBook book;
    FillBook(book);
    std::int32_t serial = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(book.FindNote(serial));
        serial = serial % kNotes + 1;
    }
}
BENCHMARK(BM_FindNote);

void BM_Cipher(benchmark::State& state)
{
    CByteBuffer buffer;
    buffer.Allocate(kHundredMB);
    const bool encipher = state.range(0) != 0;
    for (auto _ : state) {
        if (encipher)
            buffer.Encipher(kNoteBookKey);
        else
            buffer.Decipher(kNoteBookKey);
        benchmark::DoNotOptimize(buffer.GetData()[12345]);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kHundredMB);
}
BENCHMARK(BM_Cipher)->Arg(1)->Arg(0)->ArgName("encipher")->Unit(benchmark::kMillisecond);

void BM_FindRarePattern(benchmark::State& state)
{
    std::mt19937 rng(3);
    std::string text(kHundredMB, ' ');
    for (auto& c : text)
        c = "etaoin shrdlu\n"[rng() % 14];
    text.replace(text.size() - 100, 8, "Zymurgy!");
    CTextString s;
    s.Attach(text.data(), static_cast<int>(text.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(s.Find("zymurgy", 0, state.range(0) != 0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kHundredMB);
}
BENCHMARK(BM_FindRarePattern)->Arg(1)->Arg(0)->ArgName("ignore_case")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
