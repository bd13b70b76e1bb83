#include "platform/CFileWindow.h"
#include "platform/CMappedFile.h"
#include "platform/CWholeMapping.h"
#include "support/PageMapped.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Bytes that tell every place from its neighbours for a few megabytes.
std::string Numbered(std::size_t size, char salt)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 251 + static_cast<std::size_t>(salt)) & 0xFF);
    return bytes;
}

std::shared_ptr<CMappedFile> MapFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::shared_ptr<CMappedFile> file = CMappedFile::Map(descriptor);
    ::close(descriptor);
    return file;
}

std::string Seen(CFileWindow& window, const CMappedFile& file, std::uint64_t offset, std::size_t length)
{
    return std::string(reinterpret_cast<const char*>(window.View(file, offset, length)), length);
}

} // namespace

// A pass in file order, jumps back and forth, stretches longer than the window and two files read
// one after the other all see the file's own bytes, whichever of the copy or the mapping holds them.
TEST(FileWindow, EveryViewHoldsTheFilesBytes)
{
    TempDir dir;
    const std::string first = Numbered(3 << 20, 'a');
    const std::string second = Numbered(1 << 20, 'b');
    const std::shared_ptr<CMappedFile> one = MapFile(dir.File("one"), first);
    const std::shared_ptr<CMappedFile> two = MapFile(dir.File("two"), second);
    ASSERT_TRUE(one && two);
    CFileWindow window;
    for (std::uint64_t at = 0; at + 1000 <= first.size(); at += 1000 + at % 7)
        ASSERT_EQ(Seen(window, *one, at, 1000), first.substr(at, 1000)) << at;
    for (std::uint64_t at : {2000000u, 10u, 2999000u, 500000u, 500001u, 1u})
        ASSERT_EQ(Seen(window, *one, at, 900), first.substr(at, 900)) << at;
    ASSERT_EQ(Seen(window, *one, 100, CFileWindow::kSize + 1), first.substr(100, CFileWindow::kSize + 1));
    // Places of another file that the window holds of the first: what it copied is not the other's.
    for (std::uint64_t at = 0; at + 2000 <= second.size(); at += 300000) {
        ASSERT_EQ(Seen(window, *one, at, 500), first.substr(at, 500)) << at;
        ASSERT_EQ(Seen(window, *one, at + 600, 500), first.substr(at + 600, 500)) << at;
        ASSERT_EQ(Seen(window, *two, at + 1200, 500), second.substr(at + 1200, 500)) << at;
        ASSERT_EQ(Seen(window, *two, at + 1800, 100), second.substr(at + 1800, 100)) << at;
        ASSERT_EQ(Seen(window, *one, at + 1300, 100), first.substr(at + 1300, 100)) << at;
    }
    EXPECT_TRUE(one->IsIntact());
    EXPECT_TRUE(two->IsIntact());
}

// A copy that comes up short, the file having been cut, reads zeros there and marks the file
// changed; nothing is read past the end of the memory of the copy.
TEST(FileWindow, AFileCutShortReadsAsZerosAndChanged)
{
    TempDir dir;
    const std::string bytes = Numbered(600000, 'c');
    const std::shared_ptr<CMappedFile> file = MapFile(dir.File("cut"), bytes);
    ASSERT_TRUE(file);
    ASSERT_EQ(::truncate(dir.File("cut").c_str(), 100000), 0);
    CFileWindow window;
    EXPECT_EQ(Seen(window, *file, 99990, 20), bytes.substr(99990, 10) + std::string(10, '\0'));
    EXPECT_FALSE(file->WasIntact());
}

// A file mapped whole for a pass in no order is read where it lies, every view, until it is let
// go of; the pass's pages then no longer count as the process's. Each view holds the file's bytes.
TEST(FileWindow, AFileMappedWholeIsReadWhereItLiesUntilLetGo)
{
    TempDir dir;
    const std::string bytes = Numbered(3 << 20, 'w');
    const std::shared_ptr<CMappedFile> file = MapFile(dir.File("whole"), bytes);
    ASSERT_TRUE(file);
    const std::string path = std::filesystem::canonical(dir.File("whole")).string();
    CFileWindow window;
    {
        const CWholeMapping whole(file, true);
        ASSERT_TRUE(file->IsMappedWhole());
        for (std::uint64_t at : {2000000u, 10u, 2999000u, 10000u, 12000u}) {
            EXPECT_EQ(window.View(*file, at, 900), file->GetData() + at) << at;
            ASSERT_EQ(Seen(window, *file, at, 900), bytes.substr(at, 900)) << at;
        }
        EXPECT_GE(MappedKiB(path), 3 * 1024);
    }
    EXPECT_FALSE(file->IsMappedWhole());
    EXPECT_LT(MappedKiB(path), 64);
    EXPECT_NE(window.View(*file, 40000, 900), file->GetData() + 40000) << "copied again";
    ASSERT_EQ(Seen(window, *file, 40000, 900), bytes.substr(40000, 900));

    const CWholeMapping unwanted(file, false);
    EXPECT_FALSE(file->IsMappedWhole());
    const CWholeMapping none(nullptr, true);

    // Passes that overlap share the mapping; the last one lets go of it.
    auto first = std::make_unique<CWholeMapping>(file, true);
    auto second = std::make_unique<CWholeMapping>(file, true);
    first.reset();
    EXPECT_TRUE(file->IsMappedWhole());
    EXPECT_EQ(window.View(*file, 2500000, 900), file->GetData() + 2500000);
    second.reset();
    EXPECT_FALSE(file->IsMappedWhole());
    EXPECT_LT(MappedKiB(path), 64);
}
