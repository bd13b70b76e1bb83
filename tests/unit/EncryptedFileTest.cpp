#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "platform/CFile.h"
#include "support/FakeNoteBookFrame.h"
#include "support/NoteBookBytes.h"
#include "support/PasswordAnswer.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/resource.h>

namespace {

const char* const kPassphrase = "correct horse battery";
// The least cost libsodium allows, so that hundreds of opened files take no time; the reader
// takes whatever cost the file names.
const CSealKey::Params kCheap{1, 8192};

class EncryptedFile : public ::testing::Test
{
protected:
    // A plain notebook of these bytes sealed with the cheap key.
    std::string Seal(const std::string& plainBytes)
    {
        NoteBookBytes{plainBytes}.Save(dir.File("plain.pelm"));
        CFile plain;
        CFile out;
        EXPECT_TRUE(plain.Open(dir.File("plain.pelm"), CFile::modeRead));
        EXPECT_TRUE(out.Open(dir.File("book.pelmx"), CFile::modeCreate | CFile::modeWrite));
        CEncryptedFile::Seal(plain, out, *CSealKey::Derive(CSecureBytes(kPassphrase), kCheap));
        out.Close();
        return NoteBookBytes::Load(dir.File("book.pelmx"));
    }

    // Opens these bytes as a file; the message shown, empty when it opened.
    std::string Open(const std::string& bytes, const std::string& passphrase = kPassphrase)
    {
        NoteBookBytes{bytes}.Save(dir.File("try.pelmx"));
        MessageBoxRecorder boxes;
        PasswordAnswer answer(passphrase);
        CNoteBook book;
        const bool read = book.ReadFile(dir.File("try.pelmx"));
        asked = !answer.prompts.empty();
        EXPECT_EQ(read, boxes.boxes.empty());
        EXPECT_TRUE(read || book.GetCount() == 0u) << "a failed read opens nothing";
        return boxes.boxes.empty() ? std::string() : boxes.boxes.back().text;
    }

    static std::string Notes(int count, std::size_t textSize)
    {
        NoteBookBytes::Header header;
        header.count = static_cast<std::uint32_t>(count);
        NoteBookBytes bytes;
        bytes.Head(header);
        for (int i = 0; i < count; ++i)
            bytes.Note(i + 1, "Title " + std::to_string(i),
                       std::string(textSize, static_cast<char>('a' + i)));
        return bytes.bytes;
    }

    TempDir dir;
    bool asked = false;
};

} // namespace

TEST_F(EncryptedFile, SavedAndOpenedWithNoByteOfTheNotesInTheFile)
{
    CNoteBook book;
    CNote* note = book.AddNote(true, true);
    note->SetTitle("Diary of Ulrike");
    note->SetText("the combination is 7351");
    book.SetPassword("gatekeeper");
    book.SetSecret(CNoteBookSecret::Create(CSecureBytes(kPassphrase), kCheap));
    ASSERT_TRUE(book.WriteFile(dir.File("book.pelmx")));
    const std::string sealed = NoteBookBytes::Load(dir.File("book.pelmx"));
    for (const char* secret : {"Diary", "Ulrike", "7351", "combination", "gatekeeper", kPassphrase})
        EXPECT_EQ(sealed.find(secret), std::string::npos) << secret;
    EXPECT_EQ(book.GetSecret()->GetKey().GetParams().memLimit, CSealKey::Params::Default().memLimit)
        << "saved with Pelmora's own cost";

    {
        // The passphrase first, then the notebook's own password inside.
        FakeNoteBookFrame frame;
        frame.passwords = {kPassphrase, "gatekeeper"};
        CNoteBook again;
        ASSERT_TRUE(again.ReadFile(dir.File("book.pelmx")));
        EXPECT_EQ(again.GetNoteAtIndex(0)->GetText(), "the combination is 7351");
        EXPECT_EQ(again.GetPath().GetPath(), dir.File("book.pelmx"));
        EXPECT_EQ(again.GetSecret()->GetPassphrase().View(), kPassphrase);
    }
    MessageBoxRecorder boxes;
    PasswordAnswer answer("gatekeeper");
    CNoteBook again;
    EXPECT_FALSE(again.ReadFile(dir.File("book.pelmx")));
    EXPECT_EQ(boxes.boxes.back().text,
              CEncryptedFile::Message(CEncryptedFile::Result::WrongPassphraseOrDamaged));

    rlimit core{};
    ASSERT_EQ(::getrlimit(RLIMIT_CORE, &core), 0);
    EXPECT_EQ(core.rlim_cur, 0u) << "no core dump while a passphrase is in memory";
}

TEST_F(EncryptedFile, EveryFlippedByteOfASmallFileFailsCleanly)
{
    const std::string sealed = Seal(Notes(2, 40));
    ASSERT_EQ(Open(sealed), "");
    for (std::size_t at = 0; at < sealed.size(); ++at) {
        std::string damaged = sealed;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
        EXPECT_NE(Open(damaged), "") << "byte " << at;
    }
}

TEST_F(EncryptedFile, TruncationAtEveryChunkAndADroppedFinalChunkFail)
{
    // Two full chunks and a short last one.
    const std::string sealed = Seal(Notes(5, 500 * 1024));
    const std::size_t chunk = CEncryptedFile::kChunkSize + 17;
    ASSERT_EQ((sealed.size() - CEncryptedFile::kHeaderSize) / chunk, 2u);
    const std::string truncated = CEncryptedFile::Message(CEncryptedFile::Result::Truncated);
    for (std::size_t end = CEncryptedFile::kHeaderSize; end < sealed.size(); end += chunk)
        EXPECT_EQ(Open(sealed.substr(0, end)), truncated) << end;
    // No chunk ends where the file does: told from the length, before the key is made.
    for (const std::size_t end :
         {CEncryptedFile::kHeaderSize, CEncryptedFile::kHeaderSize + 1, CEncryptedFile::kHeaderSize + 16,
          CEncryptedFile::kHeaderSize + chunk + 9}) {
        EXPECT_EQ(Open(sealed.substr(0, end)), truncated) << end;
        EXPECT_FALSE(asked) << end;
    }
    EXPECT_EQ(Open(sealed.substr(0, 40)), truncated) << "inside the header";
    EXPECT_NE(Open(sealed.substr(0, sealed.size() - 1)), "") << "inside the final chunk";
    EXPECT_EQ(Open(sealed + "x"), CEncryptedFile::Message(CEncryptedFile::Result::Damaged))
        << "after the end";
    EXPECT_EQ(Open(sealed, "wrong passphrase"),
              CEncryptedFile::Message(CEncryptedFile::Result::WrongPassphraseOrDamaged));
}

TEST_F(EncryptedFile, HostileCostsAreRefusedBeforeThePassphraseIsAsked)
{
    const std::string sealed = Seal(Notes(1, 10));
    const auto with = [&](std::size_t at, std::uint64_t value, std::size_t size) {
        std::string hostile = sealed;
        std::memcpy(&hostile[at], &value, size);
        return hostile;
    };
    const std::string absurd = CEncryptedFile::Message(CEncryptedFile::Result::AbsurdParameters);
    for (const std::string& hostile :
         {with(24, std::uint64_t{1} << 40, 8), with(24, 4096, 8), with(16, 1000, 8), with(16, 0, 8),
          with(48, 0x7FFFFFFF, 4), with(48, 16, 4)}) {
        EXPECT_EQ(Open(hostile), absurd);
        EXPECT_FALSE(asked) << "refused before any work";
    }
    EXPECT_EQ(Open(with(8, 2, 4)), CEncryptedFile::Message(CEncryptedFile::Result::NewerVersion));
}
