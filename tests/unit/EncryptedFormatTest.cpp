#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/PassphraseText.h"
#include "support/NoteBookBytes.h"
#include "support/PasswordAnswer.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstring>
#include <vector>

// Files made from docs/encrypted-notebook.md alone, with libsodium and no code of the program, as
// another reader's author would make them.
namespace {

constexpr std::uint32_t kChunk = 4096;
constexpr unsigned char kMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr unsigned char kFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;

template <typename T> void Put(std::string& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A notebook of one note whose file is exactly `size` bytes.
std::string NoteBookOf(std::size_t size)
{
    const auto make = [](std::size_t textSize) {
        NoteBookBytes bytes;
        NoteBookBytes::Header header;
        header.count = 1;
        bytes.Head(header).Note(1, "Title", std::string(textSize, 'x'));
        return bytes.bytes;
    };
    return make(size - (make(100).size() - 100));
}

// The plain bytes sealed in chunks of kChunk with the given tags, the last tag on the last piece;
// an empty final chunk after them when asked. Argon2id with 1 pass and 8 KiB.
std::string Seal(const std::string& plain, const std::string& passphrase, std::vector<unsigned char> tags,
                 bool emptyFinal = false)
{
    EXPECT_GE(sodium_init(), 0);
    std::string header("PELMORAX", 8);
    Put<std::uint32_t>(header, 1);
    Put<std::uint32_t>(header, 2);
    Put<std::uint64_t>(header, 1);
    Put<std::uint64_t>(header, 8192);
    const std::string salt(16, '\x5A');
    header += salt;
    Put<std::uint32_t>(header, kChunk);
    unsigned char key[32];
    // libsodium's Argon2id: one lane, memory 8192 / 1024 = 8 KiB, 32 bytes out.
    EXPECT_EQ(crypto_pwhash(key, sizeof key, passphrase.data(), passphrase.size(),
                            reinterpret_cast<const unsigned char*>(salt.data()), 1, 8192,
                            crypto_pwhash_ALG_ARGON2ID13),
              0);
    crypto_secretstream_xchacha20poly1305_state state;
    unsigned char streamHeader[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&state, streamHeader, key);
    header.append(reinterpret_cast<const char*>(streamHeader), sizeof streamHeader);
    EXPECT_EQ(header.size(), 76u);

    std::string file = header;
    const auto push = [&](const std::string& piece, unsigned char tag) {
        std::vector<unsigned char> sealed(piece.size() + crypto_secretstream_xchacha20poly1305_ABYTES);
        crypto_secretstream_xchacha20poly1305_push(
            &state, sealed.data(), nullptr, reinterpret_cast<const unsigned char*>(piece.data()),
            piece.size(), reinterpret_cast<const unsigned char*>(header.data()), header.size(), tag);
        file.append(reinterpret_cast<const char*>(sealed.data()), sealed.size());
    };
    for (std::size_t at = 0, i = 0; at < plain.size(); at += kChunk, ++i)
        push(plain.substr(at, kChunk), tags.at(i));
    if (emptyFinal)
        push({}, kFinal);
    return file;
}

class EncryptedFormat : public ::testing::Test
{
protected:
    // The message the reader shows for these bytes typed with this passphrase; empty when it opened.
    std::string Open(const std::string& file, const std::string& typed)
    {
        NoteBookBytes{file}.Save(dir.File("book.pelmx"));
        MessageBoxRecorder boxes;
        PasswordAnswer answer(typed);
        const bool read = book.ReadFile(dir.File("book.pelmx"));
        EXPECT_EQ(read, boxes.boxes.empty());
        return boxes.boxes.empty() ? std::string() : boxes.boxes.back().text;
    }

    TempDir dir;
    CNoteBook book;
};

const char kComposed[] = "caf\xC3\xA9 au lait";    // é as one character
const char kDecomposed[] = "cafe\xCC\x81 au lait"; // e and a combining acute

} // namespace

TEST_F(EncryptedFormat, AnEmptyFinalChunkOpensAndPushOrRekeyTagsAreRefused)
{
    const std::string plain = NoteBookOf(2 * kChunk);
    ASSERT_EQ(plain.size(), 2 * kChunk);
    EXPECT_EQ(Open(Seal(plain, kComposed, {kMessage, kMessage}, true), kComposed), "");
    ASSERT_EQ(book.GetCount(), 1u);
    EXPECT_EQ(book.GetNoteAt(1)->GetTitle(), "Title");
    EXPECT_GT(book.GetNoteAt(1)->GetText().size(), kChunk);
    EXPECT_EQ(Open(Seal(plain, kComposed, {kMessage, kFinal}), kComposed), "") << "a full final chunk";

    const std::string damaged = CEncryptedFile::Message(CEncryptedFile::Result::Damaged);
    EXPECT_EQ(Open(Seal(plain, kComposed, {crypto_secretstream_xchacha20poly1305_TAG_PUSH, kMessage}, true),
                   kComposed),
              damaged);
    EXPECT_EQ(Open(Seal(plain, kComposed, {kMessage, crypto_secretstream_xchacha20poly1305_TAG_REKEY}, true),
                   kComposed),
              damaged);
    EXPECT_EQ(Open(Seal(plain, kComposed, {kMessage, kMessage}), kComposed),
              CEncryptedFile::Message(CEncryptedFile::Result::Truncated));
}

TEST_F(EncryptedFormat, ThePassphraseIsNormalizedAndOldFilesStillOpen)
{
    const std::string plain = NoteBookOf(kChunk + 100);
    // The key is made from the NFC form, however the passphrase is typed.
    EXPECT_EQ(Open(Seal(plain, kComposed, {kMessage, kFinal}), kDecomposed), "");
    EXPECT_EQ(book.GetSecret()->GetPassphrase().View(), kComposed) << "the next save uses the NFC form";
    EXPECT_EQ(Open(Seal(plain, kComposed, {kMessage, kFinal}), kComposed), "");
    // A file whose key was made from the decomposed bytes, before passphrases were normalized.
    EXPECT_EQ(Open(Seal(plain, kDecomposed, {kMessage, kFinal}), kDecomposed), "");
    EXPECT_NE(Open(Seal(plain, kComposed, {kMessage, kFinal}), "cafe au lait"), "");

    // A new passphrase gets its key from the NFC bytes.
    const auto secret = CNoteBookSecret::Create(CSecureBytes(std::string_view(kDecomposed)), {1, 8192});
    ASSERT_TRUE(secret);
    unsigned char key[32];
    const CSealKey::Salt& salt = secret->GetKey().GetSalt();
    ASSERT_EQ(crypto_pwhash(key, sizeof key, kComposed, std::strlen(kComposed), salt.data(), 1, 8192,
                            crypto_pwhash_ALG_ARGON2ID13),
              0);
    EXPECT_EQ(std::memcmp(key, secret->GetKey().GetKey(), sizeof key), 0);
}

TEST(PassphraseText, CharactersAreCountedNotBytes)
{
    const auto count = [](const char* text) {
        return PassphraseCharacters(CSecureBytes(std::string_view(text)));
    };
    EXPECT_EQ(count("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"), 4u); // 日本語の
    EXPECT_EQ(count("\xF0\x9F\x98\x80\xF0\x9F\x98\x80"), 2u);                 // two emoji
    EXPECT_EQ(count(kDecomposed), 12u) << "e and its accent are one character";
    EXPECT_EQ(count("pass\xFFword"), 9u) << "a byte that is no UTF-8 counts once";
}
