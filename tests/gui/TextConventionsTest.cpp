// The note's text box beside Qt's own plain text editor: the same keys and clicks go to both, and
// after every step the text, the caret, the selection, the X primary selection and what a screen
// reader hears must agree, except where the box differs on purpose (listed below with the reason).
#include "support/AccessibilityRecorder.h"
#include "support/PaneFixture.h"
#include "views/CNoteEditCtrl.h"
#include "views/CRichEditCtrlEx.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The differences the box keeps on purpose. Each is excused only in the steps it names.
//  - "line ends kept as stored": a note with CRLF or CR line ends gets them back when saved; in
//    the box, as in the editor, each line end is one character, so only the saved text differs
//    and this comparison (of the shown text) sees no difference.
//  - "Alt and a letter is never text": the editor types the letter when no menu takes it; the
//    box leaves the key to the window, so that a stray Alt never changes a note.
//  - "typing limit": the box refuses typing beyond the note's limit of 1,048,576 characters;
//    the editor has none.
//  - "auto-scroll speed": both scroll while a drag is held below the text, each at its own pace,
//    so only the direction is compared.
//  - "caret told after every change": the editor leaves out the caret event after some moves and
//    deletions (Ctrl+End, Ctrl+Backspace); the box always tells where the caret is, and where
//    both tell it, it is the same place.
//  - "words in right-to-left lines": after a double click the editor grows the selection by the
//    word under the pointer only where that word runs left to right (it takes the word's start to
//    be its left); in a right-to-left line it leaves the selection as it was. The box grows it the
//    same way whichever way the word runs.
const char* const kAllowedDifferences[] = {
    "line ends kept as stored", "Alt and a letter is never text", "typing limit",
    "auto-scroll speed",        "caret told after every change",  "words in right-to-left lines"};

// What a screen reader learns from one step: the text changes, where the caret went, the selection.
struct Change
{
    int at;
    int removed;
    QString inserted;
};

struct Heard
{
    std::vector<Change> changes;
    int caret = -1;
    int selectionStart = -1;
    int selectionEnd = -1;

    // The text after the changes told, from the text before them.
    QString Apply(QString text) const
    {
        for (const Change& change : changes)
            text.replace(change.at, change.removed, change.inserted);
        return text;
    }
};

Heard Summarize(const std::vector<AccessibilityRecorder::Event>& events)
{
    Heard heard;
    for (const auto& event : events) {
        switch (event.type) {
        case QAccessible::TextUpdated:
        case QAccessible::TextRemoved:
        case QAccessible::TextInserted: {
            // The editor tells a new line as the paragraph separator it keeps.
            QString inserted = event.type == QAccessible::TextRemoved ? QString() : event.text;
            inserted.replace(QChar::ParagraphSeparator, '\n');
            if (event.removed > 0 || !inserted.isEmpty())
                heard.changes.push_back({event.cursor, event.removed, inserted});
            break;
        }
        case QAccessible::TextCaretMoved:
            heard.caret = event.cursor;
            break;
        case QAccessible::TextSelectionChanged:
            heard.caret = event.cursor;
            heard.selectionStart = event.start;
            heard.selectionEnd = event.end;
            break;
        default:
            break;
        }
    }
    return heard;
}

// A change is compared by what it does to the text: the editor sometimes tells a whole line
// replaced where the box tells the few characters typed, and tells blanks for what it removed.
// Where the editor tells no caret, the box may ("caret told after every change").
// The editor's last selection event is not always its final selection (a double click at a
// line's end tells the word, then the release leaves the caret): then it is not compared. Nor is
// an empty selection the editor tells where the box tells none: after an undo the editor still
// thinks a selection is there and tells its end at the next move; the caret says the same.
bool Matches(const Heard& editor, const Heard& box, const QString& before, const QString& after, int anchor,
             int caret)
{
    const bool editorTold = editor.selectionStart != -1;
    const bool editorStale = editorTold && (editor.selectionStart != anchor || editor.selectionEnd != caret);
    return editor.changes.empty() == box.changes.empty() && box.Apply(before) == after &&
           (editor.caret == box.caret || editor.caret == -1 || editorStale) &&
           (editorStale ||
            (editor.selectionStart == box.selectionStart && editor.selectionEnd == box.selectionEnd) ||
            (editor.selectionStart == editor.selectionEnd && box.selectionStart == -1 && anchor == caret));
}

