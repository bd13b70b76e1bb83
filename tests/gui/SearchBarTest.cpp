#include "support/PaneFixture.h"
#include "views/CSearchBar.h"

#include <QPushButton>
#include <QStatusBar>

class SearchBarTest : public PaneTest
{
protected:
    QLineEdit* Box() { return frame->m_wndSearchBar->Edit(); }
    std::string LastBox() { return boxes.boxes.empty() ? std::string() : boxes.boxes.back().text; }
    QString Selected() { return Text()->SelectedText(); }
    void Press()
    {
        frame->GetRouter().Run(ID_FIND_NEXT);
        QApplication::processEvents();
    }
};

TEST_F(SearchBarTest, MessagesForNoNotebookAndEmptyText)
{
    Box()->setText("anything");
    Press();
    EXPECT_EQ(LastBox(), "Please open a book to search.");
    EXPECT_EQ(boxes.boxes.back().style, unsigned(MB_ICONINFORMATION));
    OpenNotes({{"n", "text"}});
    Box()->setText("   ");
    Press();
    EXPECT_EQ(LastBox(), "Please enter text to search for.");
    Box()->setText("absent");
    Press();
    EXPECT_EQ(LastBox(), "Nothing found.");
}

TEST_F(SearchBarTest, WalksTitleThenTextHitsAndStartsOver)
{
    OpenNotes({{"plain", "one Note here"}, {"Note title", "note, note"}});
    Box()->setText(" note ");
    Press();
    EXPECT_EQ(frame->statusBar()->currentMessage(), "4 occurrences found.");
    ASSERT_NE(Text(), nullptr);
    EXPECT_EQ(Selected(), "Note");
    EXPECT_EQ(Text()->SelectionStart(), 4);

    Press(); // the title hit: list focused, no note open
    EXPECT_FALSE(frame->GetActiveNote());
    EXPECT_TRUE(List()->hasFocus());
    EXPECT_EQ(ListPane()->GetSelectionMark(), 1);

    Press();
    EXPECT_EQ(Text()->SelectionStart(), 0);
    Press();
    EXPECT_EQ(Text()->SelectionStart(), 6);
    EXPECT_TRUE(boxes.boxes.empty());
    Press();
    EXPECT_EQ(LastBox(), "End of search results reached.  Starting over");
    EXPECT_EQ(Text()->SelectionStart(), 4);
    EXPECT_EQ(frame->GetActiveNote() ? frame->GetNoteBook()->IndexOf(Active()->GetSerial()) : -1, 0);
}

TEST_F(SearchBarTest, EnterButtonF3AndMenuAllStep)
{
    OpenNotes({{"t", "x1 x2 x3 x4 x5"}});
    Box()->setText("x");
    Box()->setFocus();
    QTest::keyClick(Box(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Text()->SelectionStart(), 0);
    QTest::mouseClick(frame->m_wndSearchBar->Button(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(Text()->SelectionStart(), 3);
    QTest::keyClick(Text(), Qt::Key_F3);
    EXPECT_EQ(Text()->SelectionStart(), 6);
    MenuOf(ID_FIND_NEXT);
    Action(ID_FIND_NEXT)->trigger();
    EXPECT_EQ(Text()->SelectionStart(), 9);
}

TEST_F(SearchBarTest, UnsavedTypingIsFoundAndTheActiveNoteIsNotRebuilt)
{
    OpenNotes({{"t", "start"}});
    Activate(0);
    CaretToEnd();
    QTest::keyClicks(Text(), " zebra");
    const QPointer<CRichEditCtrlEx> before = Text();
    Box()->setText("ZEBRA");
    QTest::keyClick(Text(), Qt::Key_F3);
    EXPECT_FALSE(before.isNull()) << "same text box: the open note was not reopened";
    EXPECT_EQ(Selected(), "zebra");
    EXPECT_TRUE(Text()->hasFocus());
}

TEST_F(SearchBarTest, SelectionLandsOnTheHitInMultibyteText)
{
    OpenNotes({{"t", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 target \xC3\xA9t\xC3\xA9 target"}});
    Box()->setText("target");
    Press();
    EXPECT_EQ(Selected(), "target");
    EXPECT_EQ(Text()->SelectionStart(), 10) << "4 + 2 + 3 + 1 characters before it";
    Press();
    EXPECT_EQ(Selected(), "target");
    EXPECT_EQ(Text()->SelectionStart(), 21);
    Box()->setText("\xC3\xA9t\xC3\xA9");
    Press();
    EXPECT_EQ(Selected(), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
}

TEST_F(SearchBarTest, BoxTakesFiftyCharactersAndLaysOutOnTheToolbarRow)
{
    Box()->setFocus();
    QTest::keyClicks(Box(), QString(60, 'q'));
    EXPECT_EQ(Box()->text().size(), 50);
    EXPECT_EQ(Box()->width(), 400 - 2);
    EXPECT_EQ(frame->m_wndSearchBar->Button()->text(), "Search");
    EXPECT_EQ(frame->m_wndSearchBar->Button()->width(), 100);
    EXPECT_GT(frame->m_wndSearchBar->width(), 0);
    // Find All takes what the row has left: whole at the usual width, or not at all.
    for (const int width : {600, 800, 1000}) {
        frame->resize(width, 600);
        const QPushButton* findAll = frame->m_wndSearchBar->FindAllButton();
        if (width != 800) {
            EXPECT_EQ(findAll->isVisible(), width == 1000) << width;
        }
        if (findAll->isVisible()) {
            EXPECT_LE(findAll->geometry().right(), frame->m_wndSearchBar->rect().right()) << width;
        }
    }
    QTest::keyClick(Box(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(Box()->hasFocus());
}
