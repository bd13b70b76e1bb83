#include "views/CRichEditCtrlEx.h"

#include "platform/qt/CCommandRouter.h"
#include "views/CSpelling.h"
#include "views/CTextBoxAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// Room around the text, as the Windows rich edit left it.
constexpr int kMargin = 4;

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

// Characters typed, not a command: Ctrl, Meta and Alt make a key a command. AltGr, which some
// layouts need for ordinary characters, arrives as the group switch and stays text.
bool IsTypedText(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers();
    const bool alt = (mods & Qt::AltModifier) && !(mods & Qt::GroupSwitchModifier);
    return !key->text().isEmpty() && key->text().at(0).isPrint() &&
           !(mods & (Qt::ControlModifier | Qt::MetaModifier)) && !alt;
}

bool IsWordSeparator(QChar c)
{
    return QStringView(u".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\").contains(c);
}

bool IsWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c.isMark();
}

} // namespace

CRichEditCtrlEx::CRichEditCtrlEx(QWidget* parent) : QAbstractScrollArea(parent), m_layouter(m_document)
{
    static const bool accessible = (QAccessible::installFactory(&CTextBoxAccessible::Create), true);
    (void)accessible;
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_KeyCompression, false);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(20);
    m_layouter.SetFont(font());
}

CRichEditCtrlEx::~CRichEditCtrlEx() = default;

// --- text -------------------------------------------------------------------------------------

