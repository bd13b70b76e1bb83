#include "support/FirstBar.h"
#include "support/PaneFixture.h"
#include "views/CSearchBar.h"

#include <QStatusBar>
#include <QTimer>

namespace {

QStringList Titles(CNoteBook& book)
{
    QStringList titles;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        titles << QString::fromStdString(book.GetNoteAtIndex(i)->GetTitle());
    return titles;
}

} // namespace

class NoteCommandsTest : public PaneTest
{
protected:
    bool Run(int id) { return frame->GetRouter().Run(id); }
    void Select(int row)
    {
        List()->SelectItem(row);
        frame->UpdateCommandStates();
    }
};

TEST_F(NoteCommandsTest, NewNoteGoesOnTopUntitledAndNothingIsOpen)
{
    OpenNotes({{"a", "x"}, {"b", "y"}});
    Activate(1);
    CaretToEnd();
    QTest::keyClicks(Text(), " typed");
    ASSERT_TRUE(Run(ID_NEW_NOTE));
    EXPECT_EQ(Titles(*book), (QStringList{"New Note 3", "a", "b"}));
    EXPECT_EQ(ItemText(0), "New Note 3");
    EXPECT_TRUE(book->IsModified());
    EXPECT_FALSE(frame->GetActiveNote());
    EXPECT_EQ(book->GetNoteAtIndex(2)->GetText(), "y typed") << "the open note was stored first";
    QTest::keyClick(List(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Titles(*book).first(), "New Note 4");
}

TEST_F(NoteCommandsTest, DeleteTakesTheNoteAtTheSelectionMarkWithoutAsking)
{
    OpenNotes({{"a", ""}, {"b", ""}, {"c", ""}});
    ASSERT_EQ(ListPane()->GetSelectionMark(), -1);
    EXPECT_TRUE(Run(ID_DELETE_NOTE)) << "enabled while a panel exists";
    EXPECT_EQ(book->GetCount(), 3u);
    EXPECT_FALSE(book->IsModified());

    Activate(0);
    Select(2); // the mark, not the open note, decides
    ASSERT_TRUE(Run(ID_DELETE_NOTE));
    EXPECT_EQ(Titles(*book), (QStringList{"a", "b"}));
    EXPECT_FALSE(frame->GetActiveNote());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(book->IsModified());
}

TEST_F(NoteCommandsTest, MovesAtBothEndsStillMarkModified)
{
    OpenNotes({{"a", ""}, {"b", ""}, {"c", ""}});
    EXPECT_FALSE(Enabled(ID_MOVE_UP)) << "no selection mark";
    Select(0);
    ASSERT_TRUE(Enabled(ID_MOVE_UP));
    Run(ID_MOVE_UP);
    EXPECT_EQ(Titles(*book), (QStringList{"a", "b", "c"}));
    EXPECT_TRUE(book->IsModified());

    book->SetModifiedFlag(false);
    Select(2);
    Run(ID_MOVE_DOWN);
    EXPECT_EQ(Titles(*book), (QStringList{"a", "b", "c"}));
    EXPECT_TRUE(book->IsModified());

    Run(ID_MOVE_UP);
    EXPECT_EQ(Titles(*book), (QStringList{"a", "c", "b"}));
    EXPECT_EQ(ListPane()->GetSelectionMark(), 1) << "the moved note stays selected";
    Run(ID_MOVE_UP);
    EXPECT_EQ(Titles(*book), (QStringList{"c", "a", "b"}));
    EXPECT_FALSE(frame->GetActiveNote());
}

TEST_F(NoteCommandsTest, SortFoldsCaseKeepsOrderOfEqualsAndAlwaysMarks)
{
    OpenNotes({{"beta", ""}, {"Alpha", ""}, {"alpha", ""}, {"_x", ""}});
    Run(ID_SORT_NOTES);
    EXPECT_EQ(Titles(*book), (QStringList{"_x", "Alpha", "alpha", "beta"}));
    EXPECT_EQ(ItemText(0), "_x");

    OpenNotes({});
    EXPECT_TRUE(Run(ID_SORT_NOTES));
    EXPECT_TRUE(book->IsModified());
    book->SetModifiedFlag(false);
    OpenNotes({{"only", ""}});
    Run(ID_SORT_NOTES);
    EXPECT_TRUE(book->IsModified());

    // Too many to sort within a frame: the order is found on a worker, the window's events run
    // meanwhile, and Cancel leaves every note where it stood.
    Notes many;
    for (int i = 50000; i-- > 0;)
        many.push_back({"n" + std::to_string(i), ""});
    book->SetModifiedFlag(false);
    OpenNotes(many);
    {
        const FirstBar sorting(*frame, FirstBar::Cancel);
        Run(ID_SORT_NOTES);
    }
    EXPECT_EQ(book->GetNoteAtIndex(0)->GetTitle(), "n49999");
    EXPECT_FALSE(book->IsModified());
    int deliveries = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++deliveries; });
    tick.start(0);
    Run(ID_SORT_NOTES);
    tick.stop();
    EXPECT_GE(deliveries, 1);
    EXPECT_EQ(book->GetNoteAtIndex(0)->GetTitle(), "n0");
    EXPECT_EQ(book->GetNoteAtIndex(49999)->GetTitle(), "n9999");
    EXPECT_EQ(ItemText(0), "n0");
    EXPECT_TRUE(book->IsModified());
}

