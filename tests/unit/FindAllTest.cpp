#include "model/CNoteBook.h"
#include "views/search/CFindAll.h"
#include "views/search/TextLines.h"

#include <gtest/gtest.h>

namespace {

class FindAll : public ::testing::Test
{
protected:
    void SetUp() override { book.Clear(); }

    CNote* Add(const std::string& title, const std::string& text)
    {
        CNote* note = book.AddNote(true, false);
        note->SetTitle(title);
        note->SetText(text);
        return note;
    }

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
    CFindAll live([&](const CNote& note) -> std::string_view {
        return &note == open ? std::string_view(typed) : std::string_view(note.GetText());
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