void CRichEditCtrlEx::SetText(std::string_view text)
{
    m_document.SetText(text);
    m_layouter.TextReplaced();
    m_misspelt.clear();
    m_undo.Clear();
    m_cursor = m_anchor = m_topPos = 0;
    m_goalX = -1;
    m_modified = false;
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

std::string CRichEditCtrlEx::GetText(std::string_view lineEnd) const
{
    std::size_t size = 0;
    ForEachTextPiece(lineEnd, [&](std::string_view piece) { size += piece.size(); });
    std::string text;
    text.reserve(size);
    ForEachTextPiece(lineEnd, [&](std::string_view piece) { text += piece; });
    return text;
}

// Other line ends than the document's go through a block, so that the pieces are few and large.
void CRichEditCtrlEx::ForEachTextPiece(std::string_view lineEnd,
                                       const std::function<void(std::string_view)>& put) const
{
    if (lineEnd == "\n") {
        m_document.ForEachPiece([&](std::string_view piece) { put(piece); });
        return;
    }
    constexpr std::size_t kBlock = 64 * 1024;
    std::string block;
    block.reserve(kBlock + lineEnd.size());
    m_document.ForEachPiece([&](std::string_view piece) {
        for (std::size_t from = 0; from < piece.size();) {
            const std::size_t end = std::min(piece.find('\n', from), piece.size());
            block.append(piece, from, end - from);
            if (end < piece.size())
                block += lineEnd;
            from = end + 1;
            if (block.size() >= kBlock) {
                put(block);
                block.clear();
            }
        }
    });
    if (!block.empty())
        put(block);
}

bool CRichEditCtrlEx::Holds(std::string_view text, std::string_view lineEnd) const
{
    std::size_t at = 0;
    bool same = true;
    m_document.ForEachPiece([&](std::string_view piece) {
        if (lineEnd == "\n") {
            same = same && text.substr(at, piece.size()) == piece;
            at += piece.size();
            return;
        }
        for (std::size_t i = 0; same && i < piece.size(); ++i) {
            const std::string_view expected = piece[i] == '\n' ? lineEnd : piece.substr(i, 1);
            same = text.substr(at, expected.size()) == expected;
            at += expected.size();
        }
    });
    return same && at == text.size();
}

void CRichEditCtrlEx::setLineWrapMode(LineWrapMode mode)
{
    m_layouter.SetWrap(mode == WidgetWidth);
    setHorizontalScrollBarPolicy(mode == WidgetWidth ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

int CRichEditCtrlEx::Room() const
{
    return m_limit - (m_document.Length() - (SelectionEnd() - SelectionStart()));
}

void CRichEditCtrlEx::Replace(int from, int to, const std::string& text, CTextUndoStack::Kind kind)
{
    // Backspace at the start or Delete at the end changes nothing, and leaves nothing to undo.
    if (from == to && text.empty())
        return;
    TextEdit edit{from, m_document.Utf8(from, to), text, to - from, 0};
    const int before = m_document.Length();
    const bool hadSelection = HasSelection();
    m_document.Replace(from, to, text);
    edit.insertedChars = m_document.Length() - before + (to - from);
    m_layouter.Invalidate();
    m_cursor = m_anchor = from + edit.insertedChars;
    if (m_topPos > from)
        m_topPos = m_topPos >= to ? m_topPos + m_document.Length() - before : from;
    TellChange(from, edit.removed, text);
    m_undo.Record(std::move(edit), kind);
    m_misspelt.clear();
    m_modified = true;
    m_goalX = -1;
    emit textChanged();
    if (hadSelection) {
        emit selectionChanged();
        TellSelection();
    }
    TellCaret();
    EnsureVisible(m_cursor);
    StartBlink();
}

bool CRichEditCtrlEx::InsertTyped(QString text, CTextUndoStack::Kind kind)
{
    text = WithSingleLineEnds(std::move(text));
    const QString fits = Clipped(text, Room());
    if (fits.size() < text.size())
        emit limitReached();
    if (fits.isEmpty())
        return false;
    Replace(SelectionStart(), SelectionEnd(), fits.toStdString(), kind);
    return true;
}

void CRichEditCtrlEx::InsertText(const QString& text)
{
    if (text.isEmpty())
        EraseSelection();
    else
        InsertTyped(text, CTextUndoStack::Other);
}

void CRichEditCtrlEx::InsertFromMimeData(const QMimeData* source)
{
    if (source && source->hasText())
        InsertTyped(source->text(), CTextUndoStack::Other);
}

void CRichEditCtrlEx::EraseSelection()
{
    if (HasSelection())
        Replace(SelectionStart(), SelectionEnd(), {}, CTextUndoStack::Other);
}

void CRichEditCtrlEx::ApplyUndo(bool redoing)
{
    const TextEdit* edit = redoing ? m_undo.Redo() : m_undo.Undo();
    if (!edit)
        return;
    if (redoing) {
        m_document.Replace(edit->from, edit->from + edit->removedChars, edit->inserted);
        TellChange(edit->from, edit->removed, edit->inserted);
        m_cursor = m_anchor = edit->from + edit->insertedChars;
    } else {
        m_document.Replace(edit->from, edit->from + edit->insertedChars, edit->removed);
        TellChange(edit->from, edit->inserted, edit->removed);
        // As in Qt's editors: after what was erased comes back, or where the typing was.
        m_cursor = m_anchor = edit->from + edit->removedChars;
    }
    m_layouter.Invalidate();
    m_misspelt.clear();
    m_topPos = std::min(m_topPos, m_document.Length());
    m_modified = true;
    emit textChanged();
    emit selectionChanged();
    if (HasSelection())
        TellSelection();
    TellCaret();
    EnsureVisible(m_cursor);
}

void CRichEditCtrlEx::cut()
{
    if (!HasSelection())
        return;
    copy();
    EraseSelection();
}

void CRichEditCtrlEx::copy()
{
    if (!HasSelection())
        return;
    auto* data = new QMimeData;
    data->setText(SelectedText());
    QApplication::clipboard()->setMimeData(data);
}

void CRichEditCtrlEx::paste()
{
    InsertFromMimeData(QApplication::clipboard()->mimeData());
}

void CRichEditCtrlEx::selectAll()
{
    m_anchor = 0;
    MoveTo(m_document.Length(), true);
}

void CRichEditCtrlEx::undo()
{
    ApplyUndo(false);
}

void CRichEditCtrlEx::redo()
{
    ApplyUndo(true);
}

// --- the caret --------------------------------------------------------------------------------

void CRichEditCtrlEx::SetSelection(int anchor, int cursor)
{
    m_anchor = std::clamp(anchor, 0, m_document.Length());
    MoveTo(cursor, true);
    // The anchor moved before MoveTo could see it.
    TellSelection();
}

void CRichEditCtrlEx::MoveTo(int pos, bool select, bool keepGoal)
{
    const int oldCursor = m_cursor;
    const int oldAnchor = m_anchor;
    m_cursor = std::clamp(pos, 0, m_document.Length());
    if (!select)
        m_anchor = m_cursor;
    // The word the caret left may now be marked.
    if (m_spellChecking && oldCursor != m_cursor)
        m_misspelt.clear();
    if (!keepGoal)
        m_goalX = -1;
    m_undo.Seal();
    if ((oldAnchor != oldCursor || m_anchor != m_cursor) &&
        (oldAnchor != m_anchor || oldCursor != m_cursor)) {
        emit selectionChanged();
        TellSelection();
    }
    TellCaret();
    EnsureVisible(m_cursor);
    StartBlink();
}

int CRichEditCtrlEx::NextCharacter(int pos) const
{
    if (pos >= m_document.Length())
        return pos;
    const std::size_t unit = m_document.UnitAt(pos);
    const int start = static_cast<int>(m_document.Unit(unit).charStart);
    if (pos >= m_document.UnitTextEnd(unit))
        return pos + 1;
    return start + m_layouter.Layout(unit).nextCursorPosition(pos - start);
}

int CRichEditCtrlEx::PreviousCharacter(int pos) const
{
    if (pos <= 0)
        return 0;
    const std::size_t unit = m_document.UnitAt(pos);
    const int start = static_cast<int>(m_document.Unit(unit).charStart);
    if (pos == start)
        return pos - 1 - (pos >= 2 && m_document.Text(pos - 2, pos).at(0).isHighSurrogate() ? 1 : 0);
    return start + m_layouter.Layout(unit).previousCursorPosition(pos - start);
}

// The start of the next word (forward) or of this or the previous one (backward), as the usual text
// boxes step: words are letters, digits and marks; a line end stops the step.
int CRichEditCtrlEx::WordBoundary(int pos, bool forward) const
{
    const int lineStart = m_document.LineStart(pos);
    const int lineEnd = m_document.LineEnd(pos);
    if (forward && pos >= lineEnd)
        return std::min(pos + 1, m_document.Length());
    if (!forward && pos <= lineStart)
        return std::max(pos - 1, 0);
    // Only the neighbourhood is read, so a very long line costs no more than a short one.
    const int from = std::max(lineStart, pos - 4096);
    const int to = std::min(lineEnd, pos + 4096);
    const QString text = m_document.Text(from, to);
    const int size = static_cast<int>(text.size());
    const auto space = [&](int i) { return text.at(i).isSpace(); };
    const auto separator = [&](int i) { return IsWordSeparator(text.at(i)); };
    // As Qt's editors step: a run of punctuation is a word of its own, and the blanks after a
    // word go with it.
    int at = pos - from;
    if (forward) {
        if (separator(at)) {
            while (at < size && separator(at))
                ++at;
        } else {
            while (at < size && !space(at) && !separator(at))
                ++at;
        }
        while (at < size && space(at))
            ++at;
    } else {
        while (at > 0 && space(at - 1))
            --at;
        if (at > 0 && separator(at - 1)) {
            while (at > 0 && separator(at - 1))
                --at;
        } else {
            while (at > 0 && !space(at - 1) && !separator(at - 1))
                --at;
        }
    }
    return from + at;
}

// The position rows below (or above, when negative) pos, as near as it gets to where the caret
// stood across.
int CRichEditCtrlEx::RowMove(int pos, int rows, bool* rowChanged)
{
    if (m_goalX < 0)
        m_goalX = m_layouter.XOf(pos);
    // Past the first or the last row the caret stays in that row, as in Qt's editors.
    const int from = m_layouter.RowOf(pos);
    const int row = std::clamp(from + rows, 0, std::max(0, m_document.TotalRows() - 1));
    if (rowChanged)
        *rowChanged = row != from;
    return m_layouter.PositionAt(row, m_goalX);
}

bool CRichEditCtrlEx::IsRightToLeftLine(int pos) const
{
    const int start = m_document.LineStart(pos);
    return m_document.Text(start, std::min(m_document.LineEnd(pos), start + 4096)).isRightToLeft();
}

// The word the position is in, or the word it ends: a double click's word.
void CRichEditCtrlEx::SelectWordAt(int pos)
{
    const int from = std::max(m_document.LineStart(pos), pos - 4096);
    const QString text = m_document.Text(from, std::min(m_document.LineEnd(pos), pos + 4096));
    const int at = pos - from;
    const bool wordAfter = at < text.size() && IsWordCharacter(text.at(at));
    const bool wordBefore = at > 0 && IsWordCharacter(text.at(at - 1));
    if (!wordAfter && !wordBefore)
        return;
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(at);
    const int end = wordAfter ? words.toNextBoundary() : at;
    words.setPosition(at);
    const int start = wordBefore && !(words.isAtBoundary() && wordAfter) ? words.toPreviousBoundary() : at;
    if (start < 0 || end <= start)
        return;
    SetSelection(from + start, from + end);
}

// The whole line with its line end: a triple click's line.
void CRichEditCtrlEx::SelectLineAt(int pos)
{
    const int end = m_document.LineEnd(pos);
    SetSelection(m_document.LineStart(pos), end < m_document.Length() ? end + 1 : end);
}

bool CRichEditCtrlEx::MoveByKey(QKeyEvent* event)
{
    struct Motion
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        int what;
    };
    enum
    {
        NextChar,
        PreviousChar,
        NextWord,
        PreviousWord,
        NextLine,
        PreviousLine,
        LineStart,
        LineEnd,
        DocumentStart,
        DocumentEnd,
        NextPage,
        PreviousPage
    };
    static const Motion motions[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, NextChar},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, PreviousChar},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, NextWord},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, PreviousWord},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, NextLine},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, PreviousLine},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, LineStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, LineEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, DocumentStart},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, DocumentEnd},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, NextPage},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, PreviousPage},
    };
    for (const Motion& motion : motions) {
        const bool select = event->matches(motion.select);
        if (!select && !event->matches(motion.move))
            continue;
        int pos = m_cursor;
        bool keepGoal = false;
        bool stay = false;
        // Left and Right follow the line's direction: in a right-to-left line Right goes back.
        int what = motion.what;
        if (what <= PreviousWord && IsRightToLeftLine(m_cursor))
            what = what == NextChar       ? PreviousChar
                   : what == PreviousChar ? NextChar
                   : what == NextWord     ? PreviousWord
                                          : NextWord;
        switch (what) {
        case NextChar:
            pos = !select && HasSelection() ? SelectionEnd() : NextCharacter(m_cursor);
            break;
        case PreviousChar:
            pos = !select && HasSelection() ? SelectionStart() : PreviousCharacter(m_cursor);
            break;
        case NextWord:
        case PreviousWord:
            pos = WordBoundary(m_cursor, what == NextWord);
            break;
        case NextLine:
        case PreviousLine: {
            bool rowChanged = false;
            pos = RowMove(m_cursor, motion.what == NextLine ? 1 : -1, &rowChanged);
            // Up in the first row and Down in the last change nothing, the selection included,
            // even where another position of a mixed-direction row shares the caret's x.
            // With Shift they select to the start or the end of the text, as Qt's editors do.
            if (!rowChanged && select)
                pos = motion.what == NextLine ? m_document.Length() : 0;
            stay = !rowChanged && !select;
            keepGoal = rowChanged;
            break;
        }
        case LineStart:
            pos = m_layouter.RowStart(m_layouter.RowOf(m_cursor));
            break;
        case LineEnd:
            pos = m_layouter.RowEnd(m_layouter.RowOf(m_cursor));
            break;
        case DocumentStart:
            pos = 0;
            break;
        case DocumentEnd:
            pos = m_document.Length();
            break;
        case NextPage:
        case PreviousPage: {
            const int rows = (motion.what == NextPage ? 1 : -1) * std::max(1, VisibleRows() - 1);
            pos = RowMove(m_cursor, rows);
            SetTopRow(TopRow() + rows);
            keepGoal = true;
            break;
        }
        }
        if (!stay)
            MoveTo(pos, select, keepGoal);
        // A selecting key tells the selection even when it could not grow, as Qt's editors do;
        // paging does not.
        if (select && what != NextPage && what != PreviousPage)
            TellSelection();
        return true;
    }
    return false;
}