std::string Describe(const Heard& heard)
{
    std::ostringstream out;
    out << "changes[";
    for (const auto& change : heard.changes)
        out << change.at << " -" << change.removed << " +\"" << change.inserted.toStdString() << "\" ";
    out << "] caret " << heard.caret << " selection " << heard.selectionStart << ".." << heard.selectionEnd;
    return out.str();
}

struct State
{
    QString text;
    int caret;
    int anchor;
    QString primary;
    Heard heard;
};

// One user action, given to either editor as a position-to-point mapping allows.
using PointOf = std::function<QPoint(int pos)>;
struct Action
{
    std::string name;
    std::function<void(QWidget* keys, QWidget* mouse, const PointOf& at)> run;
};

Action Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return {
        QKeySequence(modifiers | key).toString().toStdString(),
        [key, modifiers](QWidget* keys, QWidget*, const PointOf&) { QTest::keyClick(keys, key, modifiers); }};
}

Action Type(const QString& text)
{
    return {"type \"" + text.toStdString() + "\"", [text](QWidget* keys, QWidget*, const PointOf&) {
                for (const QChar c : text)
                    QTest::sendKeyEvent(QTest::Click, keys, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }};
}

// The presses of a quick series of clicks, the last one held, as Qt delivers them to a widget: a
// double click is press, release, press and the double click; a third click releases and presses
// again, soon enough for both editors to take it as the third.
void PressSeries(QWidget* mouse, const QPoint& point, int clicks, Qt::KeyboardModifiers modifiers)
{
    QTest::mousePress(mouse, Qt::LeftButton, modifiers, point);
    if (clicks >= 2) {
        QTest::mouseRelease(mouse, Qt::LeftButton, modifiers, point);
        QTest::mousePress(mouse, Qt::LeftButton, modifiers, point);
        QTest::mouseDClick(mouse, Qt::LeftButton, modifiers, point);
    }
    if (clicks >= 3) {
        QTest::mouseRelease(mouse, Qt::LeftButton, modifiers, point);
        QTest::mousePress(mouse, Qt::LeftButton, modifiers, point);
    }
}

void MoveHeld(QWidget* mouse, const QPoint& point)
{
    QMouseEvent move(QEvent::MouseMove, point, mouse->mapToGlobal(point), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(mouse, &move);
}

Action Click(int pos, int clicks = 1, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return {std::to_string(clicks) + " click(s) at " + std::to_string(pos),
            [=](QWidget*, QWidget* mouse, const PointOf& at) {
                PressSeries(mouse, at(pos), clicks, modifiers);
                QTest::mouseRelease(mouse, Qt::LeftButton, modifiers, at(pos));
            }};
}

// The last of a series of clicks held and dragged; one click makes a plain drag.
Action Drag(int from, int to, int clicks = 1)
{
    return {std::to_string(clicks) + " click(s) at " + std::to_string(from) + " dragged to " +
                std::to_string(to),
            [=](QWidget*, QWidget* mouse, const PointOf& at) {
                PressSeries(mouse, at(from), clicks, Qt::NoModifier);
                MoveHeld(mouse, at(to));
                QTest::mouseRelease(mouse, Qt::LeftButton, {}, at(to));
            }};
}

// The selected text dragged from where it was pressed and dropped at to. Qt's drag runs a loop of
// its own, which takes the pointer's moves and the release from the window.
Action DragText(int from, int to)
{
    return {"selection dragged from " + std::to_string(from) + " and dropped at " + std::to_string(to),
            [=](QWidget*, QWidget* mouse, const PointOf& at) {
                QWidget* top = mouse->window();
                const QPoint drop = mouse->mapTo(top, at(to));
                auto dropped = std::make_shared<bool>(false);
                QTimer::singleShot(100, top, [top, drop, dropped] {
                    QTest::mouseMove(top->windowHandle(), drop + QPoint(1, 0));
                    QTest::mouseMove(top->windowHandle(), drop);
                    QTest::mouseRelease(top->windowHandle(), Qt::LeftButton, {}, drop);
                    *dropped = true;
                });
                QTest::mousePress(mouse, Qt::LeftButton, {}, at(from));
                MoveHeld(mouse, at(from) + QPoint(0, QApplication::startDragDistance() + 3));
                EXPECT_TRUE(QTest::qWaitFor([dropped] { return *dropped; }, 20000)) << "the drop was sent";
            }};
}

// Longer than a double click takes: the next click starts a new series.
Action Pause()
{
    return {"pause", [](QWidget*, QWidget*, const PointOf&) {
                QTest::qWait(QApplication::doubleClickInterval() + 50);
            }};
}

Action MiddleClick(int pos)
{
    return {"middle click at " + std::to_string(pos), [=](QWidget*, QWidget* mouse, const PointOf& at) {
                QTest::mouseClick(mouse, Qt::MiddleButton, {}, at(pos));
            }};
}

// Qt's editor and the box, side by side in one window, the same font and size.
class TextConventionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        auto* row = new QHBoxLayout(window.get());
        reference = new QPlainTextEdit;
        reference->setLineWrapMode(QPlainTextEdit::NoWrap);
        box = new CRichEditCtrlEx;
        QFont font("DejaVu Sans Mono", 11);
        reference->setFont(font);
        box->setFont(font);
        row->addWidget(reference);
        row->addWidget(box);
        window->resize(900, 220);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void Load(const QString& text)
    {
        reference->setPlainText(text);
        reference->moveCursor(QTextCursor::Start);
        reference->document()->clearUndoRedoStacks();
        box->SetText(text.toStdString());
    }

    // A quarter into the character at pos from its logical start, whichever way its line runs.
    static QPoint Into(const QRect& caret, const QRect& next)
    {
        const int step = next.top() == caret.top() ? (next.left() - caret.left()) / 4 : 2;
        return QPoint(caret.left() + (step == 0 ? 2 : step), caret.center().y());
    }
    QPoint ReferencePoint(int pos) const
    {
        const int last = reference->document()->characterCount() - 1;
        QTextCursor cursor(reference->document());
        cursor.setPosition(std::clamp(pos, 0, last));
        const QRect caret = reference->cursorRect(cursor);
        cursor.setPosition(std::clamp(pos + 1, 0, last));
        return Into(caret, reference->cursorRect(cursor));
    }
    QPoint BoxPoint(int pos) const
    {
        const int last = box->GetTextLength();
        return Into(box->CharacterRect(std::clamp(pos, 0, last)),
                    box->CharacterRect(std::clamp(pos + 1, 0, last)));
    }

    State Run(QWidget* keys, QWidget* mouse, const PointOf& at, const Action& action)
    {
        QClipboard* clipboard = QApplication::clipboard();
        if (clipboard->supportsSelection())
            clipboard->setText(QStringLiteral("primary"), QClipboard::Selection);
        keys->setFocus();
        recorder.events.clear();
        action.run(keys, mouse, at);
        QApplication::processEvents();
        State state;
        state.primary = clipboard->supportsSelection() ? clipboard->text(QClipboard::Selection) : QString();
        state.heard = Summarize(recorder.About(keys));
        return state;
    }

    // Runs the actions on both and compares after each; false at the first difference.
    bool Compare(const std::string& name, const QString& text, const std::vector<Action>& actions)
    {
        Load(text);
        std::string done;
        for (const Action& action : actions) {
            done += action.name + "; ";
            const QString before = box->toPlainText();
            State expected = Run(
                reference, reference->viewport(), [this](int p) { return ReferencePoint(p); }, action);
            expected.text = reference->toPlainText();
            expected.caret = reference->textCursor().position();
            expected.anchor = reference->textCursor().anchor();
            State actual = Run(
                box, box->viewport(), [this](int p) { return BoxPoint(p); }, action);
            actual.text = box->toPlainText();
            actual.caret = box->CursorPosition();
            actual.anchor =
                box->SelectionStart() == box->CursorPosition() ? box->SelectionEnd() : box->SelectionStart();
            const std::string where = name + " after: " + done;
            bool same = true;
            const auto check = [&](bool equal, const std::string& what, const std::string& want,
                                   const std::string& got) {
                if (!equal) {
                    ADD_FAILURE() << where << "\n  " << what << ": editor " << want << ", box " << got;
                    same = false;
                }
            };
            check(expected.text == actual.text, "text", expected.text.toStdString(),
                  actual.text.toStdString());
            check(expected.caret == actual.caret, "caret", std::to_string(expected.caret),
                  std::to_string(actual.caret));
            check(expected.anchor == actual.anchor, "anchor", std::to_string(expected.anchor),
                  std::to_string(actual.anchor));
            check(expected.primary == actual.primary, "primary selection", expected.primary.toStdString(),
                  actual.primary.toStdString());
            check(Matches(expected.heard, actual.heard, before, actual.text, expected.anchor, expected.caret),
                  "screen reader", Describe(expected.heard), Describe(actual.heard));
            if (!same)
                return false;
        }
        return true;
    }

    AccessibilityRecorder recorder;
    std::unique_ptr<QWidget> window;
    QPlainTextEdit* reference = nullptr;
    CRichEditCtrlEx* box = nullptr;
};

// Short texts with what trips editors up: combining marks, surrogate pairs, right-to-left
// scripts, each kind of line end and a tab.
const QString kSamples[] = {
    QStringLiteral("The quick brown fox\njumps over the lazy dog."),
    QString::fromUtf8("cafe\xCC\x81 na\xC3\xAFve \xF0\x9F\x98\x80 smile \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD ok"),
    QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D and "
                      "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 world"),
    QStringLiteral("one\r\ntwo\rthree\nfour"),
    QStringLiteral("key\tvalue\n\tindented line"),
    QString::fromUtf8(
        "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 42 \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D\nmix "
        "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 "
        "end\n\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D and more"),
};

