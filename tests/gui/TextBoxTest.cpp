#include "model/CNoteBook.h"
#include "support/AccessibilityRecorder.h"
#include "support/PaneFixture.h"
#include "views/CSearchBar.h"

#include <QAccessible>
#include <QInputMethodEvent>
#include <QStatusBar>
#include <QTreeView>

#include <string>

// The note's text box as a user drives it: keys, the mouse, the input method, long lines.
class TextBoxTest : public PaneTest
{
protected:
    void Open(const std::string& text, bool wrap)
    {
        frame->m_bWordWrap = wrap;
        OpenNotes({{"One", text}});
        Activate(0);
        Text()->setFocus();
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(Text(), key, modifiers);
    }
    std::string Stored()
    {
        Editor()->SaveText();
        return book->FindNote(serials[0])->GetText();
    }
};

TEST_F(TextBoxTest, KeysMoveByCharacterWordAndRowAndEditWhole)
{
    Open("caf\xC3\xA9 \xF0\x9F\x98\x80 word\nnext line", false);
    Key(Qt::Key_End);
    EXPECT_EQ(Text()->CursorPosition(), 12) << "the end of the first line";
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(Text()->CursorPosition(), 8) << "the start of the word";
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    EXPECT_EQ(Text()->CursorPosition(), 5) << "a pair of surrogates is one step";
    Key(Qt::Key_Delete);
    Key(Qt::Key_Down);
    EXPECT_GT(Text()->CursorPosition(), 10) << "down into the next line";
    Key(Qt::Key_Home);
    Key(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Text()->SelectedText(), "next ");
    QTest::keyClicks(Text(), "last ");
    EXPECT_EQ(Stored(), "caf\xC3\xA9  wor\nlast line");

    // Typing is one step to undo, and comes back with redo.
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Text()->toPlainText(), QString::fromUtf8("caf\xC3\xA9  wor\nnext line"));
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Stored(), "caf\xC3\xA9  wor\nlast line");
}

// A line of 30,000 characters is laid out in pieces; the caret walks it as one line, wrapped or not.
TEST_F(TextBoxTest, AVeryLongLineBehavesAsOneLine)
{
    std::string line;
    for (int i = 0; line.size() < 30000; ++i)
        line += "w" + std::to_string(i) + " ";
    for (const bool wrap : {false, true}) {
        Open(line + "\nafter", wrap);
        Key(Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(Text()->CursorPosition(), static_cast<int>(line.size()) + 6);
        Key(Qt::Key_Up);
        Key(Qt::Key_End);
        if (!wrap) {
            EXPECT_EQ(Text()->CursorPosition(), static_cast<int>(line.size()));
        }
        // Down walks the rows in order, across the pieces, to the next line.
        Key(Qt::Key_Home, Qt::ControlModifier);
        int rows = 0;
        while (Text()->CursorPosition() <= static_cast<int>(line.size()) && rows < 2000) {
            const int before = Text()->CursorPosition();
            Key(Qt::Key_Down);
            ASSERT_GT(Text()->CursorPosition(), before) << "row " << rows;
            ++rows;
        }
        EXPECT_EQ(rows > 3, wrap) << "wrapped, the line takes many rows";
        // Typing in the middle keeps the whole text.
        Text()->SetSelection(15000, 15000);
        QTest::keyClicks(Text(), "MID");
        EXPECT_EQ(Stored(), line.substr(0, 15000) + "MID" + line.substr(15000) + "\nafter");
        book->SetModifiedFlag(false);
    }
}

TEST_F(TextBoxTest, MouseAndInputMethodPlaceAndInsert)
{
    Open("alpha beta gamma", false);
    QWidget* view = Text()->viewport();
    const QPoint end(view->width() - 5, 8);
    QTest::mouseClick(view, Qt::LeftButton, {}, end);
    EXPECT_EQ(Text()->CursorPosition(), 16) << "past the text's end the caret goes to it";
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(2, 8));
    EXPECT_EQ(Text()->CursorPosition(), 0);
    QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(2, 8));
    EXPECT_EQ(Text()->SelectedText(), "alpha");

    QInputMethodEvent compose("\xCE\xB1", {});
    QApplication::sendEvent(Text(), &compose);
    EXPECT_EQ(Text()->toPlainText(), "alpha beta gamma") << "composing changes nothing yet";
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("\xCE\xB1\xCE\xB2"));
    QApplication::sendEvent(Text(), &commit);
    EXPECT_EQ(Stored(), "\xCE\xB1\xCE\xB2 beta gamma");
}

TEST_F(TextBoxTest, TypingRefusedAtTheLimitSaysWhy)
{
    Open(std::string(CNoteEditCtrl::kTextLimit, 'a'), false);
    frame->statusBar()->clearMessage();
    Key(Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(Text(), "b");
    EXPECT_EQ(Text()->GetTextLength(), CNoteEditCtrl::kTextLimit);
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              "This note has reached its length limit of 1,048,576 characters.");
}

