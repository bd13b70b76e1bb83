#include "model/CSegmentQueue.h"
#include "model/CTitleSorter.h"
#include "model/CaseFold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

namespace {

struct Titled
{
    std::string text;
    TextEncoding codePage;
};

// What the sort must follow, built another way: each character as the byte its code page stores it
// as, A to Z folded; a character Windows-1252 lacks after every byte, by its code point; a byte that
// is no UTF-8 as itself.
std::vector<unsigned> StoredSymbols(const Titled& title)
{
    std::vector<unsigned> symbols;
    for (std::size_t pos = 0; pos < title.text.size();) {
        const auto byte = static_cast<unsigned char>(title.text[pos]);
        std::size_t next = pos;
        char32_t codePoint = 0;
        if (title.codePage == TextEncoding::windows1252 && byte >= 0x80 &&
            CTextCodec::DecodeUtf8(title.text, next, codePoint)) {
            const int stored = CTextCodec::Windows1252Byte(codePoint);
            symbols.push_back(stored >= 0 ? static_cast<unsigned>(stored) : 0x100 + codePoint);
            pos = next;
        } else {
            symbols.push_back(FoldCase(byte));
            ++pos;
        }
    }
    return symbols;
}

std::vector<std::size_t> ExpectedOrder(const std::vector<Titled>& titles)
{
    std::vector<std::vector<unsigned>> symbols;
    for (const Titled& title : titles)
        symbols.push_back(StoredSymbols(title));
    std::vector<std::size_t> order(titles.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return symbols[a] < symbols[b]; });
    return order;
}

std::vector<std::size_t> SortedOrder(const std::vector<Titled>& titles)
{
    CTitleSorter sorter(titles.size(), [&](std::size_t i) {
        return CTitleSorter::Title{&titles[i].text, titles[i].codePage};
    });
    const CTitleSorter::Places places = sorter.Order();
    return std::vector<std::size_t>(places.data(), places.data() + places.size());
}

// Titles of up to `most` pieces, in either code page.
std::vector<Titled> RandomTitles(std::size_t count, const std::vector<std::string>& pieces, int most,
                                 unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<Titled> titles(count);
    for (Titled& title : titles) {
        for (int k = static_cast<int>(rng() % (most + 1)); k > 0; --k)
            title.text += pieces[rng() % pieces.size()];
        title.codePage = rng() % 2 ? TextEncoding::windows1252 : TextEncoding::utf8;
    }
    return titles;
}

const std::vector<std::string> kPieces = {
    "a",
    "A",
    "b",
    "Z",
    "_",
    "[",
    "1",
    "",
    std::string(1, '\0'),
    "meeting notes of the week ", // shares more than 8, 16 and 24 bytes
    "\xC3\xA9",                   // U+00E9, E9 in Windows-1252
    "\xC3\xBF",                   // U+00FF, FF in Windows-1252
    "\xE2\x82\xAC",               // U+20AC, 80 in Windows-1252
    "\xC5\x81",                   // U+0141, lacking in Windows-1252
    "\xC9\x81",
    "\xC9\xA1", // U+0241 and U+0261: lacking, and apart by A to Z in their low byte
    "\xFF",     // no UTF-8
};

} // namespace

// Few titles, many titles on both threads, and long titles that repeat: the order is the stable one
// of the bytes each title is stored as.
TEST(TitleSorter, TitlesInEitherCodePageFollowTheirStoredBytesStably)
{
    for (const std::size_t count : {0u, 1u, 40u, 3000u, 100000u}) {
        const std::vector<Titled> titles = RandomTitles(count, kPieces, 6, static_cast<unsigned>(count));
        ASSERT_EQ(SortedOrder(titles), ExpectedOrder(titles)) << count << " titles";
    }
    const std::vector<std::string> longPieces = {"meeting notes of the week ", "Meeting Notes Of The Week ",
                                                 "x", "\xC5\x81", std::string(1, '\0')};
    const std::vector<Titled> repeating = RandomTitles(80000, longPieces, 5, 7);
    EXPECT_EQ(SortedOrder(repeating), ExpectedOrder(repeating));
}

TEST(SegmentQueue, LargestFirstAndFinishedOnlyWhenNothingIsHeld)
{
    CSegmentQueue queue({{0, 5, 1}, {5, 50, 1}, {55, 10, 1}});
    CSegmentQueue::Segment taken{};
    ASSERT_TRUE(queue.Take(taken));
    EXPECT_EQ(taken.count, 50u);
    ASSERT_TRUE(queue.Take(taken));
    EXPECT_EQ(taken.count, 10u);
    queue.Give({100, 7, 2});
    ASSERT_TRUE(queue.Take(taken));
    EXPECT_EQ(taken.count, 7u);
    EXPECT_EQ(taken.depth, 2u);
    ASSERT_TRUE(queue.Take(taken));
    EXPECT_EQ(taken.count, 5u);
    for (int i = 0; i < 4; ++i)
        queue.Done();
    EXPECT_FALSE(queue.Take(taken));
}

// One worker splits what it takes into two smaller parts until they are single; the other only
// waits for work. Every part is taken once, and both stop.
TEST(SegmentQueue, PartsGivenWhileOthersWaitAreEachTakenOnce)
{
    CSegmentQueue queue({{0, 1024, 0}});
    std::vector<int> takenAt(1024, 0);
    const auto work = [&] {
        CSegmentQueue::Segment segment{};
        while (queue.Take(segment)) {
            if (segment.count == 1) {
                ++takenAt[segment.from];
            } else {
                const std::size_t half = segment.count / 2;
                queue.Give({segment.from, half, segment.depth + 1});
                queue.Give({segment.from + half, segment.count - half, segment.depth + 1});
            }
            queue.Done();
        }
    };
    std::thread other(work);
    work();
    other.join();
    EXPECT_EQ(std::count(takenAt.begin(), takenAt.end(), 1), 1024);
}