bool CRichEditCtrlEx::EditByKey(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::Cut))
        cut();
    else if (event->matches(QKeySequence::Paste))
        paste();
    else if (event->matches(QKeySequence::Undo))
        undo();
    else if (event->matches(QKeySequence::Redo))
        redo();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->matches(QKeySequence::DeleteEndOfWord))
        HasSelection() ? EraseSelection()
                       : Replace(m_cursor, WordBoundary(m_cursor, true), {}, CTextUndoStack::Other);
    else if (event->matches(QKeySequence::DeleteStartOfWord))
        HasSelection() ? EraseSelection()
                       : Replace(WordBoundary(m_cursor, false), m_cursor, {}, CTextUndoStack::Other);
    else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier))
        HasSelection() ? EraseSelection()
                       : Replace(PreviousCharacter(m_cursor), m_cursor, {}, CTextUndoStack::Erasing);
    else if (event->matches(QKeySequence::Delete))
        HasSelection() ? EraseSelection()
                       : Replace(m_cursor, NextCharacter(m_cursor), {}, CTextUndoStack::Other);
    else if (event->matches(QKeySequence::InsertParagraphSeparator) ||
             event->matches(QKeySequence::InsertLineSeparator))
        InsertTyped(QStringLiteral("\n"), CTextUndoStack::Typing);
    else if (event->key() == Qt::Key_Tab && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        InsertTyped(QStringLiteral("\t"), CTextUndoStack::Typing);
    else if (IsTypedText(event))
        InsertTyped(event->text(), CTextUndoStack::Typing);
    else
        return false;
    return true;
}

