#include "model/CNoteBook.h"
#include "platform/CMappedFile.h"
#include "support/NoteFill.h"
#include "support/TempDir.h"
#include "text/CFindAll.h"
#include "text/TextLines.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace {

class FindAll : public ::testing::Test
{
protected:
    void SetUp() override { book.Clear(); }

    CNote* Add(const std::string& title, const std::string& text) { return AddNote(book, title, text); }

    // The whole search at once: a deadline already past still takes one note a step.
    CFindAll::State Run(const std::string& pattern, CTextMatcher::Options options = {})
    {
        EXPECT_TRUE(search.Start(pattern, options));
        int steps = 0;
        while (search.Step(book, CFindAll::Clock::now()) == CFindAll::State::Running)
            ++steps;
        EXPECT_LE(steps, static_cast<int>(book.GetCount()));
        return search.GetState();
    }

    CNoteBook book;
    CFindAll search;
};

} // namespace

TEST_F(FindAll, OneResultPerNoteInOrderWithItsCountAndFirstOccurrence)
{
    Add("Fox", "no match");
    CNote* both = Add("fox and FOX", "one\r\ntwo fox\rthree fox");
    Add("plain", "nothing");
    CNote* text = Add("t", "\nfox");
    EXPECT_EQ(Run("fox"), CFindAll::State::Finished);
    const auto& results = search.GetResults();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].count, 1);
    EXPECT_TRUE(results[0].first.InTitle());
    EXPECT_EQ(results[1].serial, both->GetSerial());
    EXPECT_EQ(results[1].count, 4);
    EXPECT_EQ(results[1].first.end, 3u);
    EXPECT_EQ(results[2].serial, text->GetSerial());
    EXPECT_EQ(results[2].first.line, 2u);
    EXPECT_EQ(results[2].index, 3);
    EXPECT_EQ(search.GetOccurrenceCount(), 6);

    std::vector<FindAllOccurrence> all;
    ASSERT_TRUE(search.FindOccurrences(*both, all));
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].line, 0u);
    EXPECT_EQ(all[1].start, 8u);
    EXPECT_EQ(all[2].line, 2u) << "\\r\\n is one line end";
    EXPECT_EQ(all[2].start, 9u);
    EXPECT_EQ(all[3].line, 3u) << "a lone \\r ends a line too";
    EXPECT_EQ(LineAround(both->GetText(), all[3].start), "three fox");
}

TEST_F(FindAll, EditsChangeInsertAndRemoveOneRow)
{
    CNote* a = Add("a", "word");
    CNote* b = Add("b", "none");
    CNote* c = Add("c", "word word");
    Run("word");
    ASSERT_EQ(search.GetResults().size(), 2u);

    b->SetText("a word here");
    CFindAll::Change change = search.PlanRefresh(book, b->GetSerial());
    EXPECT_EQ(change.kind, CFindAll::Change::Inserted);
    EXPECT_EQ(change.row, 1);
    search.ApplyRefresh(change);
    EXPECT_EQ(search.GetResults()[1].first.start, 2u);

    c->SetText("word");
    change = search.PlanRefresh(book, c->GetSerial());
    EXPECT_EQ(change.kind, CFindAll::Change::Changed);
    search.ApplyRefresh(change);
    a->SetText("gone");
    change = search.PlanRefresh(book, a->GetSerial());
    EXPECT_EQ(change.kind, CFindAll::Change::Removed);
    EXPECT_EQ(change.row, 0);
    search.ApplyRefresh(change);
    ASSERT_EQ(search.GetResults().size(), 2u);
    EXPECT_EQ(search.GetOccurrenceCount(), 2);
    EXPECT_EQ(search.PlanRefresh(book, -5).kind, CFindAll::Change::None) << "no such note";
}

TEST_F(FindAll, TheOpenNotesTypingIsSearchedAndTheMatchLimitStops)
{
    CNote* open = Add("open", "stored text");
    const std::string typed = "typed text";
    CFindAll live([&](const CNote& note, std::string& scratch) -> std::string_view {
        return &note == open ? std::string_view(typed) : note.ReadText(scratch);
    });
    ASSERT_TRUE(live.Start("typed", {}));
    EXPECT_EQ(live.Step(book, CFindAll::Clock::now()), CFindAll::State::Running);
    EXPECT_EQ(live.Step(book, CFindAll::Clock::now()), CFindAll::State::Finished);
    EXPECT_EQ(live.GetResults().size(), 1u);

    Add("before", "fine");
    CNote* runaway = Add("runaway", std::string(40, 'a') + "b");
    Add("after", "aaa");
    EXPECT_EQ(Run("(a+)+$", {false, false, true}), CFindAll::State::LimitReached);
    EXPECT_EQ(search.GetStoppedAt(), runaway->GetSerial());
    EXPECT_FALSE(search.Start("(", {false, false, true}));
    EXPECT_EQ(search.GetState(), CFindAll::State::Idle);
}

