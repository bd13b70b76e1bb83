#include "platform/qt/CSliceProgress.h"
#include "support/FirstBar.h"
#include "support/PaneFixture.h"
#include "support/ScopedCount.h"
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
    std::vector<std::pair<std::string, std::string>> AllNotes()
    {
        std::vector<std::pair<std::string, std::string>> all;
        for (std::size_t i = 0; i < serials.size(); ++i)
            all.emplace_back(TitleOf(static_cast<int>(i)), TextOf(static_cast<int>(i)));
        return all;
    }
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

// Two notes a slice: the window's events run between slices, where Cancel of the progress bar
// puts back the notes already replaced and keeps the step before undoable; a full run is then one
// step that Undo takes back.
TEST_F(ReplaceTest, ReplaceAllRunsInSlicesWhoseCancelLeavesEveryNoteAsItWas)
{
    const Notes notes = {{"red one", "red"},   {"two", "a red hat"},  {"three", "red, red"},
                         {"four", "blue red"}, {"five", "no colour"}, {"red six", "red end"},
                         {"seven", "deep red"}};
    OpenNotes(notes);
    const ScopedCount<CSliceProgress::SetPiecesPerSlice> slices(2);
    OpenReplace("blue", "navy");
    boxes.answers.push_back(IDYES);
    QTest::mouseClick(Row()->GetReplaceAllButton(), Qt::LeftButton);
    ASSERT_EQ(TextOf(3), "navy red");
    const auto before = AllNotes();
    book->SetModifiedFlag(false);

    frame->m_wndSearchBar->Edit()->setText("red");
    Row()->GetReplaceBox()->setText("green");
    std::vector<std::pair<std::string, std::string>> midway;
    const FirstBar replacing(*Row(), FirstBar::Cancel, [&] { midway = AllNotes(); });
    boxes.answers.push_back(IDYES);
    QTest::mouseClick(Row()->GetReplaceAllButton(), Qt::LeftButton);
    EXPECT_EQ(replacing.Label(), "Replacing...") << "the events ran while Replace All went on";
    ASSERT_EQ(midway.size(), notes.size());
    EXPECT_EQ(midway[0].first, "green one") << "the first slice was done";
    EXPECT_EQ(midway[6].second, "deep red") << "the last was not";
    EXPECT_EQ(AllNotes(), before);
    EXPECT_FALSE(book->IsModified());
    EXPECT_EQ(ItemText(0), "red one");
    EXPECT_EQ(Message(), "Replace All cancelled; no note was changed.");
    ASSERT_TRUE(frame->GetRouter().Run(ID_UNDO_REPLACE_ALL)) << "the step before is still there";
    EXPECT_EQ(TextOf(3), "blue red");

    boxes.answers.push_back(IDYES);
    QTest::mouseClick(Row()->GetReplaceAllButton(), Qt::LeftButton);
    EXPECT_EQ(Message(), "Replaced 9 occurrences in 6 notes.");
    EXPECT_EQ(TitleOf(5), "green six");
    EXPECT_EQ(TextOf(2), "green, green");
    EXPECT_EQ(TextOf(6), "deep green");
    EXPECT_EQ(TextOf(4), "no colour");
    ASSERT_TRUE(frame->GetRouter().Run(ID_UNDO_REPLACE_ALL));
    for (std::size_t i = 0; i < notes.size(); ++i)
        EXPECT_EQ(AllNotes()[i], notes[i]) << i;
}
