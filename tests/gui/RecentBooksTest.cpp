#include "platform/desktop/CRecentlyUsed.h"
#include "platform/desktop/CUserSettings.h"
#include "support/PaneFixture.h"
#include "support/TempDir.h"

#include <QMenu>

#include <filesystem>
#include <fstream>
#include <sstream>

class RecentBooksTest : public PaneTest
{
protected:
    void SetUp() override
    {
        PaneTest::SetUp();
        // Each test starts from an empty list of its own.
        std::filesystem::remove_all(std::filesystem::path(CRecentlyUsed::ListPath()).parent_path() /
                                    "pelmora");
        std::filesystem::remove(CRecentlyUsed::ListPath());
        frame = std::make_unique<CMainFrame>();
        ASSERT_TRUE(frame->Create());
        frame->show();
    }

    // Saves a new notebook with one note under the name, through Save As.
    std::string SaveNew(const std::string& name)
    {
        OpenNotes({{name, "text of " + name}});
        const std::string path = dir.File(name);
        CFileDialog::SetNextFileName(QString::fromStdString(path));
        EXPECT_TRUE(frame->GetRouter().Run(ID_FILE_SAVE));
        return path;
    }

    QStringList Items()
    {
        QStringList texts;
        for (QAction* action : frame->GetRecentMenu()->actions())
            texts << action->text();
        return texts;
    }

    QAction* Item(int i) { return frame->GetRecentMenu()->actions().at(i); }

    TempDir dir;
};

TEST_F(RecentBooksTest, SavedAndOpenedNotebooksAreListedNewestFirstAndOpenFromTheMenu)
{
    EXPECT_FALSE(frame->GetRecentMenu()->menuAction()->isEnabled()) << "nothing to list yet";
    const std::string first = SaveNew("first.pelm");
    const std::string second = SaveNew("second & third.pelm");
    frame->CloseBook();
    EXPECT_EQ(Items(), (QStringList{"&1 second && third.pelm", "&2 first.pelm"}));
    EXPECT_EQ(Item(1)->statusTip(), QString::fromStdString(first));
    EXPECT_TRUE(frame->GetRecentMenu()->menuAction()->isEnabled());

    Item(1)->trigger();
    ASSERT_NE(frame->GetNoteBook(), nullptr);
    EXPECT_EQ(frame->GetNoteBook()->GetPath().GetPath(), first);
    EXPECT_EQ(Items(), (QStringList{"&1 first.pelm", "&2 second && third.pelm"})) << "opening moves it up";

    // The desktop's recent files know both, as GTK programs would list them.
    std::ifstream in(CRecentlyUsed::ListPath());
    std::stringstream xbel;
    xbel << in.rdbuf();
    EXPECT_NE(xbel.str().find("first.pelm"), std::string::npos);
    EXPECT_NE(xbel.str().find("second%20&amp;%20third.pelm"), std::string::npos);

    // A second window reads the same list.
    CMainFrame other;
    ASSERT_TRUE(other.Create());
    ASSERT_EQ(other.GetRecentMenu()->actions().size(), 2);
    EXPECT_EQ(other.GetRecentMenu()->actions().at(0)->text(), "&1 first.pelm");
}

// The open notebook stays open, unsaved changes and all, and the message names the file gone.
TEST_F(RecentBooksTest, AGoneNotebookLeavesTheListNamedAndTheOpenOneStaysOpen)
{
    const std::string gone = SaveNew("gone.pelm");
    const std::string kept = SaveNew("kept.pelm");
    frame->GetNoteBook()->SetModified();
    std::filesystem::remove(gone);
    Item(1)->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "ERROR: Could not read specified file.\n\"" + gone + "\" is no longer there.");
    ASSERT_NE(frame->GetNoteBook(), nullptr);
    EXPECT_EQ(frame->GetNoteBook()->GetPath().GetPath(), kept);
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(Items(), QStringList{"&1 kept.pelm"});
}

TEST_F(RecentBooksTest, EightAreKeptNumberedOneToEight)
{
    for (int i = 1; i <= 9; ++i)
        SaveNew("book" + std::to_string(i) + ".pelm");
    const QStringList items = Items();
    ASSERT_EQ(items.size(), 8);
    EXPECT_EQ(items.front(), "&1 book9.pelm");
    EXPECT_EQ(items.back(), "&8 book2.pelm");
}

// Off by default, so that a start without a file opens nothing; once chosen, the notebook used
// last opens, unless it is gone.
TEST_F(RecentBooksTest, ReopenLastNoteBookAtStartIsTheUsersChoiceAndOffByDefault)
{
    SaveNew("first.pelm");
    const std::string last = SaveNew("last.pelm");
    frame->CloseBook();
    EXPECT_FALSE(CUserSettings::Read().m_bReopenLast);
    frame->StartWithoutFile();
    EXPECT_FALSE(frame->IsBookOpen());

    ASSERT_TRUE(frame->GetRouter().Run(ID_REOPEN_LAST));
    EXPECT_TRUE(frame->GetRouter().Action(ID_REOPEN_LAST)->isChecked());
    EXPECT_TRUE(CUserSettings::Read().m_bReopenLast) << "kept for the user";
    frame = std::make_unique<CMainFrame>();
    ASSERT_TRUE(frame->Create());
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->GetRouter().Action(ID_REOPEN_LAST)->isChecked()) << "read again at start";
    frame->StartWithoutFile();
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetPath().GetPath(), last);

    frame->CloseBook();
    std::filesystem::remove(last);
    frame->StartWithoutFile();
    EXPECT_FALSE(frame->IsBookOpen()) << "a notebook gone since: nothing opens, not even the one before";
    EXPECT_TRUE(boxes.boxes.empty()) << "and nothing is said at start";

    ASSERT_TRUE(frame->GetRouter().Run(ID_REOPEN_LAST));
    EXPECT_FALSE(CUserSettings::Read().m_bReopenLast);
}

TEST_F(RecentBooksTest, NotebooksOfOneNameShowTheirFolders)
{
    for (const char* folder : {"work", "home"}) {
        std::filesystem::create_directory(dir.Path() / folder);
        SaveNew(std::string(folder) + "/notes.pelm");
    }
    frame->CloseBook();
    EXPECT_EQ(Items(), (QStringList{"&1 notes.pelm (home)", "&2 notes.pelm (work)"}));
    EXPECT_EQ(Item(1)->statusTip(), QString::fromStdString(dir.File("work/notes.pelm")));
}