void CRichEditCtrlEx::keyPressEvent(QKeyEvent* event)
{
    if (MoveByKey(event) || EditByKey(event)) {
        // What the keys leave selected is offered to middle-click paste, as in Qt's editors.
        if (HasSelection())
            SetPrimarySelection();
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

// The keys the box gives a meaning to are its own, not the window's shortcuts.
bool CRichEditCtrlEx::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (IsTypedText(key) || CCommandRouter::IsEditingKey(QKeySequence(key->keyCombination()))) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

// Tab types a tab, as in the rich edit box.
bool CRichEditCtrlEx::focusNextPrevChild(bool)
{
    return false;
}

// --- the view ---------------------------------------------------------------------------------

QPointF CRichEditCtrlEx::TextOrigin() const
{
    return QPointF(kMargin - horizontalScrollBar()->value(), kMargin);
}

int CRichEditCtrlEx::VisibleRows() const
{
    return std::max(1, (viewport()->height() - kMargin) / m_layouter.RowHeight());
}

void CRichEditCtrlEx::SetTopRow(int row)
{
    const int last = std::max(0, m_document.TotalRows() - VisibleRows());
    m_topPos = m_layouter.RowStart(std::clamp(row, 0, last));
    UpdateScrollBars();
    viewport()->update();
}

void CRichEditCtrlEx::EnsureVisible(int pos)
{
    // Laying out the rows on the way can change how many there are; a few rounds settle it.
    for (int round = 0; round < 4; ++round) {
        const int row = m_layouter.RowOf(pos);
        const int top = TopRow();
        if (row < top)
            SetTopRow(row);
        else if (row >= top + VisibleRows())
            SetTopRow(row - VisibleRows() + 1);
        else
            break;
    }
    if (!m_layouter.Wraps()) {
        QScrollBar& bar = *horizontalScrollBar();
        const int x = static_cast<int>(m_layouter.XOf(pos));
        const int width = viewport()->width() - 2 * kMargin;
        bar.setMaximum(std::max(bar.maximum(), x));
        if (x < bar.value())
            bar.setValue(std::max(0, x - width / 4));
        else if (x > bar.value() + width - 1)
            bar.setValue(x - width + width / 4);
    }
    UpdateScrollBars();
    viewport()->update();
}

void CRichEditCtrlEx::UpdateScrollBars()
{
    m_scrolling = true;
    QScrollBar& vertical = *verticalScrollBar();
    vertical.setRange(0, std::max(0, m_document.TotalRows() - VisibleRows()));
    vertical.setPageStep(VisibleRows());
    vertical.setValue(TopRow());
    QScrollBar& horizontal = *horizontalScrollBar();
    if (m_layouter.Wraps()) {
        horizontal.setRange(0, 0);
    } else {
        const int width = viewport()->width() - 2 * kMargin;
        const int widest = static_cast<int>(std::ceil(m_layouter.WidestLine()));
        horizontal.setRange(0, std::max({0, widest - width + 1, horizontal.value()}));
        horizontal.setPageStep(std::max(1, width));
    }
    m_scrolling = false;
}

void CRichEditCtrlEx::scrollContentsBy(int, int dy)
{
    if (!m_scrolling && dy != 0)
        m_topPos = m_layouter.RowStart(verticalScrollBar()->value());
    viewport()->update();
}

void CRichEditCtrlEx::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_layouter.SetWidth(viewport()->width() - 2 * kMargin);
    UpdateScrollBars();
}

void CRichEditCtrlEx::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_layouter.SetFont(font());
        UpdateScrollBars();
        viewport()->update();
    }
}

