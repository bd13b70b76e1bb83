#include "model/CNoteBook.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<std::string> Titles(const CNoteBook& book)
{
    std::vector<std::string> titles;
    for (NotePosition pos = book.GetNextPosition(0); pos != 0; pos = book.GetNextPosition(pos))
        titles.push_back(book.GetNoteAt(pos)->GetTitle());
    return titles;
}

void AddTitled(CNoteBook& book, const std::vector<std::string>& titles)
{
    for (const auto& title : titles)
        book.AddNote(true, false)->SetTitle(title);
}

} // namespace

TEST(NoteBook, SerialsCountAcrossAddRemoveAndRestartAfterClear)
{
    CNoteBook book;
    book.Clear();
    CNote* first = book.AddNote(true, false);
    EXPECT_EQ(first->GetSerial(), 1);
    EXPECT_EQ(first->GetTitle(), "New Note 1");
    EXPECT_FALSE(book.IsModified());

    book.RemoveNote(1);
    EXPECT_TRUE(book.IsModified());
    CNote* second = book.AddNote(true, true);
    EXPECT_EQ(second->GetSerial(), 2);
    EXPECT_EQ(second->GetTitle(), "New Note 2");
    EXPECT_EQ(book.FindNote(1), nullptr);
    EXPECT_EQ(book.FindNote(2), second);

    book.Clear();
    EXPECT_EQ(book.GetCount(), 0u);
    EXPECT_EQ(book.AddNote(true, false)->GetSerial(), 1);
}

TEST(NoteBook, NoteTitleDefaultsOnlyWhenEmpty)
{
    CNote::ResetSerials();
    CNote plain("", "body");
    EXPECT_EQ(plain.GetTitle(), "New Note 1");
    EXPECT_EQ(plain.GetText(), "body");
    CNote named("Groceries");
    EXPECT_EQ(named.GetTitle(), "Groceries");
    EXPECT_EQ(named.GetSerial(), 2);
}

TEST(NoteBook, AddAtFrontOrTailAndWalkInOrder)
{
    CNoteBook book;
    book.Clear();
    book.AddNote(true, false);
    book.AddNote(false, true);
    book.AddNote(true, false);
    EXPECT_EQ(Titles(book), (std::vector<std::string>{"New Note 2", "New Note 1", "New Note 3"}));
    EXPECT_TRUE(book.IsModified());
    EXPECT_EQ(book.IndexOf(3), 2);
    EXPECT_EQ(book.IndexOf(99), -1);
    EXPECT_EQ(book.GetNoteAt(0), nullptr);
    EXPECT_EQ(book.GetNoteAt(4), nullptr);
}

