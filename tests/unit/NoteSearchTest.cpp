#include "model/CFileOrder.h"
#include "model/CNoteBook.h"
#include "support/NoteBookBytes.h"
#include "support/NoteFill.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"
#include "text/CFindAll.h"
#include "text/CNoteSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

TEST(NoteSearch, TitleHitComesBeforeItsTextHitsAndOverlapsCount)
{
    CNoteBook book;
    book.Clear();
    AddNote(book, "first", "nothing here");
    CNote* aa = AddNote(book, "Aardvark", "aaaa");
    CNoteSearch search;
    EXPECT_EQ(search.Search(&book, "aa"), 4);
    EXPECT_EQ(search.GetCurrentHit()->kind, SearchHit::Title);
    EXPECT_EQ(search.GetCurrentHit()->serial, aa->GetSerial());
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(search.Search(&book, "aa"), 4);
        EXPECT_EQ(search.GetCurrentHit()->kind, SearchHit::Text);
        EXPECT_EQ(search.GetCurrentHit()->position, i - 1);
        EXPECT_EQ(search.GetCurrentIndex(), static_cast<std::size_t>(i));
    }
    // A title with the text twice is still one hit.
    AddNote(book, "aa aa", "");
    EXPECT_EQ(search.Search(&book, "zz"), 0);
    EXPECT_EQ(search.Search(&book, "AA"), 5);
}

TEST(NoteSearch, RepeatedSearchWalksAndStartsOver)
{
    MessageBoxRecorder boxes;
    CNoteBook book;
    book.Clear();
    AddNote(book, "one", "Note, note");
    AddNote(book, "two", "a NOTE");
    CNoteSearch search;
    ASSERT_EQ(search.Search(&book, "note"), 3);
    EXPECT_EQ(search.GetCurrentHit()->position, 0);
    search.Search(&book, "NOTE"); // another spelling is the same search
    EXPECT_EQ(search.GetCurrentHit()->position, 6);
    search.Search(&book, "Note");
    EXPECT_EQ(search.GetCurrentHit()->serial, 2);
    EXPECT_TRUE(boxes.boxes.empty());
    search.Search(&book, "note");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "End of search results reached.  Starting over");
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_ICONINFORMATION));
    EXPECT_EQ(search.GetCurrentIndex(), 0u);

    // A new text, or the same text on another notebook, starts at the first hit.
    search.Search(&book, "note");
    search.Search(&book, "not");
    EXPECT_EQ(search.GetCurrentIndex(), 0u);
    CNoteBook other;
    other.Clear();
    AddNote(other, "x", "not not");
    search.Search(&other, "not");
    EXPECT_EQ(search.GetCurrentIndex(), 0u);
}

TEST(NoteSearch, ExactlyOneHitShowsTheBoxOnEveryFurtherPress)
{
    MessageBoxRecorder boxes;
    CNoteBook book;
    book.Clear();
    AddNote(book, "t", "unique");
    CNoteSearch search;
    search.Search(&book, "uniq");
    search.Search(&book, "uniq");
    search.Search(&book, "UNIQ");
    EXPECT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(search.GetCurrentIndex(), 0u);
}

TEST(NoteSearch, AccentsMatchExactlyAndTheRepeatFoldsOnlyAToZAsTheSortDoes)
{
    MessageBoxRecorder boxes;
    CNoteBook book;
    book.Clear();
    AddNote(book, "t", "caf\xC3\xA9 CAF\xC3\x89 caf\xC3\xA9");
    CNoteSearch search;
    EXPECT_EQ(search.Search(&book, "caf\xC3\xA9"), 2);
    search.Search(&book, "CAF\xC3\xA9");
    EXPECT_EQ(search.GetCurrentIndex(), 1u) << "C, A and F fold: the same search";
    EXPECT_EQ(search.Search(&book, "CAF\xC3\x89"), 1);
    EXPECT_EQ(search.GetCurrentIndex(), 0u) << "\xC3\x89 is another letter than \xC3\xA9: a new search";
    EXPECT_TRUE(boxes.boxes.empty());

    // One fold for both: equal here exactly when the sort finds the titles equal.
    const std::pair<const char*, const char*> pairs[] = {{"Zed", "zED"},
                                                         {"\xC5\xA0koda", "\xC5\xA1koda"},
                                                         {"\xC3\x86", "\xC3\xA6"},
                                                         {"abc", "abcd"},
                                                         {"_", "_"}};
    const bool same[] = {true, false, false, false, true};
    for (std::size_t i = 0; i < std::size(pairs); ++i) {
        EXPECT_EQ(CNoteSearch::SameTextIgnoringCase(pairs[i].first, pairs[i].second), same[i])
            << pairs[i].first;
        EXPECT_EQ(CNoteBook::CompareTitles(pairs[i].first, pairs[i].second) == 0, same[i]) << pairs[i].first;
    }
}