int CRichEditCtrlEx::PositionAt(const QPoint& point) const
{
    const QPointF origin = TextOrigin();
    const int y = std::max(0, point.y() - static_cast<int>(origin.y()));
    return m_layouter.PositionAt(TopRow() + y / m_layouter.RowHeight(), point.x() - origin.x());
}

void CRichEditCtrlEx::TellAccessibility(QAccessibleEvent& event)
{
    if (QAccessible::isActive())
        QAccessible::updateAccessibility(&event);
}

void CRichEditCtrlEx::TellChange(int from, const std::string& removed, const std::string& inserted)
{
    if (!QAccessible::isActive())
        return;
    if (!removed.empty()) {
        QAccessibleTextRemoveEvent event(this, from, QString::fromStdString(removed));
        TellAccessibility(event);
    }
    if (!inserted.empty()) {
        QAccessibleTextInsertEvent event(this, from, QString::fromStdString(inserted));
        TellAccessibility(event);
    }
}

// As Qt's editors tell it: from the anchor to the caret.
void CRichEditCtrlEx::TellSelection()
{
    QAccessibleTextSelectionEvent event(this, m_anchor, m_cursor);
    TellAccessibility(event);
}

void CRichEditCtrlEx::TellCaret()
{
    QAccessibleTextCursorEvent event(this, m_cursor);
    TellAccessibility(event);
}

