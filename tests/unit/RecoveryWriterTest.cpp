#include "model/CNoteBook.h"
#include "model/CRecoveryWriter.h"
#include "platform/CMappedFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

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
                                  [&](const CRecoveryWriter::Pieces& put) {
                                      put(typing);
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

// The editor's text goes to the copy piece by piece, never whole, yet the file is byte for byte the
// one a save of the notebook holding that text writes: in UTF-8 and in Windows-1252, ASCII or not,
// pieces cut anywhere between characters, a text longer than the blocks it is converted in.
TEST(RecoveryWriter, TheTypingInPiecesMakesTheBytesASaveWouldWrite)
{
    TempDir dir;
    std::string long1252;
    while (long1252.size() < 300'000)
        long1252 += "Café crème, 5 € \r\n";
    const std::vector<std::string> typings = {"plain ascii", "naïve €uro", long1252, "日本 and é"};
    for (const TextEncoding encoding : {TextEncoding::utf8, TextEncoding::windows1252}) {
        for (const std::string& typing : typings) {
            CNoteBook book;
            book.SetEncoding(encoding);
            book.AddNote(true, true)->SetTitle("first");
            CNote* active = book.AddNote(true, true);
            active->SetTitle("Été");
            active->SetText("stored");
            CRecoveryWriter writer(book, {[&] { return active; },
                                          [&](const CRecoveryWriter::Pieces& put) {
                                              // Cut before every seventh character.
                                              std::size_t from = 0;
                                              for (std::size_t i = 1, n = 0; i <= typing.size(); ++i) {
                                                  const bool starts =
                                                      i == typing.size() ||
                                                      (static_cast<unsigned char>(typing[i]) & 0xC0) != 0x80;
                                                  if (starts && (++n % 7 == 0 || i == typing.size())) {
                                                      put(std::string_view(typing).substr(from, i - from));
                                                      from = i;
                                                  }
                                              }
                                              return true;
                                          }});
            writer.Start(dir.File("copy.pelm"), CRecoveryWriter::CopyPlain);
            ASSERT_EQ(writer.Finish(), CRecoveryWriter::State::Written);

            const bool fits = typing.find("日本") == std::string::npos;
            const auto copied = NotesOf(dir.File("copy.pelm"));
            ASSERT_EQ(copied.size(), 2u);
            EXPECT_EQ(copied[1].second, typing) << "read back whatever the code page";
            if (!fits)
                continue; // a save would ask about the code page first
            active->SetText(typing);
            ASSERT_TRUE(book.WriteFile(dir.File("saved.pelm")));
            EXPECT_EQ(ReadBytes(dir.File("copy.pelm")), ReadBytes(dir.File("saved.pelm")))
                << typing.substr(0, 20) << " in code page " << static_cast<int>(encoding);
        }
    }
}

// A sorted notebook's texts lie anywhere in its file: the copy reads the file mapped whole while it
// is made, holds every note in the list's order, and lets go of the mapping once it is made.
TEST(RecoveryWriter, ACopyOfASortedNotebookReadsItsFileMappedWhole)
{
    TempDir dir;
    CNoteBook written;
    written.Clear();
    for (int i = 0; i < 2000; ++i) {
        CNote* note = written.AddNote(true, false);
        note->SetTitle("note " + std::to_string((i * 7919) % 2000));
        note->SetText(std::string(500, static_cast<char>('a' + i % 26)) + std::to_string(i));
    }
    ASSERT_TRUE(written.WriteFile(dir.File("book.pelm")));
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(dir.File("book.pelm")));
    book.SortByTitle();
    CRecoveryWriter writer(book,
                           {[] { return nullptr; }, [](const CRecoveryWriter::Pieces&) { return false; }});
    writer.Start(dir.File("copy.pelm"), CRecoveryWriter::CopyPlain);
    writer.Step(1);
    ASSERT_NE(book.GetStoredFile(), nullptr);
    EXPECT_TRUE(book.GetStoredFile()->IsMappedWhole());
    ASSERT_EQ(writer.Finish(), CRecoveryWriter::State::Written);
    EXPECT_FALSE(book.GetStoredFile()->IsMappedWhole());

    std::vector<std::pair<std::string, std::string>> expected;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        expected.emplace_back(book.GetNoteAtIndex(i)->GetTitle(), book.GetNoteAtIndex(i)->GetText());
    EXPECT_EQ(NotesOf(dir.File("copy.pelm")), expected);
}
