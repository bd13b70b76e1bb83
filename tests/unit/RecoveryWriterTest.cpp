#include "model/CNoteBook.h"
#include "model/CRecoveryWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::vector<std::pair<std::string, std::string>> NotesOf(const std::string& path)
{
    CNoteBook book;
    EXPECT_TRUE(book.ReadFile(path));
    std::vector<std::pair<std::string, std::string>> notes;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        notes.emplace_back(book.GetNoteAtIndex(i)->GetTitle(), book.GetNoteAtIndex(i)->GetText());
    return notes;
}

} // namespace

// The copy is the notebook at one moment, the editor's typing included, however the slices fall.
TEST(RecoveryWriter, TheCopyHoldsTheTypingAndStartsAgainAfterAChange)
{
    TempDir dir;
    CNoteBook book;
    for (const char* title : {"one", "two", "three"})
        book.AddNote(true, true)->SetTitle(title);
    book.GetNoteAtIndex(1)->SetText("stored");
    const CNote* active = book.GetNoteAtIndex(1);
    std::string typing = "typed";
    CRecoveryWriter writer(book, {[&] { return active; },
                                  [&](std::string& text) {
                                      text = typing;
                                      return true;
                                  }});

    writer.Start(dir.File("copy.pelm"), CRecoveryWriter::CopyPlain);
    writer.Step(1); // one note
    EXPECT_EQ(writer.GetState(), CRecoveryWriter::State::Serializing);
    book.GetNoteAtIndex(0)->SetTitle("renamed");
    book.SetModified();
    writer.Step(1);        // starts again: "renamed"
    writer.Step(1);        // the open note, with what the editor holds now
    typing = "typed more"; // after the open note's turn: the next copy has it
    ASSERT_EQ(writer.Finish(), CRecoveryWriter::State::Written);
    using Notes = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(NotesOf(dir.File("copy.pelm")), (Notes{{"renamed", ""}, {"two", "typed"}, {"three", ""}}));
    EXPECT_EQ(book.GetNoteAtIndex(1)->GetText(), "stored") << "the note itself gets the typing only later";

    // A folder that takes no file: the copy fails and says so.
    writer.Start(dir.File("no/such/folder/copy.pelm"), CRecoveryWriter::CopyPlain);
    EXPECT_EQ(writer.Finish(), CRecoveryWriter::State::Failed);
}
