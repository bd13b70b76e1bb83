#include "platform/CFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr unsigned kWriteMode = CFile::modeCreate | CFile::modeWrite;
constexpr unsigned kReadMode = CFile::modeRead | CFile::shareDenyWrite;

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(File, ShortReadAtTheEndIsNoError)
{
    TempDir dir;
    WriteText(dir.File("a"), "hello");
    CFile file;
    ASSERT_TRUE(file.Open(dir.File("a"), kReadMode));
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(file.Read(buffer, 16), 2u);
    EXPECT_EQ(std::string(buffer, 2), "lo");
    EXPECT_EQ(file.Read(buffer, 16), 0u);
    EXPECT_EQ(file.GetLength(), 5u);
}

TEST(File, CreateTruncatesAndOpenFailuresCarryTheCause)
{
    TempDir dir;
    WriteText(dir.File("a"), "old contents");
    {
        CFile file;
        ASSERT_TRUE(file.Open(dir.File("a"), kWriteMode));
        file.Write("new", 3);
        file.Close();
    }
    std::ifstream in(dir.File("a"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");

    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File("missing"), kReadMode, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, ENOENT);
    EXPECT_FALSE(file.Open(dir.Path().string(), kWriteMode, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.IsOpen());
}

TEST(File, WriteToAFullDiskRaises)
{
    CFile file;
    ASSERT_TRUE(file.Open("/dev/full", CFile::modeWrite | CFile::shareDenyNone));
    try {
        file.Write("x", 1);
        FAIL() << "a write to a full disk must raise";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::diskFull);
        EXPECT_EQ(e.m_lOsError, ENOSPC);
    }
}

TEST(File, SharingRulesBetweenOpeners)
{
    TempDir dir;
    WriteText(dir.File("a"), "data");

    CFile reader;
    ASSERT_TRUE(reader.Open(dir.File("a"), kReadMode));
    CFile secondReader;
    EXPECT_TRUE(secondReader.Open(dir.File("a"), kReadMode)) << "readers share";
    CFile writer;
    CFileException error;
    EXPECT_FALSE(writer.Open(dir.File("a"), kWriteMode, &error)) << "no writer while it is read";
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    // The refused writer did not truncate the file.
    char buffer[8] = {};
    EXPECT_EQ(reader.Read(buffer, 8), 4u);
    reader.Close();
    secondReader.Close();

    ASSERT_TRUE(writer.Open(dir.File("a"), kWriteMode));
    CFile blocked;
    EXPECT_FALSE(blocked.Open(dir.File("a"), kReadMode)) << "nobody opens it while it is written";
    writer.Close();
    EXPECT_TRUE(blocked.Open(dir.File("a"), kReadMode));
}
