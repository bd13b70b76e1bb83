#include "platform/CAncestorStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(AncestorStore, KeepsTheVersionUntilDroppedAndOnlyWhileItIsUnchanged)
{
    TempDir dir;
    const std::string book = dir.File("book.pelm");
    const std::string folder = dir.File("state/ancestors");
    std::ofstream(book) << "version one";
    {
        CAncestorStore store(folder);
        ASSERT_TRUE(store.Keep(book));
        const std::string kept = store.GetPath();
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(Contents(kept), "version one");

        // Replaced by a rename, as every careful writer does: the kept version stays.
        std::ofstream(book + ".new") << "version two";
        ASSERT_EQ(std::rename((book + ".new").c_str(), book.c_str()), 0);
        EXPECT_EQ(store.GetPath(), kept);
        EXPECT_EQ(Contents(kept), "version one");

        // Written in place: the link changed with it and is no ancestor any more.
        ASSERT_TRUE(store.Keep(book));
        std::ofstream(book, std::ios::trunc) << "version three, longer";
        EXPECT_EQ(store.GetPath(), "");
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "dropped with the store";
}

TEST(AncestorStore, VersionsOfEndedProcessesAreRemovedAndOthersKept)
{
    TempDir dir;
    const std::string folder = dir.File("ancestors");
    std::filesystem::create_directories(folder);
    // No process has a pid this high (the kernel's limit is 4194304); ours is alive.
    std::ofstream(folder + "/0123456789abcdef-99999999-1-book.pelm") << "x";
    const std::string mine = folder + "/0123456789abcdef-" + std::to_string(::getpid()) + "-7-book.pelm";
    std::ofstream(mine) << "x";
    std::ofstream(folder + "/notes.txt") << "not one of ours";
    std::ofstream(folder + "/k-99999999999999999999-1-x.pelm") << "no pid fits";
    CAncestorStore::RemoveLeftBehind(folder);
    EXPECT_FALSE(std::filesystem::exists(folder + "/0123456789abcdef-99999999-1-book.pelm"));
    EXPECT_TRUE(std::filesystem::exists(mine));
    EXPECT_TRUE(std::filesystem::exists(folder + "/notes.txt"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/k-99999999999999999999-1-x.pelm"));
}