bool HasRightToLeft(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.direction() == QChar::DirR || c.direction() == QChar::DirAL; });
}

} // namespace

TEST_F(TextConventionsTest, NamedConventionsMatchQtsEditor)
{
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const std::vector<std::pair<std::string, std::vector<Action>>> conventions{
        {"word moves",
         {Key(Qt::Key_Right, ctrl), Key(Qt::Key_Right, ctrl), Key(Qt::Key_Right, ctrl),
          Key(Qt::Key_Left, ctrl), Key(Qt::Key_End), Key(Qt::Key_Left, ctrl)}},
        {"Ctrl+Backspace and Ctrl+Delete",
         {Key(Qt::Key_Right, ctrl), Key(Qt::Key_Right, ctrl), Key(Qt::Key_Backspace, ctrl),
          Key(Qt::Key_Delete, ctrl), Key(Qt::Key_End), Key(Qt::Key_Backspace, ctrl)}},
        {"Home and End",
         {Key(Qt::Key_End), Key(Qt::Key_Home), Key(Qt::Key_Down), Key(Qt::Key_End), Key(Qt::Key_End, ctrl),
          Key(Qt::Key_Home, ctrl)}},
        {"Shift with every move",
         {Key(Qt::Key_Right, shift), Key(Qt::Key_Right, shift | ctrl), Key(Qt::Key_End, shift),
          Key(Qt::Key_Down, shift), Key(Qt::Key_Left, shift), Key(Qt::Key_Home, shift),
          Key(Qt::Key_Up, shift), Key(Qt::Key_End, shift | ctrl), Key(Qt::Key_Left, shift | ctrl),
          Key(Qt::Key_Home, shift | ctrl), Key(Qt::Key_PageDown, shift), Key(Qt::Key_PageUp, shift),
          Key(Qt::Key_A, ctrl), Key(Qt::Key_Left)}},
        {"typing replaces the selection",
         {Key(Qt::Key_Right, shift | ctrl), Type("new "), Key(Qt::Key_Return), Key(Qt::Key_Tab),
          Key(Qt::Key_Backspace), Key(Qt::Key_Delete)}},
        {"double and triple click", {Click(1, 1), Click(4, 1, shift), Click(2, 2), Click(6, 2), Click(5, 3)}},
        {"drag selection", {Click(0), Drag(1, 9), Click(0), Drag(9, 2)}},
        {"triple click then drag grows by lines", {Drag(2, 22, 3), Drag(22, 2, 3), Drag(30, 30, 3)}},
        {"Shift+click after a triple click", {Click(2, 3), Click(22, 1, shift), Click(5, 1, shift)}},
        {"middle-click paste", {MiddleClick(3), Key(Qt::Key_Right, shift | ctrl), MiddleClick(0)}},
        {"undo and redo grouping",
         {Key(Qt::Key_End), Type("abc"), Type(" def"), Key(Qt::Key_Backspace), Key(Qt::Key_Backspace),
          Key(Qt::Key_Z, ctrl), Key(Qt::Key_Z, ctrl), Key(Qt::Key_Z, shift | ctrl), Key(Qt::Key_Home),
          Type("x"), Key(Qt::Key_Z, ctrl), Key(Qt::Key_Y, ctrl)}},
        {"Up and Down keep the caret's place across right-to-left and mixed lines",
         {Key(Qt::Key_Right), Key(Qt::Key_Right), Key(Qt::Key_Down), Key(Qt::Key_Down), Key(Qt::Key_Up),
          Key(Qt::Key_End), Key(Qt::Key_Down), Key(Qt::Key_Down), Key(Qt::Key_Up, shift),
          Key(Qt::Key_Right, ctrl), Key(Qt::Key_Down, shift), Key(Qt::Key_Down), Key(Qt::Key_Up)}},
        {"Insert does not overwrite", {Key(Qt::Key_Insert), Type("zz"), Key(Qt::Key_Insert), Type("y")}},
    };
    for (const QString& sample : kSamples)
        for (const auto& [name, actions] : conventions)
            Compare(name + " in \"" + sample.left(12).toStdString() + "\"", sample, actions);

    // Selections by words, after a double click. A series of clicks at nearly the same place, soon
    // after the last, goes on counting from it, in both editors.
    const std::vector<std::pair<std::string, std::vector<Action>>> byWords{
        {"double click then drag grows by words",
         {Drag(5, 13, 2), Drag(13, 6, 2), Drag(17, 22, 2), Drag(36, 6, 2), Drag(6, 9, 2), Drag(7, 60, 2)}},
        {"Shift+click after a double click",
         {Click(36, 2), Click(6, 1, shift), Click(12, 1, shift), Click(40, 1, shift), Click(2, 3),
          Click(22, 1, shift)}},
        {"a pause ends a series of clicks", {Click(6, 2), Pause(), Click(6), Click(22, 1, shift)}},
        {"keys between a double click and Shift+click",
         {Click(6, 2), Key(Qt::Key_Right), Click(22, 1, shift), Key(Qt::Key_Left, shift),
          Click(2, 1, shift)}},
    };
    for (const QString& sample : kSamples)
        for (const auto& [name, actions] : byWords)
            if (!HasRightToLeft(sample)) // "words in right-to-left lines"
                Compare(name + " in \"" + sample.left(12).toStdString() + "\"", sample, actions);
}