QRect CRichEditCtrlEx::CharacterRect(int pos) const
{
    const QRect caret = CursorRect(pos);
    const int next = std::min(pos + 1, m_document.Length());
    const QRect after = CursorRect(next);
    const int width = after.top() == caret.top() ? std::max(1, after.left() - caret.left()) : 1;
    return QRect(caret.left(), caret.top(), width, caret.height());
}

QRect CRichEditCtrlEx::CursorRect(int pos) const
{
    const QPointF origin = TextOrigin();
    const int row = m_layouter.RowOf(pos) - TopRow();
    return QRect(static_cast<int>(origin.x() + m_layouter.XOf(pos)),
                 static_cast<int>(origin.y()) + row * m_layouter.RowHeight(), 1, m_layouter.RowHeight());
}

int CRichEditCtrlEx::FirstVisibleLine()
{
    int line = -1;
    for (std::size_t u = 0; u <= m_document.UnitAt(m_topPos); ++u)
        line += m_document.Unit(u).lineStart ? 1 : 0;
    return line;
}

void CRichEditCtrlEx::SelectAndScroll(int startChar, int endChar)
{
    setFocus(Qt::OtherFocusReason);
    const int last = m_document.Length();
    const int start = std::clamp(startChar, 0, last);
    // From the bottom, making the start visible puts its row at the top.
    SetTopRow(m_layouter.RowOf(start));
    m_anchor = start;
    m_cursor = std::clamp(endChar, 0, last);
    m_goalX = -1;
    m_undo.Seal();
    m_misspelt.clear();
    emit selectionChanged();
    // A screen reader says where the hit is.
    TellSelection();
    TellCaret();
    StartBlink();
    viewport()->update();
}

// --- spelling ---------------------------------------------------------------------------------

void CRichEditCtrlEx::SetSpellChecking(bool on)
{
    if (on == m_spellChecking)
        return;
    m_spellChecking = on;
    CSpelling& spelling = CSpelling::Instance();
    if (on)
        connect(&spelling, &CSpelling::Changed, this, &CRichEditCtrlEx::SpellingChanged);
    else
        disconnect(&spelling, nullptr, this, nullptr);
    SpellingChanged();
}

void CRichEditCtrlEx::SpellingChanged()
{
    m_misspelt.clear();
    viewport()->update();
}

