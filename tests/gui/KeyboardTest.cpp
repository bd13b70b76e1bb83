#include "platform/desktop/CUserSettings.h"
#include "support/PaneFixture.h"
#include "views/CGoToNoteBox.h"
#include "views/CSearchBar.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>

#include <cmath>
#include <utility>
#include <vector>

// Keys typed into a text box keep their editing meaning there; elsewhere the window's shortcuts
// act.
class KeyboardTest : public PaneTest
{
protected:
    QLineEdit* SearchBox() { return frame->m_wndSearchBar->Edit(); }

    void Press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        widget->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(widget->hasFocus());
        QTest::keyClick(widget, key, modifiers);
        QApplication::processEvents();
    }
};

TEST_F(KeyboardTest, CtrlDeleteInATextBoxDeletesAWordNotANote)
{
    OpenNotes({{"first note", "alpha beta"}, {"second", "gamma"}});
    Activate(0);
    ASSERT_NE(Text(), nullptr);

    CaretToStart();
    Press(Text(), Qt::Key_Delete);
    EXPECT_EQ(book->GetCount(), 2u);
    EXPECT_EQ(Text()->toPlainText(), "beta");

    TitleBox()->home(false);
    Press(TitleBox(), Qt::Key_Delete);
    EXPECT_EQ(book->GetCount(), 2u);
    EXPECT_EQ(TitleBox()->text(), "note");

    SearchBox()->setText("find me");
    SearchBox()->home(false);
    Press(SearchBox(), Qt::Key_Delete);
    EXPECT_EQ(book->GetCount(), 2u);
    EXPECT_EQ(SearchBox()->text(), "me");

    // In the list the key is the Delete Note command, without a question.
    Press(List(), Qt::Key_Delete);
    EXPECT_EQ(book->GetCount(), 1u);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(KeyboardTest, ClipboardKeysInTheSearchBoxStayInTheSearchBox)
{
    OpenNotes({{"n", "note text"}});
    Activate(0);
    QGuiApplication::clipboard()->setText("pasted");
    SearchBox()->clear();
    Press(SearchBox(), Qt::Key_V);
    EXPECT_EQ(SearchBox()->text(), "pasted");
    EXPECT_EQ(Text()->toPlainText(), "note text");

    SearchBox()->setText("copied");
    SearchBox()->selectAll();
    Press(SearchBox(), Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "copied");
    Press(SearchBox(), Qt::Key_X);
    EXPECT_EQ(SearchBox()->text(), "");
    EXPECT_EQ(Text()->toPlainText(), "note text");
}

TEST_F(KeyboardTest, CommandKeysWithoutAnEditingMeaningStillActInTextBoxes)
{
    OpenNotes({{"n", "typed"}});
    Activate(0);
    Press(Text(), Qt::Key_F3, Qt::NoModifier);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Please enter text to search for.");

    Press(Text(), Qt::Key_F);
    EXPECT_TRUE(SearchBox()->hasFocus());

    Press(SearchBox(), Qt::Key_N);
    EXPECT_EQ(book->GetCount(), 2u);
    EXPECT_EQ(book->GetNoteAtIndex(0)->GetTitle(), "New Note 2");
}

// Alt and a letter is a menu, never text: in the note as in the other boxes.
TEST_F(KeyboardTest, AltAndALetterOpensTheMenuAndTypesNothing)
{
    OpenNotes({{"n", "aaaa"}});
    Activate(0);
    const std::vector<std::pair<Qt::Key, QString>> menus{
        {Qt::Key_B, "&Book"}, {Qt::Key_N, "&Note"}, {Qt::Key_F, "&Format"}, {Qt::Key_H, "&Help"}};
    for (QWidget* box : {static_cast<QWidget*>(Text()), static_cast<QWidget*>(TitleBox())}) {
        for (const auto& [key, title] : menus) {
            // A selected search hit must not be replaced either.
            Text()->SetSelection(1, 3);
            Press(box, key, Qt::AltModifier);
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(popup, nullptr) << title.toStdString() << " from " << box->metaObject()->className();
            EXPECT_EQ(popup->title(), title);
            popup->close();
            QApplication::processEvents();
            EXPECT_EQ(Text()->toPlainText(), "aaaa");
        }
    }
    Press(Text(), Qt::Key_Q, Qt::AltModifier);
    EXPECT_EQ(Text()->toPlainText(), "aaaa") << "no menu has Q, and still nothing is typed";
    EXPECT_FALSE(Text()->IsModified());
}

TEST_F(KeyboardTest, CtrlGNarrowsTheTitlesArrowsChooseEnterOpensEscapeGoesBack)
{
    EXPECT_FALSE(frame->GetRouter().Run(ID_GO_TO_NOTE)) << "no notebook, nothing to go to";
    OpenNotes({{"Shopping list", "milk"}, {"signal", "s"}, {"Garden notes", "roses"}, {"Gin", "g"}});
    Activate(0);
    Press(Text(), Qt::Key_G);
    CGoToNoteBox* box = frame->GetNotePanel()->GetGoToBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(box->isVisible());
    EXPECT_TRUE(box->GetEdit()->hasFocus());
    auto rows = [box] {
        QStringList titles;
        for (int row = 0; row < box->GetResults()->count(); ++row)
            titles << box->GetResults()->item(row)->text();
        return titles;
    };
    EXPECT_EQ(rows(), (QStringList{"Shopping list", "signal", "Garden notes", "Gin"})) << "the list's order";
    QTest::keyClicks(box->GetEdit(), "GN");
    EXPECT_EQ(rows(), (QStringList{"Garden notes", "Gin", "signal"})) << "word starts, then close letters";
    EXPECT_EQ(box->GetResults()->currentRow(), 0);
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up})
        QTest::keyClick(box->GetEdit(), key);
    EXPECT_EQ(box->GetResults()->currentRow(), 1) << "Down stops at the last match";
    QTest::keyClick(box->GetEdit(), Qt::Key_Return);
    EXPECT_FALSE(box->isVisible());
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->GetSerial(), serials[3]);
    EXPECT_EQ(List()->GetSelectionMark(), 3);
    EXPECT_TRUE(Text()->hasFocus()) << "the keys go on in the note opened";
    EXPECT_FALSE(book->IsModified());

    // Escape leaves the open note and the keys where they were.
    Press(List(), Qt::Key_G);
    ASSERT_TRUE(box->isVisible());
    EXPECT_TRUE(box->GetEdit()->text().isEmpty()) << "each time a new start";
    QTest::keyClicks(box->GetEdit(), "shop");
    EXPECT_EQ(rows(), QStringList{"Shopping list"});
    QTest::keyClick(box->GetEdit(), Qt::Key_Escape);
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(Active()->GetSerial(), serials[3]);
    EXPECT_TRUE(List()->hasFocus());

    // Notes changed while the box is open are what it finds.
    Press(List(), Qt::Key_G);
    book->AddNote(false, false)->SetTitle("Zebra crossing");
    QTest::keyClicks(box->GetEdit(), "zc");
    EXPECT_EQ(rows(), QStringList{"Zebra crossing"});
    QTest::keyClick(box->GetEdit(), Qt::Key_Escape);

    // With no match Enter opens nothing.
    Press(List(), Qt::Key_G);
    QTest::keyClicks(box->GetEdit(), "zq");
    EXPECT_EQ(box->GetResults()->count(), 0);
    QTest::keyClick(box->GetEdit(), Qt::Key_Return);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(Active()->GetSerial(), serials[3]);
}

