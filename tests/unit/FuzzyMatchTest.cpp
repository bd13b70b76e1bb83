#include "model/CNoteBook.h"
#include "text/CFuzzyMatcher.h"
#include "text/CTitleFinder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int Score(const std::string& pattern, const std::string& title)
{
    CFuzzyMatcher matcher;
    matcher.SetPattern(pattern);
    return matcher.Score(title);
}

// The titles Go to Note offers for the pattern, best first.
std::vector<std::string> Offered(CTitleFinder& finder, const CNoteBook& book, const std::string& pattern,
                                 std::size_t limit)
{
    std::vector<std::string> titles;
    finder.Load(book);
    for (const TitleMatch& match : finder.Find(pattern, limit))
        titles.push_back(book.GetNoteAtIndex(match.index)->GetTitle());
    return titles;
}

void AddTitles(CNoteBook& book, const std::vector<std::string>& titles)
{
    for (const std::string& title : titles)
        book.AddNote(true, false)->SetTitle(title);
}

} // namespace

TEST(FuzzyMatch, LettersMustAppearInOrderFoldedAsFindAllFoldsThem)
{
    EXPECT_GE(Score("gdn", "Garden"), 0);
    EXPECT_EQ(Score("ndg", "Garden"), CFuzzyMatcher::kNoMatch) << "out of order";
    EXPECT_EQ(Score("gardens", "Garden"), CFuzzyMatcher::kNoMatch) << "a letter too many";
    EXPECT_GE(Score("GARDEN", "garden"), 0);
    EXPECT_GE(Score("", "anything"), 0);
    EXPECT_GE(Score("plan 2", "Plan for 2027"), 0) << "a blank only separates words";
    // Composed and decomposed accents read alike, and full case folding applies.
    EXPECT_GE(Score("caf\xC3\xA9", "Caf"
                                   "e\xCC\x81 list"),
              0);
    EXPECT_GE(Score("CAF"
                    "E\xCC\x81",
                    "caf\xC3\xA9"),
              0);
    EXPECT_GE(Score("STRASSE", "Stra\xC3\x9F"
                               "e"),
              0);
    EXPECT_GE(Score("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9 2026"), 0);
    // An accent is part of its letter, as in Find All: e does not find é, nor é e.
    EXPECT_EQ(Score("cafe", "caf\xC3\xA9"), CFuzzyMatcher::kNoMatch);
    EXPECT_EQ(Score("caf\xC3\xA9", "cafe"), CFuzzyMatcher::kNoMatch);
    // Bytes that are no UTF-8 still match themselves.
    EXPECT_GE(Score("\xE9t\xE9", "\xE9t\xE9"), 0);
}

TEST(FuzzyMatch, WordStartsAndRunsRankFirst)
{
    EXPECT_GT(Score("gn", "garden notes"), Score("gn", "signal")) << "word starts beat a run inside a word";
    EXPECT_GT(Score("note", "my notes"), Score("note", "n o t e")) << "a run beats scattered word starts";
    EXPECT_GT(Score("note", "notes"), Score("note", "my notes")) << "the title's start first";
    EXPECT_GT(Score("bm", "buy milk"), Score("bm", "bxxxxxxm")) << "a word start beats a plain letter";
    EXPECT_GT(Score("ab", "xab"), Score("ab", "xaxxxxb")) << "a run beats a gap";
    EXPECT_GT(Score("milk", "buy-milk"), Score("milk", "buymilk")) << "punctuation starts a word";
}

TEST(TitleFinder, KeepsTheBestInOrderAndTiesInNotebookOrder)
{
    CNoteBook book;
    AddTitles(book, {"signal", "garden notes", "Gin", "garden notes", "nothing", "g-n"});
    CTitleFinder finder;
    EXPECT_EQ(Offered(finder, book, "gn", 10),
              (std::vector<std::string>{"g-n", "garden notes", "garden notes", "Gin", "signal"}));
    EXPECT_EQ(Offered(finder, book, "gn", 2), (std::vector<std::string>{"g-n", "garden notes"}));
    const std::vector<TitleMatch> twins = finder.Find("garden notes", 10);
    ASSERT_EQ(twins.size(), 2u);
    EXPECT_LT(twins[0].index, twins[1].index) << "equal scores keep the notebook's order";
    EXPECT_TRUE(finder.Find("zzz", 10).empty());
    EXPECT_EQ(Offered(finder, book, "", 3), (std::vector<std::string>{"signal", "garden notes", "Gin"}))
        << "nothing typed: the list's first notes";
    // A title beyond ASCII is never turned down by the quick look at its bytes.
    AddTitles(book, {"Stra\xC3\x9F"
                     "e",
                     "caf"
                     "e\xCC\x81"});
    EXPECT_EQ(Offered(finder, book, "STRASSE", 10), std::vector<std::string>{"Stra\xC3\x9F"
                                                                             "e"});
    EXPECT_EQ(Offered(finder, book, "caf\xC3\xA9", 10), std::vector<std::string>{"caf"
                                                                                 "e\xCC\x81"});
    finder.Release();
    EXPECT_TRUE(finder.Find("g", 10).empty()) << "nothing taken, nothing found";
    EXPECT_TRUE(finder.Find("", 10).empty());
}

// A notebook large enough for both cores: the two halves give what one pass would.
TEST(TitleFinder, BothHalvesOfALargeNotebookMeetInOneRanking)
{
    CNoteBook book;
    std::vector<std::string> titles;
    for (int i = 0; i < 60000; ++i)
        titles.push_back(i % 7919 == 0 ? "Budget " + std::to_string(i) : "daily log " + std::to_string(i));
    AddTitles(book, titles);
    CTitleFinder finder;
    finder.Load(book);
    const std::vector<TitleMatch> matches = finder.Find("budget", 100);
    std::vector<std::size_t> indexes;
    for (const TitleMatch& match : matches)
        indexes.push_back(match.index);
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i < 60000; i += 7919)
        expected.push_back(i);
    EXPECT_EQ(indexes, expected);
    // The best of many equal matches are the first in the notebook, from the first half.
    const std::vector<TitleMatch> logs = finder.Find("log", 3);
    ASSERT_EQ(logs.size(), 3u);
    EXPECT_EQ(logs[0].index, 1u);
    EXPECT_EQ(logs[2].index, 3u);
    EXPECT_EQ(finder.Find("log 59999", 1).at(0).index, 59999u) << "from the second half";
}