TEST_F(TextBoxTest, ScreenReadersReadAndEditTheText)
{
    Open("read \xC3\xA9 this", false);
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(Text());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->role(), QAccessible::EditableText);
    QAccessibleTextInterface* text = box->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->characterCount(), 11);
    EXPECT_EQ(text->text(5, 6), QString::fromUtf8("\xC3\xA9"));
    text->setSelection(0, 0, 4);
    EXPECT_EQ(Text()->SelectedText(), "read");
    box->editableTextInterface()->replaceText(0, 4, "hear");
    EXPECT_EQ(Stored(), "hear \xC3\xA9 this");
}

TEST_F(TextBoxTest, TypingUndoneLeavesTheNoteInItsCodePage)
{
    OpenNotes({{"One", "caf\xC3\xA9"}});
    book->FindNote(serials[0])->SetCodePages(std::nullopt, TextEncoding::windows1252);
    Activate(0);
    CaretToEnd();
    QTest::keyClicks(Text(), "x");
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Stored(), "caf\xC3\xA9");
    EXPECT_EQ(book->FindNote(serials[0])->GetTextCodePage(), TextEncoding::windows1252);
}

TEST_F(TextBoxTest, DoubleClickSelectsTheWordAndTripleClickTheLine)
{
    Open("on Tuesday we\nmeet again", false);
    QWidget* view = Text()->viewport();
    const QRect middle = Text()->CharacterRect(5); // the "e" of Tuesday
    const QPoint at = middle.center();
    QTest::mouseClick(view, Qt::LeftButton, {}, at);
    QTest::mouseDClick(view, Qt::LeftButton, {}, at);
    EXPECT_EQ(Text()->SelectedText(), "Tuesday") << "the whole word, not its start up to the click";
    QTest::mouseClick(view, Qt::LeftButton, {}, at);
    EXPECT_EQ(Text()->SelectedText(), "on Tuesday we\n") << "the third click takes the line and its end";

    // Slower, the third click only places the caret again.
    QTest::mouseClick(view, Qt::LeftButton, {}, at);
    QTest::mouseDClick(view, Qt::LeftButton, {}, at);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(view, Qt::LeftButton, {}, at);
    EXPECT_FALSE(Text()->HasSelection());

    // The last line has no line end to take.
    const QPoint last = Text()->CharacterRect(16).center();
    QTest::mouseClick(view, Qt::LeftButton, {}, last);
    QTest::mouseDClick(view, Qt::LeftButton, {}, last);
    EXPECT_EQ(Text()->SelectedText(), "meet");
    QTest::mouseClick(view, Qt::LeftButton, {}, last);
    EXPECT_EQ(Text()->SelectedText(), "meet again");
}

// What a screen reader learns of the box: its states, edits through it, and where the caret goes.
TEST_F(TextBoxTest, ScreenReadersHearEditsCaretAndHits)
{
    Open("alpha beta gamma", false);
    AccessibilityRecorder heard;
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(Text());
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->state().editable);
    EXPECT_TRUE(box->state().multiLine);
    EXPECT_EQ(box->text(QAccessible::Name), "Note text");

    box->editableTextInterface()->deleteText(0, 6);
    EXPECT_EQ(Text()->toPlainText(), "beta gamma") << "deleteText deletes";

    CaretToEnd();
    heard.events.clear();
    QTest::keyClicks(Text(), "s");
    EXPECT_TRUE(heard.Has(Text(), QAccessible::TextInserted));
    ASSERT_TRUE(heard.Has(Text(), QAccessible::TextCaretMoved)) << "typing moves the caret";
    EXPECT_EQ(heard.About(Text()).back().cursor, 11);

    heard.events.clear();
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Text()->toPlainText(), "beta gamma");
    EXPECT_TRUE(heard.Has(Text(), QAccessible::TextRemoved)) << "undo changes the text";
    heard.events.clear();
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(heard.Has(Text(), QAccessible::TextInserted)) << "and so does redo";

    // A search hit is selected and the caret moves to it.
    heard.events.clear();
    Text()->SelectAndScroll(5, 10);
    ASSERT_TRUE(heard.Has(Text(), QAccessible::TextSelectionChanged));
    ASSERT_TRUE(heard.Has(Text(), QAccessible::TextCaretMoved));
    for (const auto& event : heard.About(Text())) {
        if (event.type == QAccessible::TextSelectionChanged) {
            EXPECT_EQ(std::make_pair(event.start, event.end), std::make_pair(5, 10));
        }
    }
}

TEST_F(TextBoxTest, EveryPaneHasAnAccessibleName)
{
    Open("text", false);
    const auto name = [](QWidget* widget) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        return face ? face->text(QAccessible::Name) : QString();
    };
    EXPECT_EQ(name(Editor()->GetTitleBox()), "Note title");
    EXPECT_EQ(name(Text()), "Note text");
    EXPECT_EQ(name(List()), "Notes");
    EXPECT_EQ(name(frame->m_wndSearchBar->Edit()), "Search");
    auto* results = frame->findChild<QTreeView*>();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(name(results), "Find All results");
}
