#include "model/CByteBuffer.h"
#include "model/CNoteBook.h"
#include "model/CTextString.h"
#include "platform/CDisposer.h"

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

// A sorted notebook closed, until its notes are given back on the disposer's thread.
void BM_FreeSortedNoteBook(benchmark::State& state)
{
    CNoteBook book;
    for (auto _ : state) {
        state.PauseTiming();
        FillBook(book);
        book.SortByTitle();
        book.SetModifiedFlag(false);
        state.ResumeTiming();
        book.Clear();
        CDisposer::WaitIdle();
    }
}
BENCHMARK(BM_FreeSortedNoteBook)->Iterations(5)->Unit(benchmark::kMillisecond);

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

// A search press counts each note's text where it lies, still enciphered, in a window of the file
// that stays in the processor's cache: 256 texts of 1 KB, the pattern counted with case ignored.
void BM_CountShiftedTexts(benchmark::State& state, const char* pattern)
{
    constexpr std::size_t kText = 1000;
    constexpr std::size_t kTexts = 256;
    std::mt19937 rng(5);
    const std::uint8_t* shifts = CByteBuffer::NoteBookShifts(0, kText);
    std::string enciphered(kText * kTexts, ' ');
    for (std::size_t i = 0; i < enciphered.size(); ++i) {
        const char plain = "etaoin shrdlu\nTHE"[rng() % 17];
        enciphered[i] = static_cast<char>(plain - shifts[i % kText]);
    }
    for (auto _ : state)
        for (std::size_t t = 0; t < kTexts; ++t)
            benchmark::DoNotOptimize(
                CTextString::CountShifted(enciphered.data() + t * kText, kText, shifts, pattern, true));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * enciphered.size()));
}
BENCHMARK_CAPTURE(BM_CountShiftedTexts, quince, "quince");
BENCHMARK_CAPTURE(BM_CountShiftedTexts, the, "the");
BENCHMARK_CAPTURE(BM_CountShiftedTexts, e, "e");

} // namespace

BENCHMARK_MAIN();