// Wrapped lines: Home and End go to the ends of the row, Up and Down by rows, and a double or triple
// click dragged across rows grows by words and by the whole line.
TEST_F(TextConventionsTest, WrappedRowsMatchQtsEditor)
{
    reference->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setLineWrapMode(CRichEditCtrlEx::WidgetWidth);
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const QString words = QStringLiteral("The quick brown fox jumps over the lazy dog. ");
    const QString sample = words.repeated(4) + "\nshort\n" + words.repeated(3);
    const std::vector<std::pair<std::string, std::vector<Action>>> conventions{
        {"Home and End by rows",
         {Key(Qt::Key_End), Key(Qt::Key_End), Key(Qt::Key_Right), Key(Qt::Key_End), Key(Qt::Key_Home),
          Key(Qt::Key_Down), Key(Qt::Key_Down), Key(Qt::Key_End), Key(Qt::Key_Home, shift),
          Key(Qt::Key_End, shift), Key(Qt::Key_Up, shift)}},
        {"clicks dragged across rows", {Drag(6, 70, 2), Drag(70, 6, 2), Drag(100, 10, 3), Drag(10, 190, 3)}},
    };
    for (const auto& [name, actions] : conventions)
        Compare(name + " wrapped", sample, actions);
}

// Text dragged to another place of the same text is one step to undo and one to redo. Only a
// display of its own runs a drag and drop.
TEST_F(TextConventionsTest, DragAndDropInsideTheTextIsOneStep)
{
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "no drag and drop on " << QGuiApplication::platformName().toStdString();
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    Compare("drag and drop", kSamples[0],
            {Click(6, 2), Pause(), DragText(6, 22), Key(Qt::Key_Z, ctrl),
             Key(Qt::Key_Z, ctrl | Qt::ShiftModifier), Click(12, 2), Pause(), DragText(12, 0),
             Key(Qt::Key_Z, ctrl)});
}