namespace {

// What a search on one thread, note by note, finds: serial, count and first occurrence per note.
std::vector<std::array<std::int64_t, 6>> OneThreadResults(const CNoteBook& book, const std::string& pattern,
                                                          CTextMatcher::Options options)
{
    CTextMatcher matcher;
    EXPECT_TRUE(matcher.Compile(pattern, options));
    std::vector<std::array<std::int64_t, 6>> results;
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        std::vector<std::array<std::int64_t, 3>> found;
        matcher.ForEachMatch(note.GetTitle(), [&](std::size_t start, std::size_t end) {
            found.push_back({std::int64_t(start), std::int64_t(end), 0});
            return true;
        });
        matcher.ForEachMatch(note.GetText(), [&](std::size_t start, std::size_t end) {
            found.push_back({std::int64_t(start), std::int64_t(end),
                             found.empty() ? LineNumberAt(note.GetText(), start) : 0});
            return true;
        });
        if (!found.empty())
            results.push_back({note.GetSerial(), std::int64_t(i), std::int64_t(found.size()), found[0][0],
                               found[0][1], found[0][2]});
    }
    return results;
}

std::vector<std::array<std::int64_t, 6>> ResultsOf(const CFindAll& search)
{
    std::vector<std::array<std::int64_t, 6>> results;
    for (const FindAllResult& r : search.GetResults())
        results.push_back({r.serial, r.index, r.count, r.first.start, r.first.end, r.first.line});
    return results;
}

} // namespace

// Both cores share the notes in runs and the step's deadline cuts runs anywhere, yet the results are
// the one-thread results in notebook order; notes edited ahead of the search are matched as they are.
TEST_F(FindAll, BothCoresFindWhatOneThreadFindsInTheSameOrder)
{
    std::mt19937 random(26);
    const std::vector<std::string> words = {"Fox", "fox",  "straße", "STRASSE", "é", "e\u0301", "quince",
                                            "the", "then", "\r\n",   "\n",      " ", "zz"};
    const auto someText = [&](std::size_t words_) {
        std::string text;
        for (std::size_t w = 0; w < words_; ++w)
            text += words[random() % words.size()] + (random() % 3 ? " " : "");
        return text;
    };
    for (int i = 0; i < 2000; ++i) {
        // Mostly short notes, some long ones, so that the runs take unequal time.
        const std::size_t length = random() % 50 == 0 ? 5000 : random() % 40;
        Add(someText(random() % 3), someText(length));
    }
    const std::vector<std::pair<std::string, CTextMatcher::Options>> searches = {
        {"fox", {}},
        {"strasse", {}},
        {"é", {true, false, false}},
        {"the", {false, true, false}},
        {"\\bq\\w+e\\b", {false, false, true}},
        {"zz zz", {}}};
    for (const auto& [pattern, options] : searches) {
        ASSERT_TRUE(search.Start(pattern, options));
        while (search.Step(book, CFindAll::Clock::now() + std::chrono::microseconds(random() % 300)) ==
               CFindAll::State::Running) {
            // An edit ahead of the search, as the window takes one in between two steps.
            CNote* note = book.GetNoteAtIndex(random() % book.GetCount());
            note->SetText(someText(random() % 40));
            search.ApplyRefresh(search.PlanRefresh(book, note->GetSerial()));
        }
        EXPECT_EQ(search.GetState(), CFindAll::State::Finished) << pattern;
        const auto expected = OneThreadResults(book, pattern, options);
        EXPECT_EQ(ResultsOf(search), expected) << pattern;
        std::int64_t occurrences = 0;
        for (const auto& r : expected)
            occurrences += r[2];
        EXPECT_EQ(search.GetOccurrenceCount(), occurrences) << pattern;
        EXPECT_GT(expected.size(), 10u) << pattern << ": a search that finds little proves little";
    }
}

// A runaway regular expression far into a large notebook stops the search at its note, whichever
// core met it, with exactly the results before it; a new search drops the runs still pending.
TEST_F(FindAll, TheMatchLimitOnEitherCoreStopsAtItsNoteAndANewSearchStartsClean)
{
    for (int i = 0; i < 2000; ++i)
        Add("n" + std::to_string(i), i == 1500 ? std::string(40, 'a') + "b" : "a");
    const std::string pattern = "(a+)+$";
    ASSERT_TRUE(search.Start(pattern, {false, false, true}));
    search.Step(book, CFindAll::Clock::now());
    ASSERT_TRUE(search.Start(pattern, {false, false, true}));
    while (search.Step(book, CFindAll::Clock::now() + std::chrono::microseconds(100)) ==
           CFindAll::State::Running) {
    }
    ASSERT_EQ(search.GetState(), CFindAll::State::LimitReached);
    EXPECT_EQ(search.GetStoppedAt(), book.GetNoteAtIndex(1500)->GetSerial());
    ASSERT_EQ(search.GetResults().size(), 1500u);
    EXPECT_EQ(search.GetResults().back().index, 1499);
}

