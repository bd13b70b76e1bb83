#include "model/CBufferedFile.h"
#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookWriter.h"
#include "model/CSealKey.h"
#include "platform/CSecureBytes.h"
#include "support/NoteBookBytes.h"
#include "support/RecordingCalls.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>
#include <vector>

namespace {

constexpr std::uint64_t kWriteBlock = 256 * 1024;

// Where each write to the file most was written to began, and how much it wrote, in order.
std::vector<std::pair<std::uint64_t, std::uint64_t>> WritesToLargest(const RecordingCalls& calls)
{
    std::map<int, std::uint64_t> bytes;
    for (const RecordingCalls::Op& op : calls.GetOps())
        if (op.kind == RecordingCalls::Kind::Write)
            bytes[op.file] += op.data.size();
    const auto largest = std::max_element(bytes.begin(), bytes.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
    std::vector<std::pair<std::uint64_t, std::uint64_t>> writes;
    for (const RecordingCalls::Op& op : calls.GetOps())
        if (op.kind == RecordingCalls::Kind::Write && op.file == largest->first)
            writes.emplace_back(op.offset, op.data.size());
    return writes;
}

// One after another from start to end, each but the last ending at a multiple of the block.
void ExpectWholeBlocks(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& writes,
                       std::uint64_t start, std::uint64_t end)
{
    ASSERT_FALSE(writes.empty());
    std::uint64_t at = start;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].first, at) << "write " << i;
        at = writes[i].first + writes[i].second;
        if (i + 1 < writes.size()) {
            EXPECT_EQ(at % kWriteBlock, 0u) << "write " << i << " ends inside a block";
        }
    }
    EXPECT_EQ(at, end);
}

} // namespace

// A save's many small records, and a note larger than the buffer, reach the disk as whole blocks,
// so that the system keeps the new file's pages in large pieces.
TEST(BufferedFile, ASaveWritesWholeBlocksAtTheirPlaces)
{
    TempDir folder;
    const std::string path = folder.File("blocks.pelm");
    CNoteBook book;
    for (int i = 0; i < 1500; ++i) {
        CNote* note = book.AddNote(true, true);
        note->SetTitle("note " + std::to_string(i));
        note->SetText(std::string(300 + (i * 7919) % 2000, static_cast<char>('a' + i % 26)));
        if (i == 700)
            note->SetText(std::string(3 * kWriteBlock + 12345, 'L'));
    }
    book.SetModified();
    RecordingCalls calls(folder.Path().string());
    ASSERT_TRUE(CNoteBookWriter(book).Write(path, ""));

    const std::string saved = NoteBookBytes::Load(path);
    ASSERT_GT(saved.size(), 6 * kWriteBlock);
    ExpectWholeBlocks(WritesToLargest(calls), 0, saved.size());

    CNoteBook again;
    ASSERT_TRUE(again.ReadFile(path));
    ASSERT_EQ(again.GetCount(), book.GetCount());
    EXPECT_EQ(again.GetNoteAtIndex(700)->GetText(), book.GetNoteAtIndex(700)->GetText());
    EXPECT_EQ(again.GetNoteAtIndex(1499)->GetText(), book.GetNoteAtIndex(1499)->GetText());
}

// Started inside a block, the first write fills that block up; pieces of every size, some larger
// than the buffer, come out in order, and whole blocks with nothing waiting go out as they are.
TEST(BufferedFile, WritingFromInsideABlockFillsItFirst)
{
    TempDir folder;
    const std::string path = folder.File("pieces");
    std::string expected(100, 'h');
    {
        RecordingCalls calls(folder.Path().string());
        CFile file;
        ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
        file.Write(expected.data(), expected.size());
        CBufferedFile out(file);
        for (std::size_t size = 1; expected.size() < 3 * kWriteBlock; size = size * 3 + 1) {
            const std::string piece(size % (kWriteBlock + 5000), static_cast<char>('a' + size % 26));
            out.Write(piece.data(), piece.size());
            expected += piece;
        }
        const std::string toTheBlock(kWriteBlock - expected.size() % kWriteBlock, 'b');
        const std::string twoBlocksAndMore(2 * kWriteBlock + 7, 'w');
        for (const std::string* piece : {&toTheBlock, &twoBlocksAndMore}) {
            out.Write(piece->data(), piece->size());
            expected += *piece;
        }
        out.FlushBuffer();
        std::vector<std::pair<std::uint64_t, std::uint64_t>> writes = WritesToLargest(calls);
        writes.erase(writes.begin()); // the 100 bytes written before the buffer
        ExpectWholeBlocks(writes, 100, expected.size());
    }
    EXPECT_EQ(NoteBookBytes::Load(path), expected);
}

// Sealed chunks are a few bytes longer than a block; an encrypted notebook goes out in blocks too.
TEST(BufferedFile, AnEncryptedNotebookIsWrittenInWholeBlocks)
{
    TempDir folder;
    const std::string plainPath = folder.File("plain");
    const std::string sealedPath = folder.File("sealed.pelmx");
    {
        std::ofstream plainBytes(plainPath, std::ios::binary);
        for (int i = 0; i < 300000; ++i)
            plainBytes << "line " << i << '\n';
    }
    const CSecureBytes passphrase("a passphrase");
    const auto key = CSealKey::Derive(passphrase, {1, 8192});
    {
        RecordingCalls calls(folder.Path().string());
        CFile plain;
        CFile out;
        ASSERT_TRUE(plain.Open(plainPath, CFile::modeRead));
        ASSERT_TRUE(out.Open(sealedPath, CFile::modeCreate | CFile::modeWrite));
        CEncryptedFile::Seal(plain, out, *key);
        out.Close();
        ExpectWholeBlocks(WritesToLargest(calls), 0, std::filesystem::file_size(sealedPath));
    }
    ASSERT_GT(std::filesystem::file_size(sealedPath), 3 * kWriteBlock);

    CFile sealed;
    CFile opened;
    ASSERT_TRUE(sealed.Open(sealedPath, CFile::modeRead));
    ASSERT_TRUE(opened.OpenInMemory("opened"));
    CEncryptedFile::Header header;
    ASSERT_EQ(CEncryptedFile::ReadHeader(sealed, header), CEncryptedFile::Result::Ok);
    ASSERT_EQ(CEncryptedFile::Unseal(sealed, header,
                                     *CSealKey::Derive(passphrase, header.params, &header.salt), opened),
              CEncryptedFile::Result::Ok);
    opened.SeekToBegin();
    std::string bytes(opened.GetLength(), '\0');
    ASSERT_EQ(opened.Read(bytes.data(), bytes.size()), bytes.size());
    EXPECT_EQ(bytes, NoteBookBytes::Load(plainPath));
}
