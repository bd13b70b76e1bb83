#include "platform/CAncestorStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::shared_ptr<CFileVersion> VersionAt(const std::string& path)
{
    return CFileVersion::StartAt(path, CFileIdentity::Of(path));
}

std::size_t CountIn(const std::string& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(AncestorStore, KeepsTheVersionReadUntilDroppedAndOnlyWhileItsBytesStay)
{
    TempDir dir;
    const std::string book = dir.File("book.pelm");
    const std::string folder = dir.File("state/ancestors");
    std::ofstream(book) << "version one";
    const std::shared_ptr<CFileVersion> one = VersionAt(book);
    // Replaced by a rename before it is kept: the version read is kept all the same, not the new.
    std::ofstream(book + ".new") << "version two";
    ASSERT_EQ(std::rename((book + ".new").c_str(), book.c_str()), 0);
    {
        CAncestorStore store(folder);
        ASSERT_TRUE(store.Keep(one, book));
        const std::string kept = store.GetPath();
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(Contents(kept), "version one");
        struct stat st
        {
        };
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << "the kept versions are the user's alone";

        // Written in place: the link changed with it and is no ancestor any more.
        ASSERT_TRUE(store.Keep(VersionAt(book), book));
        std::ofstream(book, std::ios::trunc) << "version three, longer";
        EXPECT_EQ(store.GetPath(), "");
    }
    EXPECT_TRUE(fs::is_empty(folder)) << "dropped with the store, its lock too";
}

// A store of a process that died leaves its version and an unheld lock; a live store's stay, and so
// does the version of a notebook whose recovery copy may still want it.
TEST(AncestorStore, WhatDeadStoresLeftGoesButForLiveAndSparedVersions)
{
    TempDir dir;
    const std::string folder = dir.File("ancestors");
    const std::string book = dir.File("book.pelm");
    std::ofstream(book) << "x";
    CAncestorStore live(folder);
    ASSERT_TRUE(live.Keep(VersionAt(book), book));
    const std::string dead = folder + "/0123456789abcdef-99999999-1-book.pelm";
    const std::string spared = folder + "/fedcba9876543210-99999999-2-other.pelm";
    std::ofstream(dead) << "x";
    std::ofstream(dead + ".part") << "a copy it was still making";
    std::ofstream(spared) << "x";
    std::ofstream(folder + "/lock-99999999-1.lock") << "0123456789abcdef-99999999-1-book.pelm";
    std::ofstream(folder + "/notes.txt") << "not one of ours";

    CAncestorStore::RemoveLeftBehind(folder, {"fedcba9876543210"});
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(dead + ".part"));
    EXPECT_FALSE(fs::exists(folder + "/lock-99999999-1.lock"));
    EXPECT_TRUE(fs::exists(spared));
    EXPECT_TRUE(fs::exists(folder + "/notes.txt"));
    EXPECT_EQ(Contents(live.GetPath()), "x") << "a live store's version stays";
}

// Where no link can be made, the windows that keep the same bytes share one copy, which goes with
// the last of them: the folder does not grow with the windows.
TEST(AncestorStore, AcrossFileSystemsOneCopyPerVersionIsShared)
{
    TempDir dir;
    const TempDir other("/dev/shm");
    const std::string folder = dir.File("ancestors");
    const std::string book = other.File("book.pelm");
    std::ofstream(book) << "shared bytes";
    if (other.SharesFileSystemWith(dir))
        GTEST_SKIP() << "no second file system here";
    {
        CAncestorStore first(folder);
        CAncestorStore second(folder);
        CAncestorStore third(folder);
        ASSERT_TRUE(first.Keep(VersionAt(book), book));
        ASSERT_TRUE(second.Keep(VersionAt(book), book));
        EXPECT_EQ(first.GetPath(), second.GetPath());
        EXPECT_EQ(Contents(first.GetPath()), "shared bytes");
        EXPECT_EQ(CountIn(folder), 3u) << "one copy and two locks";

        std::ofstream(book, std::ios::trunc) << "other bytes";
        ASSERT_TRUE(third.Keep(VersionAt(book), book));
        EXPECT_NE(third.GetPath(), first.GetPath());
        first.Drop();
        EXPECT_EQ(Contents(second.GetPath()), "shared bytes") << "still kept for the second";
        second.Drop();
        EXPECT_EQ(CountIn(folder), 2u) << "the third's copy and lock";
    }
    EXPECT_TRUE(fs::is_empty(folder));
}
