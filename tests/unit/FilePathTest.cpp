#include "model/CFilePath.h"

#include <gtest/gtest.h>

TEST(FilePath, DerivesFileAndBaseNames)
{
    struct Case
    {
        const char* path;
        const char* file;
        const char* base;
    };
    const Case cases[] = {
        {"/home/ann/Notes/work.pelm", "work.pelm", "work"},
        {"work.pelm", "work.pelm", "work"},
        {"/notes/a.b.pelm", "a.b.pelm", "a.b"},
        {"/notes/Work.old.pelm", "Work.old.pelm", "Work.old"},
        {"/notes/README", "README", "README"},
        {"/notes/.pelm", ".pelm", ""},
        {"/notes/back\\slash.pelm", "back\\slash.pelm", "back\\slash"},
        {"/notes/dir.d/plain", "plain", "plain"},
    };
    for (const Case& c : cases) {
        CFilePath path;
        ASSERT_TRUE(path.SetPath(c.path));
        EXPECT_EQ(path.GetFileName(), c.file) << c.path;
        EXPECT_EQ(path.GetBaseName(), c.base) << c.path;
    }
}

TEST(FilePath, NewPathReplacesCachedNames)
{
    CFilePath path;
    ASSERT_TRUE(path.SetPath("/a/one.pelm"));
    EXPECT_EQ(path.GetBaseName(), "one");
    ASSERT_TRUE(path.SetPath("/a/two.pelm"));
    EXPECT_EQ(path.GetFileName(), "two.pelm");
    EXPECT_EQ(path.GetBaseName(), "two");
    path.Clear();
    EXPECT_FALSE(path.HasPath());
    EXPECT_EQ(path.GetFileName(), "");
}

TEST(FilePath, LongPathsUpToTheSystemLimit)
{
    CFilePath path;
    ASSERT_TRUE(path.SetPath("/keep.pelm"));
    // A deep folder well past the old 260-character limit is fine.
    const std::string deep = "/" + std::string(300, 'd') + "/n.pelm";
    ASSERT_TRUE(path.SetPath(deep));
    EXPECT_EQ(path.GetPath(), deep);

    const std::string longest(CFilePath::MaxLength(), 'x');
    EXPECT_TRUE(path.SetPath(longest));
    EXPECT_FALSE(path.SetPath(longest + "x"));
    EXPECT_EQ(path.GetPath(), longest);
}
