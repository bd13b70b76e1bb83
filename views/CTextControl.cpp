#include "views/CTextControl.h"

#include "views/ITextControlView.h"

#include <algorithm>
#include <cmath>

namespace {

// Words are looked for this far around a position, so that a very long line costs no more than a
// short one.
constexpr int kWordReach = 4096;

// The text as the control holds it: every line end one character.
QString WithSingleLineEnds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// At most room characters of text, never half of a surrogate pair.
QString Clipped(const QString& text, int room)
{
    if (room <= 0)
        return {};
    if (text.size() <= room)
        return text;
    const bool splitsPair = text.at(room - 1).isHighSurrogate() && text.at(room).isLowSurrogate();
    return text.left(splitsPair ? room - 1 : room);
}

bool IsWordSeparator(QChar c)
{
    return QStringView(u".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\").contains(c);
}

// The part of pos's line within reach of it, where words are looked for.
struct LinePart
{
    LinePart(const CTextDocument& document, int pos)
        : lineStart(document.LineStart(pos)), lineEnd(document.LineEnd(pos)),
          from(std::max(lineStart, pos - kWordReach)),
          text(document.Text(from, std::min(lineEnd, pos + kWordReach)))
    {
    }
    int End() const { return from + static_cast<int>(text.size()); }
    bool Space(int pos) const { return text.at(pos - from).isSpace(); }
    bool Separator(int pos) const { return IsWordSeparator(text.at(pos - from)); }
    // Back over the blanks before at, then over the word or the run of punctuation before them.
    int BackOverWord(int at) const
    {
        while (at > from && Space(at - 1))
            --at;
        const bool punctuation = at > from && Separator(at - 1);
        while (at > from && !Space(at - 1) && Separator(at - 1) == punctuation)
            --at;
        return at;
    }
    // Over the word or the run of punctuation that starts at at, up to last.
    int OverWord(int at, int last) const
    {
        const bool punctuation = Separator(at);
        while (at < last && !Space(at) && Separator(at) == punctuation)
            ++at;
        return at;
    }

    int lineStart;
    int lineEnd;
    int from;
    QString text;
};

} // namespace

CTextControl::CTextControl(ITextControlView& view) : m_view(view) {}

void CTextControl::SetText(std::string_view text)
{
    m_document.SetText(text);
    m_undo.Clear();
    m_cursor = m_anchor = 0;
    m_goalX = -1;
    m_word = m_line = {};
}

// --- editing ----------------------------------------------------------------------------------

int CTextControl::Room() const
{
    return m_limit - (Length() - (SelectionEnd() - SelectionStart()));
}

bool CTextControl::Replace(int from, int to, const std::string& text, CTextUndoStack::Kind kind)
{
    // Backspace at the start or Delete at the end changes nothing, and leaves nothing to undo.
    if (from == to && text.empty())
        return false;
    TextEdit edit{from, m_document.Utf8(from, to), text, to - from, 0};
    const int before = Length();
    m_document.Replace(from, to, text);
    edit.insertedChars = Length() - before + (to - from);
    m_cursor = m_anchor = from + edit.insertedChars;
    m_goalX = -1;
    m_word = m_line = {};
    m_view.TextReplaced(from, edit.removedChars, edit.insertedChars, edit.removed, text);
    m_undo.Record(std::move(edit), kind);
    return true;
}

CTextControl::Typed CTextControl::Type(const QString& text, CTextUndoStack::Kind kind)
{
    const QString whole = WithSingleLineEnds(text);
    const QString fits = Clipped(whole, Room());
    if (!fits.isEmpty())
        Replace(SelectionStart(), SelectionEnd(), fits.toStdString(), kind);
    if (fits.size() == whole.size())
        return Typed::All;
    return fits.isEmpty() ? Typed::None : Typed::Part;
}

bool CTextControl::EraseSelection()
{
    return HasSelection() && Replace(SelectionStart(), SelectionEnd(), {}, CTextUndoStack::Other);
}

bool CTextControl::Erase(Erasure what)
{
    if (HasSelection())
        return EraseSelection();
    switch (what) {
    case Erasure::NextChar:
        return Replace(m_cursor, NextCharacter(m_cursor), {}, CTextUndoStack::Other);
    case Erasure::PreviousChar:
        return Replace(PreviousCharacter(m_cursor), m_cursor, {}, CTextUndoStack::Erasing);
    case Erasure::ToWordEnd:
        return Replace(m_cursor, WordBoundary(m_cursor, true), {}, CTextUndoStack::Other);
    case Erasure::ToWordStart:
        return Replace(WordBoundary(m_cursor, false), m_cursor, {}, CTextUndoStack::Other);
    }
    return false;
}

bool CTextControl::MoveSelectedText(int pos)
{
    const int start = SelectionStart();
    const int end = SelectionEnd();
    if (!HasSelection() || (pos >= start && pos <= end))
        return false;
    const std::string moved = m_document.Utf8(start, end);
    Replace(start, end, {}, CTextUndoStack::Other);
    const int at = pos > end ? pos - (end - start) : pos;
    Replace(at, at, moved, CTextUndoStack::Continuing);
    return true;
}

void CTextControl::Apply(const TextEdit& edit, bool undoing)
{
    const int removedChars = undoing ? edit.insertedChars : edit.removedChars;
    const std::string& removed = undoing ? edit.inserted : edit.removed;
    const std::string& inserted = undoing ? edit.removed : edit.inserted;
    m_document.Replace(edit.from, edit.from + removedChars, inserted);
    m_view.TextReplaced(edit.from, removedChars, undoing ? edit.removedChars : edit.insertedChars, removed,
                        inserted);
}

bool CTextControl::Undo()
{
    const TextStep step = m_undo.Undo();
    if (step.count == 0)
        return false;
    // As in Qt's editors: after what the last change erased comes back, or where its typing was,
    // moved along by the step's earlier changes as they are taken back.
    int caret = -1;
    for (std::size_t i = step.count; i-- > 0;) {
        const TextEdit& edit = step.first[i];
        Apply(edit, true);
        if (caret < 0)
            caret = edit.from + edit.removedChars;
        else if (edit.from + edit.insertedChars <= caret)
            caret += edit.removedChars - edit.insertedChars;
        else if (edit.from < caret)
            caret = edit.from + edit.removedChars;
    }
    m_cursor = m_anchor = caret;
    m_goalX = -1;
    m_word = m_line = {};
    return true;
}

bool CTextControl::Redo()
{
    const TextStep step = m_undo.Redo();
    for (std::size_t i = 0; i < step.count; ++i)
        Apply(step.first[i], false);
    if (step.count == 0)
        return false;
    const TextEdit& last = step.first[step.count - 1];
    m_cursor = m_anchor = last.from + last.insertedChars;
    m_goalX = -1;
    m_word = m_line = {};
    return true;
}

// --- the caret --------------------------------------------------------------------------------

void CTextControl::MoveTo(int pos, bool select, bool keepGoal)
{
    m_cursor = std::clamp(pos, 0, Length());
    if (!select)
        m_anchor = m_cursor;
    if (!keepGoal)
        m_goalX = -1;
    m_undo.Seal();
}

void CTextControl::SetSelection(int anchor, int cursor)
{
    m_anchor = std::clamp(anchor, 0, Length());
    MoveTo(cursor, true);
}

void CTextControl::SelectAll()
{
    SetSelection(0, Length());
}

int CTextControl::NextCharacter(int pos)
{
    return pos >= Length() ? pos : m_view.NextCursorPosition(pos);
}

int CTextControl::PreviousCharacter(int pos)
{
    return pos <= 0 ? 0 : m_view.PreviousCursorPosition(pos);
}

// The start of the next word (forward) or of this or the previous one (backward), as the usual text
// boxes step: a run of punctuation is a word of its own, the blanks after a word go with it, and a
// line end stops the step.
int CTextControl::WordBoundary(int pos, bool forward) const
{
    const LinePart line(m_document, pos);
    if (forward && pos >= line.lineEnd)
        return std::min(pos + 1, Length());
    if (!forward && pos <= line.lineStart)
        return std::max(pos - 1, 0);
    const int end = line.End();
    int at = pos;
    if (forward) {
        at = line.OverWord(at, end);
        while (at < end && line.Space(at))
            ++at;
    } else {
        at = line.BackOverWord(at);
    }
    return at;
}

bool CTextControl::IsRightToLeftLine(int pos) const
{
    const int start = m_document.LineStart(pos);
    return m_document.Text(start, std::min(m_document.LineEnd(pos), start + kWordReach)).isRightToLeft();
}

// The position rows below (or above, when negative) pos, as near as it gets to where the caret
// stood across. Past the first or the last row the caret stays in that row, as in Qt's editors.
int CTextControl::RowMove(int pos, int rows, bool* rowChanged)
{
    if (m_goalX < 0)
        m_goalX = m_view.XOf(pos);
    const int from = m_view.RowOf(pos);
    const int row = std::clamp(from + rows, 0, std::max(0, m_view.RowCount() - 1));
    if (rowChanged)
        *rowChanged = row != from;
    return m_view.PositionAt(row, m_goalX);
}

int CTextControl::MotionTarget(Motion motion, bool select, int pageRows, bool& keepGoal, bool& stay)
{
    // Left and Right follow the line's direction: in a right-to-left line Right goes back.
    if (motion <= Motion::PreviousWord && IsRightToLeftLine(m_cursor))
        motion = motion == Motion::NextChar       ? Motion::PreviousChar
                 : motion == Motion::PreviousChar ? Motion::NextChar
                 : motion == Motion::NextWord     ? Motion::PreviousWord
                                                  : Motion::NextWord;
    switch (motion) {
    case Motion::NextChar:
        return !select && HasSelection() ? SelectionEnd() : NextCharacter(m_cursor);
    case Motion::PreviousChar:
        return !select && HasSelection() ? SelectionStart() : PreviousCharacter(m_cursor);
    case Motion::NextWord:
    case Motion::PreviousWord:
        return WordBoundary(m_cursor, motion == Motion::NextWord);
    case Motion::NextRow:
    case Motion::PreviousRow: {
        bool rowChanged = false;
        const int pos = RowMove(m_cursor, motion == Motion::NextRow ? 1 : -1, &rowChanged);
        // Up in the first row and Down in the last change nothing, the selection included, even
        // where another position of a mixed-direction row shares the caret's x. With Shift they
        // select to the start or the end of the text, as Qt's editors do.
        stay = !rowChanged && !select;
        keepGoal = rowChanged;
        if (!rowChanged && select)
            return motion == Motion::NextRow ? Length() : 0;
        return pos;
    }
    case Motion::RowStart:
        return m_view.PositionAt(m_view.RowOf(m_cursor), -1.0);
    case Motion::RowEnd:
        return m_view.RowEnd(m_view.RowOf(m_cursor));
    case Motion::TextStart:
        return 0;
    case Motion::TextEnd:
        return Length();
    case Motion::NextPage:
    case Motion::PreviousPage:
        keepGoal = true;
        return RowMove(m_cursor, motion == Motion::NextPage ? pageRows : -pageRows, nullptr);
    }
    return m_cursor;
}

bool CTextControl::Move(Motion motion, bool select, int pageRows)
{
    bool keepGoal = false;
    bool stay = false;
    const int pos = MotionTarget(motion, select, pageRows, keepGoal, stay);
    if (!stay)
        MoveTo(pos, select, keepGoal);
    return !stay;
}

// --- the mouse --------------------------------------------------------------------------------

void CTextControl::Press(int pos)
{
    m_word = m_line = {};
    MoveTo(pos, false);
}

void CTextControl::PlaceCaret(int pos)
{
    MoveTo(pos, false);
}

// As Qt's editors find a word's start from a position: from inside the word or just after it, and
// from the blanks after it; at a line's end after a blank or punctuation there is none.
bool CTextControl::WordStart(int pos, int& start) const
{
    const LinePart line(m_document, pos);
    start = pos;
    if (pos == line.lineStart)
        return true;
    if (pos == line.lineEnd && (line.Space(pos - 1) || line.Separator(pos - 1)))
        return false;
    start = line.BackOverWord(pos < line.lineEnd ? pos + 1 : pos);
    return true;
}

bool CTextControl::WordEnd(int pos, int& end) const
{
    const LinePart line(m_document, pos);
    end = pos;
    if (pos >= line.lineEnd)
        return false;
    end = line.OverWord(pos, line.End());
    return true;
}

void CTextControl::SelectWordAt(int pos)
{
    int start = pos;
    int end = pos;
    if (!WordStart(pos, start))
        start = pos;
    if (!WordEnd(start, end))
        end = start;
    m_word = {start, end};
    SetSelection(start, end);
}

// The whole line with its line end.
void CTextControl::SelectLineAt(int pos)
{
    const int end = m_document.LineEnd(pos);
    m_line = {m_document.LineStart(pos), end < Length() ? end + 1 : end};
    SetSelection(m_line.start, m_line.end);
}

void CTextControl::ExtendTo(int pos, double x, bool byCharacters)
{
    if (!m_line.IsEmpty())
        ExtendByLines(pos);
    else if (!m_word.IsEmpty())
        ExtendByWords(pos, x);
    else if (byCharacters)
        MoveTo(pos, true);
}

// From the far end of the double-clicked word to the nearer end of the word under x, so that the
// clicked word stays selected whichever way the selection grows. Over the blanks between words, or
// where the word under x ends in another row, the selection stays as it is.
void CTextControl::ExtendByWords(int pos, double x)
{
    if (pos >= m_word.start && pos <= m_word.end) {
        SetSelection(m_word.start, m_word.end);
        return;
    }
    int start = 0;
    int end = 0;
    if (!WordStart(pos, start) || !WordEnd(start, end) || end == start ||
        m_view.RowOf(start) != m_view.RowOf(end))
        return;
    const double startX = m_view.XOf(start);
    const double endX = m_view.XOf(end);
    if (x < std::min(startX, endX) || x > std::max(startX, endX))
        return;
    m_anchor = pos < m_word.start ? m_word.end : m_word.start;
    MoveTo(std::abs(x - startX) < std::abs(endX - x) ? start : end, true);
}

// From the far end of the triple-clicked line to the start of the line above it or past the end of
// the line below it.
void CTextControl::ExtendByLines(int pos)
{
    if (pos >= m_line.start && pos <= m_line.end) {
        SetSelection(m_line.start, m_line.end);
        return;
    }
    if (pos < m_line.start) {
        m_anchor = m_line.end;
        MoveTo(m_document.LineStart(pos), true);
    } else {
        m_anchor = m_line.start;
        const int end = m_document.LineEnd(pos);
        MoveTo(end < Length() ? end + 1 : end, true);
    }
}
