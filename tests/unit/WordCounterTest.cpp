#include "text/CWordCounter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::uint64_t Words(const std::string& text, std::size_t cut)
{
    CWordCounter counter;
    for (std::size_t at = 0; at < text.size(); at += cut)
        counter.Add(std::string_view(text).substr(at, cut));
    return counter.Words();
}

} // namespace

// Blanks and line ends part words, whatever the cut of the pieces.
TEST(WordCounter, CountsRunsBetweenBlanksInAnyCut)
{
    const std::string text = "  one two\tthree\n\nfour-five caf\xC3\xA9\r\nsix ";
    for (const std::size_t cut : {1u, 2u, 3u, 7u, 1000u})
        EXPECT_EQ(Words(text, cut), 6u) << cut;
    EXPECT_EQ(Words("", 1), 0u);
    EXPECT_EQ(Words(" \n\t ", 2), 0u);
    EXPECT_EQ(Words("word", 1), 1u);
    std::string large;
    for (int i = 0; i < 100000; ++i)
        large += "lorem ipsum\n";
    EXPECT_EQ(Words(large, 4096), 200000u);
}