TEST_F(NoteCommandsTest, UndoChangesRestoresTheLastStoredText)
{
    OpenNotes({{"n", "stored"}});
    Activate(0);
    EXPECT_FALSE(Enabled(ID_UNDO_CHANGES)) << "nothing changed yet";
    CaretToEnd();
    QTest::keyClicks(Text(), " edit");
    ASSERT_TRUE(Enabled(ID_UNDO_CHANGES));
    Run(ID_UNDO_CHANGES);
    EXPECT_EQ(Text()->toPlainText(), "stored");

    // A search stores the text, so undo goes back only to what the search saw.
    CaretToEnd();
    QTest::keyClicks(Text(), " searched");
    frame->m_wndSearchBar->Edit()->setText("searched");
    Run(ID_FIND_NEXT);
    CaretToEnd();
    QTest::keyClicks(Text(), " more");
    Run(ID_UNDO_CHANGES);
    EXPECT_EQ(Text()->toPlainText().toStdString(), book->GetNoteAtIndex(0)->GetText());
    EXPECT_TRUE(Text()->toPlainText().endsWith("searched"));
    EXPECT_EQ(TitleBox()->text(), "n") << "the title is left alone";

    // The box's own undo still works as in any text box.
    CaretToEnd();
    QTest::keyClicks(Text(), "!");
    QTest::keyClick(Text(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(Text()->toPlainText().endsWith("searched"));
}

TEST_F(NoteCommandsTest, FontsBoldAndWrapNeedAnOpenNoteAndMarkModified)
{
    OpenNotes({{"n", "some text"}});
    for (int id : {ID_FONT_TIMES, ID_FONT_COURIER, ID_BOLD, ID_WORD_WRAP})
        EXPECT_FALSE(Enabled(id)) << id;
    Activate(0);
    for (int id : {ID_FONT_TIMES, ID_FONT_COURIER, ID_BOLD, ID_WORD_WRAP})
        EXPECT_TRUE(Enabled(id)) << id;

    frame->m_bBold = false;
    ASSERT_TRUE(Run(ID_FONT_COURIER));
    EXPECT_TRUE(book->IsModified());
    EXPECT_EQ(Text()->font().family(), "Courier New");
    EXPECT_EQ(TitleBox()->font().family(), "Courier New");
    EXPECT_EQ(TitleBox()->font().weight(), QFont::Bold);
    EXPECT_EQ(Text()->font().weight(), QFont::Normal);

    Run(ID_BOLD);
    EXPECT_TRUE(frame->m_bBold);
    EXPECT_EQ(Text()->font().weight(), QFont::Bold);
    EXPECT_EQ(Text()->font().family(), "Courier New");
    Run(ID_BOLD);
    EXPECT_EQ(Text()->font().weight(), QFont::Normal);
    EXPECT_EQ(TitleBox()->font().weight(), QFont::Bold);

    const bool wrap = frame->m_bWordWrap;
    CaretToEnd();
    QTest::keyClicks(Text(), " unsaved");
    book->SetModifiedFlag(false);
    Run(ID_WORD_WRAP);
    EXPECT_NE(frame->m_bWordWrap, wrap);
    EXPECT_EQ(Text()->toPlainText(), "some text unsaved");
    EXPECT_EQ(Text()->lineWrapMode(),
              frame->m_bWordWrap ? CRichEditCtrlEx::WidgetWidth : CRichEditCtrlEx::NoWrap);
    EXPECT_TRUE(book->IsModified());
    frame->m_bWordWrap = wrap;
}

TEST_F(NoteCommandsTest, EnabledStatesFollowTheNotebook)
{
    for (int id :
         {ID_NEW_NOTE, ID_RENAME_NOTE, ID_DELETE_NOTE, ID_SORT_NOTES, ID_SET_PASSWORD, ID_EDIT_PASTE})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {ID_FIND_NEXT, ID_JUMP_TO_SEARCH, ID_FILE_NEW, ID_FILE_OPEN, ID_ASSOCIATE, ID_APP_EXIT})
        EXPECT_TRUE(Enabled(id)) << id;
    OpenNotes({{"n", "text"}});
    for (int id : {ID_NEW_NOTE, ID_RENAME_NOTE, ID_DELETE_NOTE, ID_SORT_NOTES, ID_SET_PASSWORD})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS)) << "no path yet";
    EXPECT_FALSE(Enabled(ID_EDIT_CUT));
    Activate(0);
    EXPECT_FALSE(Enabled(ID_EDIT_COPY)) << "nothing selected";
    Text()->selectAll();
    EXPECT_TRUE(Enabled(ID_EDIT_COPY));
    EXPECT_TRUE(Action(ID_EDIT_CUT)->isEnabled()) << "the toolbar followed the selection";
}