const std::vector<SpellWord>& CRichEditCtrlEx::MisspeltWords(std::size_t unit)
{
    if (const auto known = m_misspelt.find(unit); known != m_misspelt.end())
        return known->second;
    std::vector<SpellWord>& misspelt = m_misspelt[unit];
    CSpelling& spelling = CSpelling::Instance();
    if (!m_spellChecking || !spelling.IsOn())
        return misspelt;
    const int start = static_cast<int>(m_document.Unit(unit).charStart);
    const QString text = m_document.UnitText(unit);
    const std::u16string_view view(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
    for (const SpellWord& word : WordsToCheck(view)) {
        if (hasFocus() && start + word.start + word.length == m_cursor)
            continue;
        if (spelling.IsMisspelt(text.mid(word.start, word.length)))
            misspelt.push_back(word);
    }
    return misspelt;
}

bool CRichEditCtrlEx::MisspeltWordAt(int pos, int& start, int& end)
{
    const std::size_t unit = m_document.UnitAt(pos);
    const int unitStart = static_cast<int>(m_document.Unit(unit).charStart);
    for (const SpellWord& word : MisspeltWords(unit)) {
        if (pos >= unitStart + word.start && pos <= unitStart + word.start + word.length) {
            start = unitStart + word.start;
            end = start + word.length;
            return true;
        }
    }
    return false;
}

void CRichEditCtrlEx::ReplaceRange(int start, int end, const QString& text)
{
    SetSelection(start, end);
    InsertText(text);
}

// --- painting ---------------------------------------------------------------------------------

void CRichEditCtrlEx::PaintUnit(QPainter& painter, std::size_t unit, const QPointF& at, const QRect& clip)
{
    QTextLayout& layout = m_layouter.Layout(unit);
    const int start = static_cast<int>(m_document.Unit(unit).charStart);
    const int end = m_document.UnitTextEnd(unit);
    QList<QTextLayout::FormatRange> selections;
    for (const SpellWord& word : MisspeltWords(unit)) {
        QTextLayout::FormatRange misspelt;
        misspelt.start = word.start;
        misspelt.length = word.length;
        misspelt.format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
        misspelt.format.setUnderlineColor(Qt::red);
        selections.append(misspelt);
    }
    const int from = std::max(SelectionStart(), start);
    const int to = std::min(SelectionEnd(), end);
    if (to > from) {
        QTextLayout::FormatRange selection;
        selection.start = from - start;
        selection.length = to - from;
        selection.format.setBackground(palette().brush(QPalette::Highlight));
        selection.format.setForeground(palette().brush(QPalette::HighlightedText));
        selections.append(selection);
    }
    layout.draw(&painter, at, selections, clip);
    const auto caretHere = [&](int pos) {
        return pos >= start && pos <= end && m_document.UnitAt(pos) == unit;
    };
    if (m_caretShown && hasFocus() && caretHere(m_cursor))
        layout.drawCursor(&painter, at, m_cursor - start + static_cast<int>(m_preedit.size()), 1);
    if (m_dropCaret >= 0 && caretHere(m_dropCaret))
        layout.drawCursor(&painter, at, m_dropCaret - start, 1);
}

void CRichEditCtrlEx::paintEvent(QPaintEvent* event)
{
    const int rowsBefore = m_document.TotalRows();
    PaintRows(event->rect());
    // Rows laid out for the first time may have changed how far the text scrolls.
    if (m_document.TotalRows() != rowsBefore)
        QMetaObject::invokeMethod(this, &CRichEditCtrlEx::UpdateScrollBars, Qt::QueuedConnection);
}

void CRichEditCtrlEx::PaintRows(const QRect& clip)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QPointF origin = TextOrigin();
    const int height = m_layouter.RowHeight();
    const int top = TopRow();
    const int bottom = top + viewport()->height() / height + 1;
    for (int row = top; row <= bottom && row < m_document.TotalRows();) {
        int unitRow = 0;
        std::size_t unit = m_layouter.UnitAtRow(row, unitRow);
        const qreal y = origin.y() + (unitRow - top) * height;
        if (m_layouter.Wraps()) {
            PaintUnit(painter, unit, QPointF(origin.x(), y), clip);
            row = unitRow + std::max(1, m_document.Unit(unit).rows);
            continue;
        }
        // The units of the line that lie across the view, side by side.
        const std::size_t last = m_document.LineLastUnit(unit);
        const qreal left = horizontalScrollBar()->value();
        const qreal right = left + viewport()->width();
        for (qreal x = 0; unit <= last && x < right; ++unit) {
            if (x + m_layouter.UnitWidth(unit) >= left) {
                PaintUnit(painter, unit, QPointF(origin.x() + x, y), clip);
            }
            x += m_layouter.UnitWidth(unit);
        }
        ++row;
    }
}

void CRichEditCtrlEx::StartBlink()
{
    m_caretShown = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
    viewport()->update();
}

void CRichEditCtrlEx::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_blink.timerId()) {
        m_caretShown = !m_caretShown;
        viewport()->update(CursorRect(m_cursor).adjusted(-1, 0, 1, 0));
    } else if (event->timerId() == m_autoScroll.timerId()) {
        const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
        if (at.y() < 0)
            SetTopRow(TopRow() - 1);
        else if (at.y() > viewport()->height())
            SetTopRow(TopRow() + 1);
        MoveTo(PositionAt(at), true);
    } else if (event->timerId() == m_tripleClick.timerId()) {
        m_tripleClick.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void CRichEditCtrlEx::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    m_misspelt.clear();
    StartBlink();
}

void CRichEditCtrlEx::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    m_misspelt.clear();
    viewport()->update();
}

// --- the mouse, the input method and drag and drop ----------------------------------------------

void CRichEditCtrlEx::mousePressEvent(QMouseEvent* event)
{
    const int pos = PositionAt(event->position().toPoint());
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
        const bool hadSelection = HasSelection();
        MoveTo(pos, false);
        InsertTyped(QApplication::clipboard()->text(QClipboard::Selection), CTextUndoStack::Other);
        if (hadSelection)
            TellSelection();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_tripleClick.isActive() && (event->position().toPoint() - m_tripleClickAt).manhattanLength() <
                                        QApplication::startDragDistance()) {
        m_tripleClick.stop();
        SelectLineAt(pos);
        return;
    }
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    if (!extend && HasSelection() && pos > SelectionStart() && pos < SelectionEnd()) {
        m_mayDrag = true;
        m_pressAt = event->position().toPoint();
        return;
    }
    MoveTo(pos, extend);
    // A click always tells where the selection now is, empty or not.
    TellSelection();
    m_selecting = true;
}

