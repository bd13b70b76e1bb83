#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "platform/CMappedFile.h"
#include "platform/CSecureBytes.h"
#include "support/FaultyCalls.h"
#include "support/NoteBookBytes.h"
#include "support/NoteFill.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "text/CReplaceAll.h"
#include "text/CTextReplacer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string Replaced(const std::string& text, const std::string& pattern, const std::string& replacement,
                     CTextMatcher::Options options = {}, std::size_t* count = nullptr)
{
    CTextMatcher matcher;
    EXPECT_TRUE(matcher.Compile(pattern, options));
    CTextReplacer replacer(matcher, replacement);
    std::string out;
    std::size_t found = 0;
    EXPECT_TRUE(replacer.ReplaceAll(text, out, found));
    if (count)
        *count = found;
    return found ? out : text;
}

} // namespace

TEST(TextReplacer, MatchesAsFindAllDoes)
{
    std::size_t count = 0;
    EXPECT_EQ(Replaced("Cat cat CAT concat", "cat", "dog", {}, &count), "dog dog dog condog");
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(Replaced("Cat cat CAT concat", "cat", "dog", {true, false, false}), "Cat dog CAT condog");
    EXPECT_EQ(Replaced("Cat cat CAT concat", "cat", "dog", {false, true, false}), "dog dog dog concat");
    EXPECT_EQ(Replaced("STRASSE and straße", "strasse", "road"), "road and road") << "full case folding";
    EXPECT_EQ(Replaced("a$1b", "$1", "[$1]"), "a[$1]b") << "a plain pattern's replacement is literal";
    EXPECT_EQ(Replaced("nothing here", "cat", "dog", {}, &count), "nothing here");
    EXPECT_EQ(count, 0u);
}

TEST(TextReplacer, RegularExpressionGroups)
{
    const CTextMatcher::Options regex{false, false, true};
    EXPECT_EQ(Replaced("Smith, John\nDoe, Jane", R"((\w+), (\w+))", "$2 $1", regex), "John Smith\nJane Doe");
    EXPECT_EQ(Replaced("x=1 y=22", R"((\w)=(\d+))", "${1}:$0 $$ $", regex), "x:x=1 $ $ y:y=22 $ $");
    EXPECT_EQ(Replaced("ab", "(a)(b)", "$12|$3|${9}", regex), "a2||") << "$12 with two groups is $1 and a 2";
    EXPECT_EQ(Replaced("aXbX", "(?<n>X)", "<$1>", regex), "a<X>b<X>");
    EXPECT_EQ(Replaced("ä ü", R"((\p{L}))", "[$1]", regex), "[ä] [ü]");
}

TEST(ReplaceAll, OneStepThatUndoTakesBackLeavingLaterEditsAlone)
{
    CNoteBook book;
    // What each edit took out, kept once for a run of the same.
    CNote* a = AddNote(book, "cat list", "the Cat sat on the cat mat, cat CAT cat");
    CNote* b = AddNote(book, "other", "no such animal");
    CNote* c = AddNote(book, "third", "a cat");
    const std::string aText = a->GetText();
    book.SetModifiedFlag(false);

    CTextMatcher matcher;
    ASSERT_TRUE(matcher.Compile("cat", {}));
    const CReplaceAll::Outcome counted = CReplaceAll::Count(book, matcher);
    EXPECT_EQ(counted.occurrences, 7);
    EXPECT_EQ(counted.notes, 2);

    CTextReplacer replacer(matcher, "tiger");
    CReplaceAll step;
    const CReplaceAll::Outcome outcome = step.Run(book, replacer);
    EXPECT_EQ(outcome.occurrences, 7);
    EXPECT_EQ(outcome.notes, 2);
    EXPECT_EQ(a->GetTitle(), "tiger list");
    EXPECT_EQ(a->GetText(), "the tiger sat on the tiger mat, tiger tiger tiger");
    EXPECT_EQ(b->GetText(), "no such animal");
    EXPECT_TRUE(book.IsModified());
    ASSERT_TRUE(step.CanUndo());

    c->SetText("a tiger, edited since");
    std::size_t skipped = 0;
    const std::vector<std::int32_t> restored = step.Undo(book, skipped);
    EXPECT_EQ(restored, std::vector<std::int32_t>{a->GetSerial()});
    EXPECT_EQ(skipped, 1u);
    EXPECT_EQ(a->GetTitle(), "cat list");
    EXPECT_EQ(a->GetText(), aText);
    EXPECT_EQ(c->GetText(), "a tiger, edited since") << "a later edit is never thrown away";
    EXPECT_FALSE(step.CanUndo());
}