// The keys run the Move Up and Move Down commands, from the list and from the note's text alike.
TEST_F(KeyboardTest, AltShiftUpAndDownMoveTheSelectedNoteAsTheCommandsDo)
{
    OpenNotes({{"a", "1"}, {"b", "2"}, {"c", "3"}});
    Click(1);
    const Qt::KeyboardModifiers altShift = Qt::AltModifier | Qt::ShiftModifier;
    Press(List(), Qt::Key_Up, altShift);
    EXPECT_EQ(ItemText(0), "b");
    EXPECT_EQ(List()->GetSelectionMark(), 0);
    EXPECT_TRUE(book->IsModified());
    book->SetModifiedFlag(false);
    Press(List(), Qt::Key_Up, altShift);
    EXPECT_EQ(ItemText(0), "b") << "nothing above the first row";
    EXPECT_TRUE(book->IsModified()) << "but marked modified, as the command does";
    Press(List(), Qt::Key_Down, altShift);
    Press(List(), Qt::Key_Down, altShift);
    EXPECT_EQ(ItemText(2), "b");
    EXPECT_EQ(List()->GetSelectionMark(), 2);
    Activate(0);
    Press(Text(), Qt::Key_Down, altShift);
    EXPECT_EQ(ItemText(1), "a") << "the open note's row moves down";
    EXPECT_FALSE(frame->GetActiveNote()) << "the refill leaves no note open, as Move Down does";
}

// The zoom is the user's: kept in the per-user store, never in the notebook, which stays unmodified
// and keeps the face and height it stores.
TEST_F(KeyboardTest, CtrlPlusMinusAndZeroZoomTheNoteAndTheListForThisUser)
{
    OpenNotes({{"a", "text"}});
    Activate(0);
    const int text = Text()->font().pixelSize();
    const int title = TitleBox()->font().pixelSize();
    const double list = List()->font().pointSizeF();
    LogFont stored{};
    frame->GetTextFont(stored);
    ASSERT_GT(text, 0);

    Press(Text(), Qt::Key_Plus);
    Press(List(), Qt::Key_Plus);
    EXPECT_EQ(Text()->font().pixelSize(), std::lround(text * 1.2));
    EXPECT_EQ(TitleBox()->font().pixelSize(), std::lround(title * 1.2));
    EXPECT_DOUBLE_EQ(List()->font().pointSizeF(), list * 1.2);
    EXPECT_EQ(CUserSettings::Read().m_zoom, 2);
    EXPECT_FALSE(book->IsModified());
    LogFont after{};
    frame->GetTextFont(after);
    EXPECT_EQ(after.lfHeight, stored.lfHeight) << "the notebook's height is not the zoom's";

    // A new notebook's list and a note opened later take the zoom too.
    ASSERT_TRUE(frame->GetRouter().Run(ID_FILE_NEW));
    OpenNotes({{"b", "more"}});
    EXPECT_DOUBLE_EQ(List()->font().pointSizeF(), list * 1.2);
    Activate(0);
    EXPECT_EQ(Text()->font().pixelSize(), std::lround(text * 1.2));

    for (int i = 0; i < 20; ++i)
        Press(Text(), Qt::Key_Minus);
    EXPECT_EQ(CUserSettings::Read().m_zoom, CUserSettings::kMinZoom) << "half the size at most";
    EXPECT_EQ(Text()->font().pixelSize(), std::lround(text * 0.5));
    Press(Text(), Qt::Key_0);
    EXPECT_EQ(Text()->font().pixelSize(), text);
    EXPECT_DOUBLE_EQ(List()->font().pointSizeF(), list);
    EXPECT_EQ(CUserSettings::Read().m_zoom, 0);
    EXPECT_FALSE(book->IsModified());
}