void CRichEditCtrlEx::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_mayDrag) {
        if ((at - m_pressAt).manhattanLength() < QApplication::startDragDistance())
            return;
        m_mayDrag = false;
        auto* data = new QMimeData;
        data->setText(SelectedText());
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
        if (done == Qt::MoveAction && drag->target() != viewport())
            EraseSelection();
        return;
    }
    if (!m_selecting)
        return;
    MoveTo(PositionAt(at), true);
    if (viewport()->rect().contains(at))
        m_autoScroll.stop();
    else if (!m_autoScroll.isActive())
        m_autoScroll.start(50, this);
}

void CRichEditCtrlEx::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_mayDrag)
        MoveTo(PositionAt(event->position().toPoint()), false);
    m_mayDrag = false;
    m_selecting = false;
    m_autoScroll.stop();
    SetPrimarySelection();
}

void CRichEditCtrlEx::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    SelectWordAt(PositionAt(event->position().toPoint()));
    SetPrimarySelection();
    m_tripleClickAt = event->position().toPoint();
    m_tripleClick.start(QApplication::doubleClickInterval(), this);
}

void CRichEditCtrlEx::SetPrimarySelection()
{
    QClipboard* clipboard = QApplication::clipboard();
    if (HasSelection() && clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

void CRichEditCtrlEx::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos());
    event->accept();
}

void CRichEditCtrlEx::inputMethodEvent(QInputMethodEvent* event)
{
    if (event->replacementLength() > 0) {
        m_anchor = std::clamp(m_cursor + event->replacementStart(), 0, m_document.Length());
        m_cursor = std::clamp(m_anchor + event->replacementLength(), 0, m_document.Length());
    }
    if (!event->commitString().isEmpty())
        InsertTyped(event->commitString(), CTextUndoStack::Typing);
    else if (event->replacementLength() > 0)
        EraseSelection();
    m_preedit = event->preeditString();
    m_layouter.SetPreedit(m_cursor, m_preedit);
    viewport()->update();
    event->accept();
}

QVariant CRichEditCtrlEx::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const int lineStart = m_document.LineStart(m_cursor);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return CursorRect(m_cursor);
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return m_cursor - lineStart;
    case Qt::ImAnchorPosition:
        return std::clamp(m_anchor - lineStart, 0, m_document.LineEnd(m_cursor) - lineStart);
    case Qt::ImSurroundingText:
        return m_document.Text(lineStart, std::min(m_document.LineEnd(m_cursor), lineStart + 4096));
    case Qt::ImCurrentSelection:
        return SelectedText();
    case Qt::ImMaximumTextLength:
        return m_limit;
    case Qt::ImHints:
        return static_cast<int>(Qt::ImhMultiLine);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void CRichEditCtrlEx::dragEnterEvent(QDragEnterEvent* event)
{
    // Files dropped here are for the window to open, never text for the note.
    if (event->mimeData()->hasText() && !event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CRichEditCtrlEx::dragMoveEvent(QDragMoveEvent* event)
{
    m_dropCaret = PositionAt(event->position().toPoint());
    viewport()->update();
    event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

void CRichEditCtrlEx::dragLeaveEvent(QDragLeaveEvent*)
{
    m_dropCaret = -1;
    viewport()->update();
}

void CRichEditCtrlEx::dropEvent(QDropEvent* event)
{
    m_dropCaret = -1;
    int pos = PositionAt(event->position().toPoint());
    if (event->source() == this) {
        // Moved within the text: out of its old place, into the new one.
        if (pos >= SelectionStart() && pos <= SelectionEnd()) {
            event->ignore();
            return;
        }
        const QString moved = SelectedText();
        if (pos > SelectionEnd())
            pos -= SelectionEnd() - SelectionStart();
        EraseSelection();
        MoveTo(pos, false);
        InsertTyped(moved, CTextUndoStack::Other);
        event->setDropAction(Qt::MoveAction);
    } else {
        MoveTo(pos, false);
        InsertFromMimeData(event->mimeData());
        event->setDropAction(Qt::CopyAction);
    }
    event->accept();
}