TEST(ReplaceAll, OnlyTheListedNotesAndARunawayStopsBeforeChangingItsNote)
{
    CNoteBook book;
    CNote* a = AddNote(book, "a", "xx");
    CNote* b = AddNote(book, "b", "xx");
    CTextMatcher matcher;
    ASSERT_TRUE(matcher.Compile("x", {}));
    CTextReplacer replacer(matcher, "y");
    CReplaceAll step;
    EXPECT_EQ(step.Run(book, replacer, {b->GetSerial()}).occurrences, 2);
    EXPECT_EQ(a->GetText(), "xx");
    EXPECT_EQ(b->GetText(), "yy");

    CTextMatcher runaway;
    ASSERT_TRUE(runaway.Compile("(a+)+$", {false, false, true}));
    a->SetTitle("a");
    a->SetText(std::string(40, 'a') + "b");
    CTextReplacer stuck(runaway, "z");
    const CReplaceAll::Outcome outcome = step.Run(book, stuck);
    EXPECT_EQ(outcome.stoppedAt, a->GetSerial());
    EXPECT_EQ(a->GetTitle(), "a") << "title and text change together or not at all";
    EXPECT_EQ(a->GetText(), std::string(40, 'a') + "b");
}

// A notebook opened from a file: only the notes that change are read into memory, and Undo puts
// back the texts as the file held them.
TEST(ReplaceAll, TextsStillInTheFileAreReadOnlyWhereTheyChange)
{
    TempDir dir;
    NoteBookBytes::Header header;
    header.count = 3;
    NoteBookBytes bytes;
    bytes.Head(header)
        .Note(1, "cat list", "the cat sat on the cat mat, twice")
        .Note(2, "cat title only", "no such animal in this text")
        .Note(3, "other", "nothing to see in this one either");
    bytes.Save(dir.File("book.pelm"));
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(dir.File("book.pelm")));

    CTextMatcher matcher;
    ASSERT_TRUE(matcher.Compile("cat", {}));
    EXPECT_EQ(CReplaceAll::Count(book, matcher).occurrences, 4);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(book.GetNoteAtIndex(i)->HasStoredText()) << i;

    CTextReplacer replacer(matcher, "tiger");
    CReplaceAll step;
    EXPECT_EQ(step.Run(book, replacer).occurrences, 4);
    EXPECT_EQ(book.GetNoteAtIndex(0)->GetText(), "the tiger sat on the tiger mat, twice");
    EXPECT_EQ(book.GetNoteAtIndex(1)->GetTitle(), "tiger title only");
    EXPECT_TRUE(book.GetNoteAtIndex(1)->HasStoredText());
    EXPECT_TRUE(book.GetNoteAtIndex(2)->HasStoredText());

    std::size_t skipped = 0;
    EXPECT_EQ(step.Undo(book, skipped).size(), 2u);
    EXPECT_EQ(skipped, 0u);
    EXPECT_EQ(book.GetNoteAtIndex(0)->GetText(), "the cat sat on the cat mat, twice");
    EXPECT_EQ(book.GetNoteAtIndex(1)->GetTitle(), "cat title only");
    EXPECT_EQ(book.GetNoteAtIndex(1)->GetText(), "no such animal in this text");
}

// A sorted notebook's texts lie anywhere in its file: Count and Replace All read it mapped whole,
// change what a notebook read whole changes, and let go of the mapping after.
TEST(ReplaceAllInFile, ASortedNotebookIsReadFromItsFileMappedWhole)
{
    TempDir dir;
    CNoteBook written;
    written.Clear();
    for (int i = 0; i < 2000; ++i)
        AddNote(written, "note " + std::to_string((i * 7919) % 2000),
                std::string(400, 'x') + (i % 4 == 0 ? " cat and cat " : " dog ") + std::to_string(i));
    ASSERT_TRUE(written.WriteFile(dir.File("book.pelm")));
    CNoteBook stored;
    ASSERT_TRUE(stored.ReadFile(dir.File("book.pelm")));
    stored.SortByTitle();

    CTextMatcher matcher;
    ASSERT_TRUE(matcher.Compile("cat", {}));
    EXPECT_EQ(CReplaceAll::Count(stored, matcher).occurrences, 1000);
    EXPECT_FALSE(stored.GetStoredFile()->IsMappedWhole());
    CTextReplacer replacer(matcher, "tiger");
    CReplaceAll step;
    const CReplaceAll::Outcome outcome = step.Run(stored, replacer);
    EXPECT_EQ(outcome.occurrences, 1000);
    EXPECT_EQ(outcome.notes, 500);
    EXPECT_FALSE(stored.GetStoredFile()->IsMappedWhole());
    for (std::size_t i = 0; i < stored.GetCount(); ++i) {
        const std::string& text = stored.GetNoteAtIndex(i)->GetText();
        ASSERT_EQ(text.find("cat"), std::string::npos) << i;
        ASSERT_EQ(text.find("tiger") != std::string::npos, text.find("dog") == std::string::npos) << i;
    }
}