TEST(NoteSearch, HitsFollowEditsBetweenPresses)
{
    MessageBoxRecorder boxes;
    CNoteBook book;
    book.Clear();
    CNote* note = AddNote(book, "t", "one word");
    CNoteSearch search;
    EXPECT_EQ(search.Search(&book, "word"), 1);
    note->SetText("word word word");
    EXPECT_EQ(search.Search(&book, "word"), 3);
    EXPECT_EQ(search.GetCurrentIndex(), 1u);
    book.RemoveNote(note->GetSerial());
    EXPECT_EQ(search.Search(&book, "word"), 0);
    EXPECT_EQ(search.GetCurrentHit(), nullptr);
}

// Every occurrence in order, found without the search: a title once, then each text position.
std::vector<std::pair<int, int>> NaiveOccurrences(const CNoteBook& book, const std::string& word)
{
    std::vector<std::pair<int, int>> found; // serial, text position or -1 for the title
    const auto lower = [](std::string s) {
        for (char& c : s)
            c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
        return s;
    };
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        if (lower(note.GetTitle()).find(lower(word)) != std::string::npos)
            found.emplace_back(note.GetSerial(), -1);
        const std::string text = lower(note.GetText());
        for (auto at = text.find(lower(word)); at != std::string::npos; at = text.find(lower(word), at + 1))
            found.emplace_back(note.GetSerial(), static_cast<int>(at));
    }
    return found;
}

TEST(NoteSearch, PressesVisitEveryOccurrenceInOrderWhetherOrNotNotesChange)
{
    MessageBoxRecorder boxes;
    std::mt19937 rng(3);
    CNoteBook book;
    book.Clear();
    const auto randomText = [&rng](int length) {
        std::string s;
        for (int i = 0; i < length; ++i)
            s += "aAb "[rng() % 4];
        return s;
    };
    for (int i = 0; i < 30; ++i)
        AddNote(book, randomText(3), randomText(static_cast<int>(rng() % 40)));
    CNoteSearch search;
    std::size_t place = 0;
    for (int press = 0; press < 400; ++press) {
        if (press % 50 == 49) // a change between presses: the place is kept, the rest recounted
            book.GetNoteAtIndex(rng() % 30)->SetText(randomText(20));
        const auto expected = NaiveOccurrences(book, "aa");
        ASSERT_EQ(search.Search(&book, press % 2 ? "AA" : "aA"), static_cast<int>(expected.size()));
        if (press > 0)
            place = place + 1 < expected.size() ? place + 1 : 0;
        ASSERT_EQ(search.GetCurrentIndex(), place) << press;
        const SearchHit* hit = search.GetCurrentHit();
        const auto& [serial, position] = expected[place];
        ASSERT_EQ(hit->serial, serial) << press;
        ASSERT_EQ(hit->kind == SearchHit::Title ? -1 : hit->position, position) << press;
    }
    EXPECT_GE(boxes.boxes.size(), 2u) << "the walk went round more than once";
}

namespace {

// A notebook file of texts of every kind, each long enough to stay in the file when it is opened.
NoteBookBytes MixedFile(std::mt19937& random)
{
    static const char* const words[] = {"the",          "cafe\xCC\x81", "caf\xC3\xA9", "Eel",   "e",
                                        "na\xC3\xAFve", "\xE2\x82\xAC", "THE",         "theme", "x"};
    const std::size_t notes = 300;
    NoteBookBytes::Header header;
    header.count = notes;
    NoteBookBytes file;
    file.Head(header);
    for (std::size_t n = 0; n < notes; ++n) {
        std::string text;
        const std::size_t length = 20 + random() % (n % 50 == 0 ? 20000 : 200);
        while (text.size() < length)
            text += std::string(words[random() % 10]) + (random() % 7 == 0 ? "\n" : " ");
        // Every tenth note in Windows-1252, as older files hold them: é is E9 there, and no € or
        // decomposed accent is kept.
        if (n % 10 == 3)
            text = std::string(length, 'e') + " caf\xE9 th\xE9" + "the";
        file.Note(static_cast<std::int32_t>(n + 1), "note " + std::to_string(n) + (n % 4 ? "" : " the"),
                  text);
    }
    return file;
}

} // namespace

