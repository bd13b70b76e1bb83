// One press of Find Next on a mass notebook: the whole count of every occurrence in every title and
// text.
#include "MassNoteBook.h"
#include "platform/MessageBox.h"
#include "text/CNoteSearch.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>

namespace {

CNoteBook& Book()
{
    static CNoteBook book;
    static const bool filled = (FillMassNoteBook(book), true);
    (void)filled;
    return book;
}

void BM_SearchPress(benchmark::State& state, const char* text)
{
    CNoteBook& book = Book();
    SetMessageBoxHandler([](const std::string&, unsigned, const std::string&) { return IDOK; });
    std::size_t bytes = 0;
    for (NotePosition p = book.GetNextPosition(0); p != 0; p = book.GetNextPosition(p))
        bytes += book.GetNoteAt(p)->GetText().size() + book.GetNoteAt(p)->GetTitle().size();
    int hits = 0;
    for (auto _ : state) {
        CNoteSearch search; // a fresh search each time: the first press, not a repetition
        hits = search.Search(&book, text);
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = hits;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK_CAPTURE(BM_SearchPress, rare_word, "zymurgy")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchPress, two_letters, "th")->Unit(benchmark::kMillisecond);

// With --export FILE, writes every title and text as one text file for grep and stops.
bool Export(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--export") != 0)
            continue;
        std::ofstream out(argv[i + 1], std::ios::binary);
        CNoteBook& book = Book();
        for (NotePosition p = book.GetNextPosition(0); p != 0; p = book.GetNextPosition(p))
            out << book.GetNoteAt(p)->GetTitle() << '\n' << book.GetNoteAt(p)->GetText() << '\n';
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (Export(argc, argv))
        return 0;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