// A pass put back part way, as Cancel does, leaves each note as the file held it, its code page
// included, and the step before it still undoable.
TEST(ReplaceAll, APassPutBackPartWayLeavesTheNotesAsReadAndTheStepBefore)
{
    TempDir dir;
    NoteBookBytes::Header header;
    header.count = 4;
    NoteBookBytes bytes;
    bytes.Head(header)
        .Note(1, "cat list", "caf\xe9 and cat")
        .Note(2, "dog", "a dog")
        .Note(3, "cat three", "cat")
        .Note(4, "four", "cat, cat");
    bytes.Save(dir.File("book.pelm"));
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(dir.File("book.pelm")));
    CNote* first = book.GetNoteAtIndex(0);
    const std::string firstText = first->GetText();
    const auto codePages = std::make_pair(first->GetTitleCodePage(), first->GetTextCodePage());
    ASSERT_TRUE(codePages.second.has_value()) << "read as Windows-1252";

    CTextMatcher dogs;
    ASSERT_TRUE(dogs.Compile("dog", {}));
    CTextReplacer wolves(dogs, "wolf");
    CReplaceAll step;
    ASSERT_EQ(step.Run(book, wolves).notes, 1);
    book.SetModifiedFlag(false);

    CTextMatcher cats;
    ASSERT_TRUE(cats.Compile("cat", {}));
    CTextReplacer tigers(cats, "tiger");
    step.Start(book);
    EXPECT_EQ(step.GetTotal(), 4u);
    EXPECT_TRUE(step.Continue(book, tigers, 3));
    EXPECT_EQ(step.GetDone(), 3u);
    EXPECT_EQ(first->GetTitle(), "tiger list");
    EXPECT_FALSE(first->GetTextCodePage().has_value()) << "an edited text takes the notebook's";
    EXPECT_EQ(book.GetNoteAtIndex(2)->GetText(), "tiger");
    EXPECT_EQ(book.GetNoteAtIndex(3)->GetText(), "cat, cat") << "not reached yet";

    step.StartUndo(book);
    EXPECT_EQ(step.GetTotal(), 2u) << "two notes changed so far";
    EXPECT_TRUE(step.ContinueUndo(book, 1));
    EXPECT_FALSE(step.ContinueUndo(book, 1));
    std::size_t skipped = 0;
    EXPECT_EQ(step.FinishUndo(book, skipped).size(), 2u);
    EXPECT_EQ(first->GetTitle(), "cat list");
    EXPECT_EQ(first->GetText(), firstText);
    EXPECT_EQ(std::make_pair(first->GetTitleCodePage(), first->GetTextCodePage()), codePages);
    EXPECT_EQ(book.GetNoteAtIndex(2)->GetText(), "cat");
    EXPECT_FALSE(book.IsModified());

    ASSERT_TRUE(step.CanUndo()) << "the step before";
    EXPECT_EQ(step.Undo(book, skipped).size(), 1u);
    EXPECT_EQ(book.GetNoteAtIndex(1)->GetTitle(), "dog");
    EXPECT_EQ(book.GetNoteAtIndex(1)->GetText(), "a dog");
}