// Steps drawn at random from a fixed seed, the same every run, on every sample.
TEST_F(TextConventionsTest, RandomSequencesMatchQtsEditor)
{
    const std::vector<Action> pool{Key(Qt::Key_Left),
                                   Key(Qt::Key_Right),
                                   Key(Qt::Key_Up),
                                   Key(Qt::Key_Down),
                                   Key(Qt::Key_Left, Qt::ShiftModifier),
                                   Key(Qt::Key_Right, Qt::ShiftModifier),
                                   Key(Qt::Key_Right, Qt::ControlModifier),
                                   Key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier),
                                   Key(Qt::Key_Home),
                                   Key(Qt::Key_End, Qt::ShiftModifier),
                                   Key(Qt::Key_Backspace),
                                   Key(Qt::Key_Delete),
                                   Key(Qt::Key_Backspace, Qt::ControlModifier),
                                   Key(Qt::Key_Delete, Qt::ControlModifier),
                                   Key(Qt::Key_Return),
                                   Key(Qt::Key_Z, Qt::ControlModifier),
                                   Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier),
                                   Type("a"),
                                   Type(QString::fromUtf8("\xC3\xA9")),
                                   Type(" "),
                                   Type(QString::fromUtf8("\xF0\x9F\x98\x80")),
                                   Click(0),
                                   Click(3),
                                   Click(7, 2),
                                   Click(12)};
    std::mt19937 random(2126);
    for (const QString& sample : kSamples) {
        std::vector<Action> steps;
        for (int i = 0; i < 40; ++i) {
            steps.push_back(pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)]);
        }
        Compare("random steps in \"" + sample.left(12).toStdString() + "\"", sample, steps);
    }
}