// Texts still in the file are searched without being kept, and found as the read ones are: the
// same count, and the same hits stepped through.
TEST(NoteSearch, TextsStillInTheFileAreFoundAsReadTextsAre)
{
    TempDir dir;
    std::mt19937 random(26);
    MixedFile(random).Save(dir.File("mixed.pelm"));
    CNoteBook stored;
    CNoteBook read;
    ASSERT_TRUE(stored.ReadFile(dir.File("mixed.pelm")));
    ASSERT_TRUE(read.ReadFile(dir.File("mixed.pelm")));
    for (std::size_t i = 0; i < read.GetCount(); ++i)
        read.GetNoteAtIndex(i)->GetText();

    for (const char* word : {"the", "e", "caf\xC3\xA9", "\xE2\x82\xAC", "na\xC3\xAFve", "theme", "absent"}) {
        CNoteSearch inStored;
        CNoteSearch inRead;
        const int count = inRead.Search(&read, word);
        ASSERT_EQ(inStored.Search(&stored, word), count) << word;
        for (int step = 0; step < 40 && count > 0; ++step) {
            ASSERT_EQ(inStored.GetCurrentHit()->serial - stored.GetNoteAtIndex(0)->GetSerial(),
                      inRead.GetCurrentHit()->serial - read.GetNoteAtIndex(0)->GetSerial())
                << word << " step " << step;
            ASSERT_EQ(inStored.GetCurrentHit()->position, inRead.GetCurrentHit()->position) << word;
            inStored.Search(&stored, word);
            inRead.Search(&read, word);
        }
    }
    // Find All reads texts the same way, on both cores.
    for (const char* word : {"the", "caf\xC3\xA9", "\xE2\x82\xAC"}) {
        CFindAll inStored;
        CFindAll inRead;
        ASSERT_TRUE(inStored.Start(word, {}));
        ASSERT_TRUE(inRead.Start(word, {}));
        while (inStored.Step(stored, CFindAll::Clock::now()) == CFindAll::State::Running) {
        }
        while (inRead.Step(read, CFindAll::Clock::now()) == CFindAll::State::Running) {
        }
        ASSERT_EQ(inStored.GetResults().size(), inRead.GetResults().size()) << word;
        EXPECT_EQ(inStored.GetOccurrenceCount(), inRead.GetOccurrenceCount()) << word;
        for (std::size_t i = 0; i < inRead.GetResults().size(); ++i) {
            EXPECT_EQ(inStored.GetResults()[i].index, inRead.GetResults()[i].index) << word;
            EXPECT_EQ(inStored.GetResults()[i].first.start, inRead.GetResults()[i].first.start) << word;
            EXPECT_EQ(inStored.GetResults()[i].first.line, inRead.GetResults()[i].first.line) << word;
        }
    }
    // Only the notes stepped into were read.
    std::size_t stillStored = 0;
    for (std::size_t i = 0; i < stored.GetCount(); ++i)
        stillStored += stored.GetNoteAtIndex(i)->HasStoredText() ? 1 : 0;
    EXPECT_GT(stillStored, stored.GetCount() / 2);
}

// A file written in place under the open notebook: the texts not yet read are lost, and the search
// counts none of the other file's bytes as theirs.
TEST(NoteSearch, TextsOfAFileWrittenInPlaceAreNotSearched)
{
    TempDir dir;
    const auto write = [&](const std::string& text) {
        NoteBookBytes::Header header;
        header.count = 2;
        NoteBookBytes file;
        file.Head(header).Note(1, "one", text).Note(2, "two", text);
        file.Save(dir.File("book.pelm"));
    };
    write("alpha beta gamma delta");
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(dir.File("book.pelm")));
    CNoteSearch search;
    EXPECT_EQ(search.Search(&book, "alpha"), 2);

    // The first hit's note was read by the press; the other text is still in the file.
    ASSERT_FALSE(book.GetNoteAtIndex(0)->HasStoredText());
    ASSERT_TRUE(book.GetNoteAtIndex(1)->HasStoredText());

    write("alpha alpha alpha alph"); // the same length: only the times tell
    CNoteSearch again;
    EXPECT_EQ(again.Search(&book, "alpha"), 1) << "the note read before counts; the lost one does not";
    EXPECT_EQ(book.GetNoteAtIndex(0)->GetText(), "alpha beta gamma delta");
    EXPECT_TRUE(book.GetNoteAtIndex(1)->GetText().empty());
    EXPECT_TRUE(book.GetNoteAtIndex(1)->IsTextLost());
}