TEST(NoteBook, UnknownSerialsChangeNothing)
{
    CNoteBook book;
    book.Clear();
    AddTitled(book, {"a", "b"});
    book.RemoveNote(42);
    book.MoveNote(42, true);
    EXPECT_FALSE(book.IsModified());
    EXPECT_EQ(Titles(book), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(book.FindNote(0), nullptr);
}

TEST(NoteBook, MoveAtBothEndsAndInTheMiddle)
{
    CNoteBook book;
    book.Clear();
    AddTitled(book, {"a", "b", "c"});
    book.MoveNote(1, true);  // first up
    book.MoveNote(3, false); // last down
    EXPECT_EQ(Titles(book), (std::vector<std::string>{"a", "b", "c"}));
    book.MoveNote(2, true);
    EXPECT_EQ(Titles(book), (std::vector<std::string>{"b", "a", "c"}));
    book.MoveNote(2, false);
    book.MoveNote(2, false);
    EXPECT_EQ(Titles(book), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_FALSE(book.IsModified());
    EXPECT_EQ(book.FindNote(2)->GetTitle(), "b");
}

TEST(NoteBook, SortFoldsOnlyAsciiLettersAndIsStable)
{
    TraceCapture trace;
    CNoteBook book;
    book.Clear();
    AddTitled(book, {"beta", "Alpha", "alpha"});
    book.SortByTitle();
    EXPECT_EQ(Titles(book), (std::vector<std::string>{"Alpha", "alpha", "beta"}));
    EXPECT_EQ(trace.lines,
              (std::vector<std::string>{"Placing Alpha BEFORE beta\r\n", "Placing alpha BEFORE beta\r\n"}));
    EXPECT_TRUE(book.IsModified());

    CNoteBook mixed;
    mixed.Clear();
    AddTitled(mixed, {"beta", "Alpha", "alpha", "_x", "\xC3\xA9t\xC3\xA9", "Zed", "zed", "[", "ab"});
    mixed.SortByTitle();
    // The underscore and brackets stand between the upper and lower case letters in byte order, so
    // with folding they come before every letter; bytes above 127 come after z.
    EXPECT_EQ(Titles(mixed), (std::vector<std::string>{"[", "_x", "ab", "Alpha", "alpha", "beta", "Zed",
                                                       "zed", "\xC3\xA9t\xC3\xA9"}));
}

TEST(NoteBook, SortOfEmptyOrSortedBookStillMarksModified)
{
    TraceCapture trace;
    CNoteBook empty;
    empty.SortByTitle();
    EXPECT_TRUE(empty.IsModified());

    CNoteBook sorted;
    sorted.Clear();
    AddTitled(sorted, {"a", "b"});
    sorted.SortByTitle();
    EXPECT_TRUE(sorted.IsModified());
    EXPECT_TRUE(trace.lines.empty());
}

TEST(NoteBook, SortFoldsOnlyAToZAndKeepsEqualTitlesInOrder)
{
    CNoteBook book;
    book.Clear();
    for (const char* title : {"beta", "zed", "alpha", "_x", "ALPHA", "", "Zed", "a", "Alpha", "\x80", "Z"}) {
        CNote* note = book.AddNote(true, false);
        note->SetTitle(title);
    }
    book.SortByTitle();
    std::vector<std::string> sorted;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        sorted.push_back(book.GetNoteAtIndex(i)->GetTitle());
    EXPECT_EQ(sorted, (std::vector<std::string>{"", "_x", "a", "alpha", "ALPHA", "Alpha", "beta", "Z", "zed",
                                                "Zed", "\x80"}));
}

TEST(NoteBook, CompareTitlesIsUnsignedAfterFolding)
{
    EXPECT_EQ(CNoteBook::CompareTitles("ABC", "abc"), 0);
    EXPECT_LT(CNoteBook::CompareTitles("_", "a"), 0);
    EXPECT_LT(CNoteBook::CompareTitles("_", "A"), 0); // A folds to a, which is above _
    EXPECT_LT(CNoteBook::CompareTitles("z", "\x80"), 0);
    EXPECT_LT(CNoteBook::CompareTitles("ab", "abc"), 0);
}

TEST(NoteBook, ClearEmptiesPasswordAndPathButKeepsModifiedFlag)
{
    CNoteBook book;
    book.SetPassword("secret");
    ASSERT_TRUE(book.GetPath().SetPath("/tmp/a.pelm"));
    book.SetModified();
    book.Clear();
    EXPECT_TRUE(book.GetPassword().empty());
    EXPECT_FALSE(book.GetPath().HasPath());
    EXPECT_EQ(book.GetPath().GetBaseName(), "");
    EXPECT_TRUE(book.IsModified());
}

// Titles made to share long beginnings, differ only in case, repeat and end early, many enough for
// the sort to split its work and take its arrays from the system; the order must be that of a
// stable sort on the folded bytes.
TEST(NoteBook, SortOfManyTitlesMatchesAStableSortOnFoldedBytes)
{
    const std::vector<std::string> pieces = {"a", "A", "b", "_", "z", "Z", "\xC3\xA9", "meeting notes of ",
                                             "1", ""};
    std::mt19937 rng(11);
    CNoteBook book;
    book.Clear();
    for (int i = 0; i < 100000; ++i) {
        std::string title;
        for (int k = static_cast<int>(rng() % 6); k > 0; --k)
            title += pieces[rng() % pieces.size()];
        book.AddNote(true, false)->SetTitle(title);
    }
    std::vector<std::pair<std::string, std::int32_t>> expected;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        expected.emplace_back(book.GetNoteAtIndex(i)->GetTitle(), book.GetNoteAtIndex(i)->GetSerial());
    const auto folded = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return std::vector<unsigned char>(s.begin(), s.end());
    };
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const auto& x, const auto& y) { return folded(x.first) < folded(y.first); });

    book.SortByTitle();
    ASSERT_EQ(book.GetCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(book.GetNoteAtIndex(i)->GetSerial(), expected[i].second) << "at " << i;
}

TEST(NoteBook, FindNoteFollowsAddRemoveAndClear)
{
    CNoteBook book;
    book.Clear();
    AddTitled(book, {"a", "b", "c"});
    book.RemoveNote(2);
    EXPECT_EQ(book.FindNote(2), nullptr);
    EXPECT_EQ(book.FindNote(3)->GetTitle(), "c");
    EXPECT_EQ(book.FindNote(0), nullptr);
    EXPECT_EQ(book.FindNote(-1), nullptr);
    EXPECT_EQ(book.FindNote(4), nullptr);
    book.Clear();
    EXPECT_EQ(book.FindNote(1), nullptr);
    EXPECT_EQ(book.GetCount(), 0u);
    EXPECT_EQ(book.AddNote(true, false)->GetSerial(), 1);
    EXPECT_EQ(book.FindNote(1), book.GetNoteAtIndex(0));
}