// A right-to-left line is laid out where the editor lays it out: each caret position at the same x.
// Wrapped or not, the editor begins such a line at the left margin, its first character rightmost.
TEST_F(TextConventionsTest, RightToLeftLinesStandWhereTheEditorPutsThem)
{
    const QString sample = std::end(kSamples)[-1];
    for (const bool wrap : {false, true}) {
        reference->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        box->setLineWrapMode(wrap ? CRichEditCtrlEx::WidgetWidth : CRichEditCtrlEx::NoWrap);
        Load(sample);
        QApplication::processEvents();
        for (int pos = 0; pos <= sample.size(); ++pos) {
            QTextCursor cursor(reference->document());
            cursor.setPosition(pos);
            const QRect expected = reference->cursorRect(cursor);
            const QRect actual = box->CharacterRect(pos);
            EXPECT_NEAR(actual.left(), expected.left(), 1)
                << "x of position " << pos << (wrap ? " wrapped" : "");
            EXPECT_EQ(actual.top(), expected.top()) << "row of position " << pos << (wrap ? " wrapped" : "");
        }
    }
    // The first character of the first line is its rightmost.
    EXPECT_GT(box->CharacterRect(0).left(), box->CharacterRect(4).left());
}

// Where the box differs on purpose, it differs in the named way and no other.
TEST_F(TextConventionsTest, AllowedDifferencesAreTheNamedOnes)
{
    EXPECT_EQ(std::size(kAllowedDifferences), 6u);
    Load("abc");
    reference->setFocus();
    QTest::keyClick(reference, Qt::Key_Q, Qt::AltModifier);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Q, Qt::AltModifier);
    EXPECT_EQ(reference->toPlainText(), "qabc") << "the editor types it";
    EXPECT_EQ(box->toPlainText(), "abc") << "Alt and a letter is never text";

    Load("one\r\ntwo");
    EXPECT_EQ(reference->toPlainText(), box->toPlainText()) << "one character per line end in both";
    EXPECT_EQ(box->GetText("\r\n"), "one\r\ntwo") << "line ends kept as stored";

    box->SetLimitText(8);
    box->SetSelection(box->GetTextLength(), box->GetTextLength());
    QTest::keyClicks(box, "xyz");
    EXPECT_EQ(box->toPlainText(), "one\ntwox") << "typing limit";
    box->SetLimitText(CNoteEditCtrl::kTextLimit);

    // A double click in the second Hebrew word, dragged into the first.
    Load(kSamples[2]);
    const Action growLeftward = Drag(6, 1, 2);
    growLeftward.run(reference, reference->viewport(), [this](int p) { return ReferencePoint(p); });
    growLeftward.run(box, box->viewport(), [this](int p) { return BoxPoint(p); });
    EXPECT_EQ(reference->textCursor().selectionStart(), 5) << "the editor keeps the clicked word alone";
    EXPECT_EQ(reference->textCursor().selectionEnd(), 9);
    EXPECT_EQ(box->SelectionStart(), 0) << "words in right-to-left lines";
    EXPECT_EQ(box->SelectionEnd(), 9);
}

