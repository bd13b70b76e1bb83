#include "platform/desktop/CRecentFileList.h"
#include "platform/desktop/CRecentlyUsed.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

class RecentFiles : public ::testing::Test
{
protected:
    RecentFiles() { m_env.Set("XDG_DATA_HOME", (m_dir.Path() / "data").string()); }

    std::string ListText()
    {
        std::ifstream in(CRecentlyUsed::ListPath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempDir m_dir;
    ScopedEnv m_env;
};

// What a GTK file chooser would read back.
struct Bookmarks
{
    explicit Bookmarks(const std::string& path)
    {
        loaded = g_bookmark_file_load_from_file(file, path.c_str(), nullptr);
    }
    ~Bookmarks() { g_bookmark_file_free(file); }
    GBookmarkFile* file = g_bookmark_file_new();
    bool loaded = false;
};

} // namespace

TEST_F(RecentFiles, XbelEntryNamesTheFileItsTypeAndPelmora)
{
    const std::string notebook = m_dir.File("Shopping & more.pelm");
    ASSERT_TRUE(CRecentlyUsed::Add(notebook, "application/x-pelmora-notebook"));
    ASSERT_TRUE(CRecentlyUsed::Add(notebook, "application/x-pelmora-notebook"));
    EXPECT_EQ(CRecentlyUsed::ListPath(), (m_dir.Path() / "data/recently-used.xbel").string());

    Bookmarks read(CRecentlyUsed::ListPath());
    ASSERT_TRUE(read.loaded);
    char* uri = g_filename_to_uri(notebook.c_str(), nullptr, nullptr);
    EXPECT_EQ(g_bookmark_file_get_size(read.file), 1);
    char* mime = g_bookmark_file_get_mime_type(read.file, uri, nullptr);
    EXPECT_STREQ(mime, "application/x-pelmora-notebook");
    char* exec = nullptr;
    guint count = 0;
    EXPECT_TRUE(
        g_bookmark_file_get_application_info(read.file, uri, "Pelmora", &exec, &count, nullptr, nullptr));
    EXPECT_EQ(std::string(exec), std::string("pelmora ") + uri) << "%u stands for the file";
    EXPECT_EQ(count, 2u) << "each use is counted";
    EXPECT_FALSE(g_bookmark_file_get_is_private(read.file, uri, nullptr));
    g_free(exec);
    g_free(mime);
    g_free(uri);
}

TEST_F(RecentFiles, OtherProgramsEntriesStayAndADamagedListIsLeftAlone)
{
    ASSERT_TRUE(CRecentlyUsed::Add("/home/u/letter.odt", "application/vnd.oasis.opendocument.text"));
    ASSERT_TRUE(CRecentlyUsed::Add(m_dir.File("a.pelmx"), "application/x-pelmora-encrypted-notebook"));
    Bookmarks read(CRecentlyUsed::ListPath());
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(g_bookmark_file_get_size(read.file), 2);

    std::ofstream(CRecentlyUsed::ListPath()) << "<xbel version=\"1.0\"><bookmark";
    EXPECT_FALSE(CRecentlyUsed::Add(m_dir.File("b.pelm"), "application/x-pelmora-notebook"));
    EXPECT_EQ(ListText(), "<xbel version=\"1.0\"><bookmark");

    EXPECT_FALSE(CRecentlyUsed::Add("relative.pelm", "application/x-pelmora-notebook"));
}

TEST_F(RecentFiles, ListKeepsTheEightNewestOnceEachAcrossRuns)
{
    CRecentFileList list;
    list.ReadList();
    EXPECT_TRUE(list.GetPaths().empty());
    for (int i = 1; i <= 10; ++i)
        list.Add("/n/" + std::to_string(i) + ".pelm");
    list.Add("/n/5.pelm");
    ASSERT_TRUE(list.WriteList());

    CRecentFileList again;
    again.ReadList();
    EXPECT_EQ(again.GetPaths(),
              (std::vector<std::string>{"/n/5.pelm", "/n/10.pelm", "/n/9.pelm", "/n/8.pelm", "/n/7.pelm",
                                        "/n/6.pelm", "/n/4.pelm", "/n/3.pelm"}));
    again.Remove("/n/10.pelm");
    again.Remove("/n/3.pelm");
    ASSERT_TRUE(again.WriteList());
    list.ReadList();
    EXPECT_EQ(list.GetPaths().size(), 6u) << "a shorter list leaves no old names behind";
    EXPECT_EQ(list.GetPaths().front(), "/n/5.pelm");
}

// Two notebooks of one name are told apart by as many of their last folders as it takes.
TEST(RecentFileNames, SameNamesShowTheFoldersThatTellThemApart)
{
    EXPECT_EQ(CRecentFileList::ShortNames(
                  {"/home/ann/work/notes.pelm", "/home/ann/diary.pelm", "/home/ann/home/notes.pelm"}),
              (std::vector<std::string>{"notes.pelm (work)", "diary.pelm", "notes.pelm (home)"}));
    EXPECT_EQ(CRecentFileList::ShortNames({"/a/x/notes.pelm", "/b/x/notes.pelm", "/b/y/notes.pelm"}),
              (std::vector<std::string>{"notes.pelm (a/x)", "notes.pelm (b/x)", "notes.pelm (b/y)"}));
    EXPECT_EQ(CRecentFileList::ShortNames({"/notes.pelm", "/d/notes.pelm", "/d/other.pelm"}),
              (std::vector<std::string>{"notes.pelm (/)", "notes.pelm (d)", "other.pelm"}));
    EXPECT_TRUE(CRecentFileList::ShortNames({}).empty());
}
