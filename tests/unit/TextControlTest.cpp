#include "views/CTextControl.h"
#include "views/ITextControlView.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cmath>

namespace {

// One row per line, every character 10 pixels wide; the changes told are applied to a copy of the
// text, which must stay the control's.
class MonospaceView : public ITextControlView
{
public:
    const CTextDocument* document = nullptr;
    QString told;

    int NextCursorPosition(int pos) override { return pos + 1; }
    int PreviousCursorPosition(int pos) override { return pos - 1; }
    int RowOf(int pos) override { return static_cast<int>(document->Text(0, pos).count('\n')); }
    int RowCount() override { return RowOf(document->Length()) + 1; }
    double XOf(int pos) override { return (pos - document->LineStart(pos)) * 10.0; }
    int PositionAt(int row, double x) override
    {
        const int start = RowStart(row);
        const int column = static_cast<int>(std::lround(std::max(0.0, x) / 10));
        return std::min(start + column, document->LineEnd(start));
    }
    int RowEnd(int row) override { return document->LineEnd(RowStart(row)); }
    void TextReplaced(int from, int removedChars, int, const std::string&,
                      const std::string& inserted) override
    {
        told.replace(from, removedChars, QString::fromStdString(inserted));
    }

private:
    int RowStart(int row)
    {
        int pos = 0;
        for (int r = 0; r < row && pos < document->Length(); ++r)
            pos = document->LineEnd(pos) + 1;
        return std::min(pos, document->Length());
    }
};

class TextControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view.document = &control.Document();
        Load("The quick brown fox\njumps over the lazy dog.");
    }
    void Load(const std::string& text)
    {
        control.SetText(text);
        view.told = Text();
    }
    QString Text() const { return control.Document().Text(0, control.Length()); }
    // The pointer a little way into the character at pos.
    double X(int pos) { return view.XOf(pos) + 3; }
    void ExpectSelection(int anchor, int cursor, const char* why)
    {
        EXPECT_EQ(control.Anchor(), anchor) << why;
        EXPECT_EQ(control.Cursor(), cursor) << why;
    }

    MonospaceView view;
    CTextControl control{view};
};

} // namespace

// The case among others: double-click "lazy", then reach up into "quick" and back.
TEST_F(TextControlTest, AfterADoubleClickTheSelectionGrowsByWordsAndKeepsTheWord)
{
    control.SelectWordAt(36);
    ExpectSelection(35, 39, "the double-clicked word");
    const struct
    {
        int pos;
        double x;
        int anchor;
        int cursor;
        const char* why;
    } steps[] = {
        {6, X(4), 39, 4, "up a line: from the end of \"lazy\" to the start of \"quick\""},
        {8, X(8), 39, 9, "nearer the end of \"quick\""},
        {37, X(37), 35, 39, "back inside the word: the word alone"},
        {41, X(41), 35, 40, "forward into \"dog\", nearer its start"},
        {30, X(30) + 4, 35, 40, "over the blank after \"over\": unchanged"},
        {26, X(28), 39, 30, "backwards on the same line, \"over\" from its end"},
    };
    for (const auto& step : steps) {
        control.ExtendTo(step.pos, step.x, true);
        ExpectSelection(step.anchor, step.cursor, step.why);
    }
}

TEST_F(TextControlTest, AfterATripleClickTheSelectionGrowsByLines)
{
    control.SelectLineAt(25);
    ExpectSelection(20, 44, "the last line, which has no line end");
    control.ExtendTo(3, X(3), true);
    ExpectSelection(44, 0, "up: from the end to the start of the line above");
    control.ExtendTo(30, X(30), true);
    ExpectSelection(20, 44, "back in the clicked line");

    control.SelectLineAt(2);
    control.ExtendTo(27, X(27), true);
    ExpectSelection(0, 44, "down: both lines");
    control.ExtendTo(20, X(20), true);
    EXPECT_EQ(control.SelectedText(), "The quick brown fox\n") << "the line end belongs to the line";
}

// A press in the selection that starts no drag keeps the way of selecting; any other plain press
// selects by characters again. Keys leave it as it is, as in Qt's editor.
TEST_F(TextControlTest, OnlyAPlainPressEndsSelectingByWords)
{
    control.SelectWordAt(12);
    control.PlaceCaret(12);
    control.MoveTo(13, false);
    control.ExtendTo(23, X(24), true);
    ExpectSelection(10, 25, "still by words, from \"brown\" to the end of \"jumps\"");
    control.Press(12);
    control.ExtendTo(22, X(22), true);
    ExpectSelection(12, 22, "by characters after a plain press");
    control.Press(3);
    control.ExtendTo(30, X(30), false);
    ExpectSelection(3, 3, "a move with nothing pressed selects nothing");
}

// A drop inside the text is one step, both ways; typed characters one after another are one step.
TEST_F(TextControlTest, UndoStepsAreWholeActions)
{
    control.SetSelection(4, 10);
    EXPECT_FALSE(control.MoveSelectedText(7)) << "into itself";
    ASSERT_TRUE(control.MoveSelectedText(20));
    const QString moved = "The brown fox\nquick jumps over the lazy dog.";
    EXPECT_EQ(Text(), moved);
    EXPECT_EQ(control.Cursor(), 20) << "after the text where it landed";
    control.Type("a", CTextUndoStack::Typing);
    control.Type("b", CTextUndoStack::Typing);
    ASSERT_TRUE(control.Undo());
    EXPECT_EQ(Text(), moved);
    ASSERT_TRUE(control.Undo());
    EXPECT_EQ(Text(), "The quick brown fox\njumps over the lazy dog.");
    EXPECT_EQ(control.Cursor(), 20) << "where the text was dropped, as in Qt's editor";
    EXPECT_FALSE(control.Undo());
    ASSERT_TRUE(control.Redo());
    EXPECT_EQ(Text(), moved);
    EXPECT_EQ(control.Cursor(), 20);
    EXPECT_EQ(view.told, Text()) << "every change was told as it was made";
}

TEST_F(TextControlTest, TypingStopsAtTheLimit)
{
    Load("ab\r\ncd");
    control.SetLimit(control.Length() + 3);
    control.MoveTo(2, false);
    EXPECT_EQ(control.Type("x\r\ny\rz", CTextUndoStack::Typing), CTextControl::Typed::Part);
    EXPECT_EQ(Text(), "abx\ny\ncd") << "line ends are one character each";
    EXPECT_EQ(control.Type("q", CTextUndoStack::Typing), CTextControl::Typed::None);
    control.SetSelection(0, 1);
    EXPECT_EQ(control.Type("Q", CTextUndoStack::Typing), CTextControl::Typed::All) << "in place of a";
    EXPECT_EQ(view.told, Text());
}
