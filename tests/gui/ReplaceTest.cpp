#include "support/PaneFixture.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllModel.h"
#include "views/CFindAllPane.h"
#include "views/CReplaceRow.h"
#include "views/CSearchBar.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

class ReplaceTest : public PaneTest
{
protected:
    CFindAllPane* Pane() { return frame->m_wndFindAllDock->GetPane(); }
    CReplaceRow* Row() { return Pane()->GetReplaceRow(); }
    std::string Message() { return Pane()->GetMessage()->text().toStdString(); }

    // Ctrl+H from the note list with the search box holding the text, and the replacement typed.
    void OpenReplace(const QString& find, const QString& replacement)
    {
        frame->m_wndSearchBar->Edit()->setText(find);
        List()->setFocus();
        QTest::keyClick(List(), Qt::Key_H, Qt::ControlModifier);
        ASSERT_TRUE(Row()->isVisible());
        ASSERT_EQ(QApplication::focusWidget(), Row()->GetReplaceBox());
        QTest::keyClicks(Row()->GetReplaceBox(), replacement);
    }
    std::string TextOf(int i) { return book->FindNote(serials[i])->GetText(); }
    std::string TitleOf(int i) { return book->FindNote(serials[i])->GetTitle(); }
};

TEST_F(ReplaceTest, ReplaceAllAsksThenChangesEveryNoteAndUndoTakesItAllBackTypingIncluded)
{
    OpenNotes({{"red list", "red apples, red wine"}, {"blue", "nothing"}, {"shoes", "red shoes"}});
    Activate(2);
    CaretToEnd();
    QTest::keyClicks(Text(), " and a red hat");
    book->SetModifiedFlag(false);
    EXPECT_FALSE(Enabled(ID_UNDO_REPLACE_ALL));

    OpenReplace("red", "green");
    boxes.answers.push_back(IDNO);
    QTest::mouseClick(Row()->GetReplaceAllButton(), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Replace 5 occurrences in 2 notes?") << "the unsaved typing counts";
    EXPECT_EQ(TextOf(0), "red apples, red wine");
    EXPECT_FALSE(book->IsModified());

    boxes.answers.push_back(IDYES);
    QTest::mouseClick(Row()->GetReplaceAllButton(), Qt::LeftButton);
    EXPECT_EQ(TitleOf(0), "green list");
    EXPECT_EQ(TextOf(0), "green apples, green wine");
    EXPECT_EQ(TextOf(1), "nothing");
    EXPECT_EQ(Text()->toPlainText(), "green shoes and a green hat") << "the open note shows it";
    EXPECT_EQ(ItemText(0), "green list");
    EXPECT_TRUE(book->IsModified());
    EXPECT_EQ(Message(), "Replaced 5 occurrences in 2 notes.");
    EXPECT_EQ(Pane()->GetModel()->rowCount(), 0) << "nothing is left to find";
    ASSERT_TRUE(Enabled(ID_UNDO_REPLACE_ALL));

    ASSERT_TRUE(frame->GetRouter().Run(ID_UNDO_REPLACE_ALL));
    EXPECT_EQ(TitleOf(0), "red list");
    EXPECT_EQ(TextOf(0), "red apples, red wine");
    EXPECT_EQ(Text()->toPlainText(), "red shoes and a red hat") << "typing that was never saved comes back";
    EXPECT_EQ(ItemText(0), "red list");
    EXPECT_EQ(Message(), "Replace All taken back in 2 notes.");
    EXPECT_FALSE(Enabled(ID_UNDO_REPLACE_ALL));
}

TEST_F(ReplaceTest, ReplaceTypesOverTheCurrentOccurrenceAndGoesToTheNext)
{
    OpenNotes({{"one", "cat and cat"}, {"two", "a cat"}});
    OpenReplace("cat", "dog");
    QTest::mouseClick(Row()->GetReplaceButton(), Qt::LeftButton);
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Text()->toPlainText(), "dog and cat");
    EXPECT_EQ(Text()->SelectedText(), "cat") << "the next occurrence is shown";
    Text()->undo();
    EXPECT_EQ(Text()->toPlainText(), "cat and cat") << "the editor's Undo takes it back";
    Text()->redo();

    QTest::mouseClick(Row()->GetReplaceButton(), Qt::LeftButton);
    EXPECT_EQ(TextOf(0), "dog and dog") << "leaving the note stored its typing";
    ASSERT_EQ(Active()->GetSerial(), serials[1]) << "the next note's occurrence is shown";
    EXPECT_EQ(Text()->SelectedText(), "cat");
    QTest::mouseClick(Row()->GetReplaceButton(), Qt::LeftButton);
    EXPECT_EQ(Text()->toPlainText(), "a dog");
}

TEST_F(ReplaceTest, RegularExpressionGroupsInOneNote)
{
    OpenNotes({{"people", "Smith, John\nDoe, Jane"}, {"more", "Roe, Rick"}});
    Pane()->GetRegexBox()->setChecked(true);
    OpenReplace(R"((\w+), (\w+))", "$2 $1");
    QTest::mouseClick(Row()->GetReplaceInNoteButton(), Qt::LeftButton);
    EXPECT_EQ(TextOf(0), "John Smith\nJane Doe");
    EXPECT_EQ(TextOf(1), "Roe, Rick") << "only the current result's note";
    EXPECT_TRUE(boxes.boxes.empty()) << "one note needs no question";
    ASSERT_TRUE(frame->GetRouter().Run(ID_UNDO_REPLACE_ALL));
    EXPECT_EQ(TextOf(0), "Smith, John\nDoe, Jane");
}

// With nothing to find yet Ctrl+H starts in the search text; one of a thing is said in the singular.
TEST_F(ReplaceTest, EmptySearchBoxTakesTheKeysFirstAndOneIsSingular)
{
    OpenNotes({{"one", "a cat"}, {"two", "a dog"}});
    frame->m_wndSearchBar->Edit()->clear();
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(Row()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), frame->m_wndSearchBar->Edit());
    QTest::keyClicks(frame->m_wndSearchBar->Edit(), "cat");
    Row()->GetReplaceBox()->setFocus();
    QTest::keyClicks(Row()->GetReplaceBox(), "cow");

    boxes.answers.push_back(IDYES);
    QTest::mouseClick(Row()->GetReplaceAllButton(), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Replace 1 occurrence in 1 note?");
    EXPECT_EQ(Message(), "Replaced 1 occurrence in 1 note.");
    book->FindNote(serials[0])->SetText("a cow, changed since");
    ASSERT_TRUE(frame->GetRouter().Run(ID_UNDO_REPLACE_ALL));
    EXPECT_EQ(TextOf(0), "a cow, changed since");
    EXPECT_EQ(Message(), "Replace All taken back in 0 notes. 1 note changed since was left as it is.");
}