// After a sort the texts still in the file are visited in the file's order, not the list's; every
// note's occurrences still count for it, so the first hit is the first in the list.
TEST(NoteSearch, ASortedNotebookIsVisitedInFileOrderAndCountsAsBefore)
{
    // The occurrences of "quince" in a text of this test, which writes it "Quince" or "quince".
    const auto inText = [](const std::string& text) {
        std::size_t found = 0;
        for (std::size_t at = text.find("uince"); at != std::string::npos; at = text.find("uince", at + 1))
            ++found;
        return found;
    };
    TempDir dir;
    std::mt19937 rng(5);
    CNoteBook written;
    written.Clear();
    std::size_t expected = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string text = i % 7 == 0 ? "caf\xC3\xA9 " : "plain ";
        for (std::size_t k = rng() % 4; k > 0; --k, ++expected)
            text += "Quince and ";
        const bool titled = i % 50 == 0;
        expected += titled ? 1 : 0;
        AddNote(written, (titled ? "quince " : "note ") + std::to_string(rng() % 100000), text);
    }
    ASSERT_TRUE(written.WriteFile(dir.File("book.pelm")));
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(dir.File("book.pelm")));
    EXPECT_EQ(CFileOrder::Of(book).size(), 0u) << "as read, the list is in file order";
    EXPECT_EQ(CNoteSearch().Search(&book, "quince"), static_cast<int>(expected));

    book.SortByTitle();
    expected -= inText(book.GetNoteAtIndex(0)->GetText());
    book.GetNoteAtIndex(0)->SetText("quince quince");
    expected += 2;
    const HugePageArray<std::uint32_t> order = CFileOrder::Of(book);
    ASSERT_EQ(order.size(), book.GetCount());
    std::vector<bool> seen(order.size(), false);
    std::uint64_t last = 0;
    bool inMemory = false; // the texts in memory, read or given, come after every text in the file
    for (std::size_t v = 0; v < order.size(); ++v) {
        ASSERT_FALSE(seen[order[v]]);
        seen[order[v]] = true;
        const CNote& note = *book.GetNoteAtIndex(order[v]);
        if (!note.HasStoredText()) {
            inMemory = true;
            continue;
        }
        ASSERT_FALSE(inMemory) << "at " << v;
        ASSERT_GE(note.GetStoredText().body, last) << "at " << v;
        last = note.GetStoredText().body;
    }
    CNoteSearch search;
    EXPECT_EQ(search.Search(&book, "quince"), static_cast<int>(expected));
    EXPECT_EQ(search.GetCurrentHit()->serial, book.GetNoteAtIndex(0)->GetSerial());
    EXPECT_EQ(search.GetCurrentHit()->kind, SearchHit::Text);

    // A press after a change counts again and goes on from where the last one was: the notes
    // ahead of it are skipped by their counts, so each count must be its own note's.
    std::vector<std::int32_t> holders; // the note of each occurrence, in list order
    for (std::size_t i = 0; i < book.GetCount() && holders.size() < 40; ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        if (note.GetTitle().rfind("quince", 0) == 0)
            holders.push_back(note.GetSerial());
        holders.insert(holders.end(), inText(note.GetText()), note.GetSerial());
    }
    for (int press = 1; press < 30; ++press)
        search.Search(&book, "quince");
    book.GetNoteAtIndex(book.GetCount() - 1)->SetText("changed");
    search.Search(&book, "quince");
    EXPECT_EQ(search.GetCurrentIndex(), 30u);
    EXPECT_EQ(search.GetCurrentHit()->serial, holders[30]);

    // With a note gone the order of the notes is made anew: the count follows.
    const CNote& gone = *book.GetNoteAtIndex(book.GetCount() / 2);
    const std::size_t goneCount = (gone.GetTitle().rfind("quince", 0) == 0 ? 1 : 0) + inText(gone.GetText());
    const int withIt = search.Search(&book, "quince");
    book.RemoveNote(gone.GetSerial());
    EXPECT_EQ(CNoteSearch().Search(&book, "quince") + static_cast<int>(goneCount), withIt);
    EXPECT_EQ(search.Search(&book, "quince") + static_cast<int>(goneCount), withIt);
}