// Changed texts leave memory for files of the process's own, a batch at a time. Held against the
// same pass keeping them in memory: they read, save, undo and count as unstorable the same, and a
// change of the notebook's file loses only the texts still in it.
TEST(ReplaceAllInFile, TextsMovedOutOfMemoryActAsTextsKeptInIt)
{
    TempDir dir;
    const std::string filler(80, '.');
    NoteBookBytes::Header header;
    header.count = 5;
    NoteBookBytes bytes;
    bytes.Head(header)
        .Note(1, "cat list", "the cat sat" + filler)
        .Note(2, "Men\xfc", "caf\xe9 cat" + filler)
        .Note(3, "utf", "na\xc3\xafve cat" + filler)
        .Note(4, "short", "cat")
        .Note(5, "dog", "no such animal" + filler);
    bytes.Save(dir.File("book.pelm"));
    CNoteBook moved, kept, full, sealed;
    for (CNoteBook* book : {&moved, &kept, &full, &sealed})
        ASSERT_TRUE(book->ReadFile(dir.File("book.pelm")));
    sealed.SetSecret(CNoteBookSecret::Create(CSecureBytes(std::string_view("correct horse")), {1, 8192}));

    CTextMatcher cats;
    ASSERT_TRUE(cats.Compile("cat", {}));
    CTextReplacer tigers(cats, "tig\xc3\xa9r");
    std::filesystem::create_directory(dir.File("tmp"));
    ScopedEnv temporary;
    temporary.Set("TMPDIR", dir.File("tmp"));
    CReplaceAll spilling(200);
    CReplaceAll holding(SIZE_MAX);
    EXPECT_EQ(holding.Run(kept, tigers).notes, 4);
    EXPECT_EQ(spilling.Run(moved, tigers).notes, 4);
    EXPECT_EQ(moved.GetTextFileCount(), 2u) << "batches of 200 bytes";
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("tmp"))) << "the files have no name";
    {
        FaultyCalls diskFull(
            [](const std::string& call, const std::string&) { return call == "Write" ? ENOSPC : 0; });
        CReplaceAll(200).Run(full, tigers);
    }
    CReplaceAll(200).Run(sealed, tigers);
    std::string scratch[2];
    for (std::size_t i = 0; i < 5; ++i) {
        const CNote& note = *moved.GetNoteAtIndex(i);
        const CNote& same = *kept.GetNoteAtIndex(i);
        EXPECT_EQ(note.HasStoredText(), i != 3) << i;
        const std::string expected(same.ReadText(scratch[0]));
        EXPECT_EQ(note.ReadText(scratch[0]), expected) << i;
        EXPECT_EQ(note.GetTitleCodePage(), same.GetTitleCodePage()) << i;
        EXPECT_EQ(note.GetTextCodePage(), same.GetTextCodePage()) << i;
        // A full disk, and an encrypted notebook always, keep the new texts in memory.
        for (const CNoteBook* inMemory : {&full, &sealed}) {
            EXPECT_EQ(inMemory->GetNoteAtIndex(i)->HasStoredText(), i == 4) << i;
            EXPECT_EQ(inMemory->GetNoteAtIndex(i)->ReadText(scratch[1]), expected) << i;
            EXPECT_EQ(inMemory->GetTextFileCount(), 0u);
        }
    }

    // Another program writes into the notebook's file: the unchanged note's text is lost in both.
    {
        std::fstream file(dir.File("book.pelm"), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(-1, std::ios::end);
        file.put('!');
    }
    for (CNoteBook* book : {&moved, &kept}) {
        const std::vector<const CNote*> lost = book->FindLostTexts();
        ASSERT_EQ(lost.size(), 1u);
        EXPECT_EQ(lost[0]->GetTitle(), "dog");
        book->GiveUpLostTexts();
        ASSERT_TRUE(book->WriteFile(dir.File(book == &moved ? "moved.pelm" : "kept.pelm")));
    }
    EXPECT_EQ(NoteBookBytes::Load(dir.File("moved.pelm")), NoteBookBytes::Load(dir.File("kept.pelm")));
    EXPECT_EQ(moved.GetTextFileCount(), 0u) << "every text now reads from the file saved";

    std::size_t skipped = 0;
    EXPECT_EQ(spilling.Undo(moved, skipped).size(), holding.Undo(kept, skipped).size());
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(moved.GetNoteAtIndex(i)->GetText(), kept.GetNoteAtIndex(i)->GetText()) << i;

    // A text moved out holding a character the notebook's code page lacks is found before a save.
    CTextMatcher sat;
    ASSERT_TRUE(sat.Compile("sat", {}));
    CTextReplacer marked(sat, "sat \xe2\x9c\x93");
    ASSERT_EQ(spilling.Run(moved, marked).notes, 1);
    ASSERT_TRUE(moved.GetNoteAtIndex(0)->HasStoredText());
    const CNote* unstorable = nullptr;
    EXPECT_TRUE(moved.FindUnstorable(unstorable));
    EXPECT_EQ(unstorable, moved.GetNoteAtIndex(0));

    // Cancelled while a note's new text waits in a batch: put back whole, title and text.
    const std::string title = moved.GetNoteAtIndex(0)->GetTitle();
    const std::string text = moved.GetNoteAtIndex(0)->GetText();
    CTextReplacer lion(cats, "lion");
    spilling.Start(moved);
    EXPECT_TRUE(spilling.Continue(moved, lion, 1));
    EXPECT_NE(moved.GetNoteAtIndex(0)->GetTitle(), title);
    spilling.StartUndo(moved);
    while (spilling.ContinueUndo(moved, 1)) {
    }
    EXPECT_EQ(spilling.FinishUndo(moved, skipped).size(), 1u);
    EXPECT_EQ(moved.GetNoteAtIndex(0)->GetTitle(), title);
    EXPECT_EQ(moved.GetNoteAtIndex(0)->GetText(), text);
}