// A keyboard selection is offered to middle-click paste in other programs, as the editor does.
TEST_F(TextConventionsTest, KeyboardSelectionsBecomeThePrimarySelection)
{
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard->supportsSelection())
        GTEST_SKIP() << "this platform has no primary selection";
    Load("alpha beta");
    box->setFocus();
    clipboard->setText("old", QClipboard::Selection);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(QClipboard::Selection), "alpha ");
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(QClipboard::Selection), "alpha beta");
}

// Held below the text, a drag keeps selecting downwards, each editor at its own pace.
TEST_F(TextConventionsTest, DragBelowTheTextScrollsAndSelectsOnward)
{
    QString lines;
    for (int i = 0; i < 60; ++i)
        lines += QString("line %1\n").arg(i);
    Load(lines);
    const auto drag = [](QWidget* view, const QPoint& from) {
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        const QPoint below(from.x(), view->height() + 30);
        QCursor::setPos(view->mapToGlobal(below));
        QMouseEvent move(QEvent::MouseMove, below, view->mapToGlobal(below), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        QTest::qWait(400);
        QTest::mouseRelease(view, Qt::LeftButton, {}, below);
    };
    const int lastShown =
        reference->cursorForPosition(QPoint(5, reference->viewport()->height() - 2)).position();
    drag(reference->viewport(), ReferencePoint(0));
    drag(box->viewport(), BoxPoint(0));
    EXPECT_GT(reference->textCursor().position(), lastShown) << "the editor scrolled on";
    EXPECT_GT(box->CursorPosition(), lastShown) << "auto-scroll speed aside, the box scrolled on too";
    EXPECT_EQ(box->SelectionStart(), 0);
    EXPECT_EQ(reference->textCursor().anchor(), 0);
}

// The note's context menu beside the editor's own: Cut, Copy and Paste enabled alike, with and without
// a selection and text on the clipboard.
class TextContextMenuTest : public PaneTest
{
protected:
    // Which of Cut, Copy and Paste the menu popped up over the widget offers.
    static QString Enabled(const QList<QAction*>& actions)
    {
        QString enabled;
        for (const QAction* action : actions) {
            const QString name = QString(action->text()).remove('&').section('\t', 0, 0);
            if (action->isEnabled() && QStringList{"Cut", "Copy", "Paste"}.contains(name))
                enabled += name + " ";
        }
        return enabled;
    }
    QString BoxMenu()
    {
        QString enabled = "no menu";
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                enabled = Enabled(menu->actions());
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(3, 3),
                                Text()->viewport()->mapToGlobal(QPoint(3, 3)));
        QApplication::sendEvent(Text()->viewport(), &event);
        QApplication::processEvents();
        return enabled;
    }
};

TEST_F(TextContextMenuTest, CutCopyAndPasteAreEnabledAsInQtsEditor)
{
    OpenNotes({{"One", "alpha beta"}});
    Activate(0);
    QPlainTextEdit reference("alpha beta");
    QClipboard* clipboard = QApplication::clipboard();
    const struct
    {
        int start;
        int end;
        const char* clipboard;
    } states[] = {{0, 0, ""}, {0, 5, ""}, {2, 2, "text"}, {6, 10, "text"}};
    for (const auto& state : states) {
        if (*state.clipboard)
            clipboard->setText(state.clipboard);
        else
            clipboard->clear();
        Text()->SetSelection(state.start, state.end);
        QTextCursor cursor(reference.document());
        cursor.setPosition(state.start);
        cursor.setPosition(state.end, QTextCursor::KeepAnchor);
        reference.setTextCursor(cursor);
        const std::unique_ptr<QMenu> menu(reference.createStandardContextMenu());
        EXPECT_EQ(BoxMenu().toStdString(), Enabled(menu->actions()).toStdString())
            << "selection " << state.start << ".." << state.end << ", clipboard \"" << state.clipboard
            << "\"";
    }
}
