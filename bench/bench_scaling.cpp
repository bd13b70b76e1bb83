// Read, write and one search press against notebook size, for the scaling plot.
// Prints "notes,megabytes,read_ms,write_ms,search_ms" lines; each figure is the best of three runs.
#include "MassNoteBook.h"
#include "platform/MessageBox.h"
#include "text/CNoteSearch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace {

double BestMilliseconds(const std::function<void()>& work)
{
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

int main()
{
    SetMessageBoxHandler([](const std::string& text, unsigned, const std::string&) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return IDOK;
    });
    const std::string path =
        (std::filesystem::temp_directory_path() / ("pelmora-scaling-" + std::to_string(::getpid()) + ".pelm"))
            .string();
    std::printf("notes,megabytes,read_ms,write_ms,search_ms\n");
    for (std::size_t notes : {1000, 3000, 10000, 30000, 100000}) {
        CNoteBook book;
        FillMassNoteBook(book, notes);
        const double write = BestMilliseconds([&] { book.WriteFile(path); });
        const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
        const double read = BestMilliseconds([&] {
            CNoteBook loaded;
            loaded.ReadFile(path);
        });
        const double search = BestMilliseconds([&] {
            CNoteSearch press;
            press.Search(&book, "zymurgy");
        });
        std::printf("%zu,%.1f,%.1f,%.1f,%.1f\n", notes, megabytes, read, write, search);
        std::fflush(stdout);
    }
    std::filesystem::remove(path);
    return 0;
}
