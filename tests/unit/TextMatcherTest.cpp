#include "text/CTextMatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

Spans Find(const std::string& pattern, const std::string& text, CTextMatcher::Options options = {})
{
    CTextMatcher matcher;
    EXPECT_TRUE(matcher.Compile(pattern, options)) << matcher.GetError();
    Spans spans;
    EXPECT_TRUE(matcher.ForEachMatch(text, [&](std::size_t start, std::size_t end) {
        spans.emplace_back(start, end);
        return true;
    }));
    return spans;
}

constexpr CTextMatcher::Options kCase{true, false, false};
constexpr CTextMatcher::Options kWords{false, true, false};
constexpr CTextMatcher::Options kRegex{false, false, true};

} // namespace

TEST(TextMatcher, FullCaseFoldingInEveryScriptMapsBackToTheOriginalBytes)
{
    // "Die Straße, die STRASSE": ß is two bytes and folds to "ss".
    const std::string street = "Die Stra\xC3\x9F"
                               "e, die STRASSE";
    EXPECT_EQ(Find("STRASSE", street), (Spans{{4, 11}, {17, 24}}));
    EXPECT_EQ(Find("stra\xC3\x9F"
                   "e",
                   street),
              (Spans{{4, 11}, {17, 24}}));
    EXPECT_EQ(Find("s", "\xC3\x9F"), Spans{}) << "half of a folded character is no match";
    EXPECT_EQ(Find("\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9 \xC3\x89T\xC3\x89"), (Spans{{0, 5}, {6, 11}}));
    // ΣΊΣΥΦΟΣ finds σίσυφος, final sigma included.
    EXPECT_EQ(Find("\xCE\xA3\xCE\x8A\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3",
                   "\xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82"),
              (Spans{{0, 14}}));
    // 東京 twice around six characters of three bytes; the emoji is four bytes.
    EXPECT_EQ(Find("\xE6\x9D\xB1\xE4\xBA\xAC",
                   "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x82\xBF\xE3\x83\xAF\xE3\x83\xBC\xE3\x81\xA8\xE6\x9D\xB1"
                   "\xE4\xBA\xAC"),
              (Spans{{0, 6}, {18, 24}}));
    EXPECT_EQ(Find("\xF0\x9F\x98\x80!", "a\xF0\x9F\x98\x80!\xF0\x9F\x98\x80"), (Spans{{1, 6}}));

    EXPECT_EQ(Find("STRASSE", street, kCase), (Spans{{17, 24}}));
    EXPECT_EQ(Find("\xC3\x89", "\xC3\xA9", kCase), Spans{});
    EXPECT_EQ(Find("aa", "aaaaa"), (Spans{{0, 2}, {2, 4}})) << "occurrences do not overlap";
}

TEST(TextMatcher, WholeWordsInLatinAndGreekAndBytesThatAreNoUtf8)
{
    EXPECT_EQ(Find("cat", "cat concat cat_ cats (cat) cat\xCE\xB1", kWords), (Spans{{0, 3}, {22, 25}}));
    // λόγος alone, not inside a longer Greek word.
    const std::string word = "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82";
    EXPECT_EQ(Find(word, word + " \xCE\xB1" + word + " " + word + ".", kWords), (Spans{{0, 10}, {24, 34}}));
    EXPECT_EQ(Find("-x", "a-x", kWords), (Spans{{1, 3}})) << "a pattern that starts with no letter";
    // Windows-1252 bytes left in a text: each stands for itself and joins no word.
    EXPECT_EQ(Find("t", "\xE9t\xE9", kWords), (Spans{{1, 2}}));
    EXPECT_EQ(Find("T", "\xE9t\xE9"), (Spans{{1, 2}}));
}

TEST(TextMatcher, RegularExpressionsFoldMatchLinesAndSkipEmptyMatches)
{
    const std::string text = "Quite a quake, quiet\r\nqueue";
    EXPECT_EQ(Find("\\bq[a-z]+e\\b", text, kRegex), (Spans{{0, 5}, {8, 13}, {22, 27}}));
    EXPECT_EQ(Find("\\bq[a-z]+e\\b", text, {true, false, true}), (Spans{{8, 13}, {22, 27}}));
    EXPECT_EQ(Find("^q\\w+$", text, kRegex), (Spans{{22, 27}})) << "^ and $ at every line end";
    EXPECT_EQ(Find("qu", text, {false, true, true}), Spans{});
    EXPECT_EQ(Find("a*", "baaab", kRegex), (Spans{{1, 4}}));
    EXPECT_EQ(Find("\xC3\xA9+", "\xC3\x89\xC3\xA9!", kRegex), (Spans{{0, 4}}));
    EXPECT_EQ(Find("\\w+", "\xE9t\xE9", kRegex), (Spans{{1, 2}})) << "bytes that are no UTF-8 are skipped";
}

TEST(TextMatcher, InvalidAndRunawayPatternsAreReported)
{
    CTextMatcher matcher;
    EXPECT_FALSE(matcher.Compile("\xC3\xA9(ab", kRegex));
    EXPECT_EQ(matcher.GetError(), "missing closing parenthesis");
    EXPECT_EQ(matcher.GetErrorOffset(), 4) << "characters, not bytes";
    EXPECT_FALSE(matcher.Compile("a)(b", {false, true, true})) << "whole words wrap no broken pattern";
    EXPECT_EQ(matcher.GetErrorOffset(), 1);

    ASSERT_TRUE(matcher.Compile("(a+)+$", kRegex));
    const std::string runaway = std::string(40, 'a') + "b";
    EXPECT_FALSE(matcher.ForEachMatch(runaway, [](std::size_t, std::size_t) { return true; }));
    EXPECT_TRUE(matcher.ForEachMatch("aaa", [](std::size_t, std::size_t) { return true; }));
}