// A sorted notebook's texts lie anywhere in its file: the search reads the file mapped whole while
// it runs, finds what a notebook read whole and sorted finds, and lets go of the mapping at the end.
TEST(FindAllInFile, ASortedNotebookIsSearchedFromItsFileMappedWhole)
{
    TempDir dir;
    std::mt19937 rng(9);
    CNoteBook written;
    written.Clear();
    for (int i = 0; i < 3000; ++i)
        AddNote(written, "note " + std::to_string(rng() % 100000),
                std::string(300 + rng() % 600, 'x') + (i % 3 == 0 ? " quince" : " pear") + std::to_string(i));
    ASSERT_TRUE(written.WriteFile(dir.File("book.pelm")));
    CNoteBook stored;
    ASSERT_TRUE(stored.ReadFile(dir.File("book.pelm")));
    CNoteBook whole;
    ASSERT_TRUE(whole.ReadFile(dir.File("book.pelm")));
    for (std::size_t i = 0; i < whole.GetCount(); ++i)
        ASSERT_FALSE(whole.GetNoteAtIndex(i)->GetText().empty());
    stored.SortByTitle();
    whole.SortByTitle();

    const auto results = [](const CNoteBook& book, bool& mappedWhileRunning) {
        CFindAll search;
        EXPECT_TRUE(search.Start("quince", {}));
        while (search.Step(book, CFindAll::Clock::now()) == CFindAll::State::Running)
            mappedWhileRunning =
                mappedWhileRunning || (book.GetStoredFile() && book.GetStoredFile()->IsMappedWhole());
        std::vector<std::pair<std::int32_t, std::int32_t>> found;
        for (const FindAllResult& result : search.GetResults())
            found.emplace_back(result.serial, result.count);
        return found;
    };
    bool storedMapped = false;
    bool wholeMapped = false;
    const auto fromFile = results(stored, storedMapped);
    EXPECT_EQ(fromFile.size(), 1000u);
    EXPECT_EQ(fromFile, results(whole, wholeMapped));
    EXPECT_TRUE(storedMapped);
    EXPECT_FALSE(stored.GetStoredFile()->IsMappedWhole());
}

// A text still in the file as ASCII is counted where it lies, and deciphered only as far as its first
// occurrence: the results are those of the same notebook read whole, whatever the line ends before
// that occurrence, how far into the text it lies, the case, or a pattern that may overlap itself.
TEST(FindAllInFile, TextsCountedWhereTheyLieFindWhatTextsReadWholeFind)
{
    TempDir dir;
    std::mt19937 rng(41);
    // The last word, beyond ASCII, only in every fourth note.
    const std::vector<std::string> words = {"the", "The", "THE", "then", "fox", "\r\n", "\n",         "\r",
                                            " ",   "aa",  "a",   "k",    "K",   "x",    "caf\xC3\xA9"};
    CNoteBook written;
    written.Clear();
    for (int i = 0; i < 1500; ++i) {
        std::string text = i % 7 == 0 ? std::string(250 + rng() % 1500, 'x') : std::string();
        const std::size_t length = text.size() + 16 + rng() % 400;
        while (text.size() < length)
            text += words[rng() % (words.size() - (i % 4 == 0 ? 0 : 1))];
        AddNote(written,
                "title " + words[rng() % 5] + (i % 5 == 0 ? " caf\xC3\xA9 " : " ") + std::to_string(i), text);
    }
    ASSERT_TRUE(written.WriteFile(dir.File("book.pelm")));
    CNoteBook stored;
    ASSERT_TRUE(stored.ReadFile(dir.File("book.pelm")));
    CNoteBook whole;
    ASSERT_TRUE(whole.ReadFile(dir.File("book.pelm")));

    const std::vector<std::pair<std::string, CTextMatcher::Options>> searches = {
        {"the", {}},          {"THE", {true, false, false}},
        {"aa", {}},           {"fox", {false, true, false}},
        {"\xE2\x84\xAA", {}}, // the Kelvin sign, which folds to k
        {"\r\nthe", {}},      {"e\r", {}},
        {"\nthe", {}},        {"xxxthe", {}}};
    for (const auto& [pattern, options] : searches) {
        CFindAll search;
        ASSERT_TRUE(search.Start(pattern, options));
        while (search.Step(stored, CFindAll::Clock::now()) == CFindAll::State::Running) {
        }
        const auto expected = OneThreadResults(whole, pattern, options);
        EXPECT_EQ(ResultsOf(search), expected) << pattern;
        EXPECT_GT(expected.size(), 10u) << pattern << ": a search that finds little proves little";
        for (std::size_t i = 0; i < stored.GetCount(); i += 97)
            EXPECT_TRUE(stored.GetNoteAtIndex(i)->HasStoredText() ||
                        stored.GetNoteAtIndex(i)->GetTextSize() <= 15)
                << "the search read the texts without keeping them";
    }
}
