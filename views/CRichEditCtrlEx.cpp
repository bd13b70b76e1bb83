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
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// Room around the text, as the Windows rich edit left it.
constexpr int kMargin = 4;

// Characters typed, not a command: Ctrl, Meta and Alt make a key a command. AltGr, which some
// layouts need for ordinary characters, arrives as the group switch and stays text.
bool IsTypedText(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers();
    const bool alt = (mods & Qt::AltModifier) && !(mods & Qt::GroupSwitchModifier);
    return !key->text().isEmpty() && key->text().at(0).isPrint() &&
           !(mods & (Qt::ControlModifier | Qt::MetaModifier)) && !alt;
}

} // namespace

CRichEditCtrlEx::CRichEditCtrlEx(QWidget* parent)
    : QAbstractScrollArea(parent), m_control(*this), m_layouter(m_control.Document())
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
    m_control.SetText(text);
    m_layouter.TextReplaced();
    m_misspelt.clear();
    m_topPos = 0;
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
        Document().ForEachPiece([&](std::string_view piece) { put(piece); });
        return;
    }
    constexpr std::size_t kBlock = 64 * 1024;
    std::string block;
    block.reserve(kBlock + lineEnd.size());
    Document().ForEachPiece([&](std::string_view piece) {
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
    Document().ForEachPiece([&](std::string_view piece) {
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

void CRichEditCtrlEx::TextReplaced(int from, int removedChars, int insertedChars, const std::string& removed,
                                   const std::string& inserted)
{
    m_layouter.Invalidate();
    const int to = from + removedChars;
    if (m_topPos > from)
        m_topPos = m_topPos >= to ? m_topPos + insertedChars - removedChars : from;
    m_misspelt.clear();
    TellChange(from, removed, inserted);
}

void CRichEditCtrlEx::ShowEdit(bool hadSelection)
{
    m_modified = true;
    emit textChanged();
    if (hadSelection) {
        emit selectionChanged();
        TellSelection();
    }
    TellCaret();
    EnsureVisible(CursorPosition());
    StartBlink();
}

void CRichEditCtrlEx::ShowUndo()
{
    m_modified = true;
    emit textChanged();
    emit selectionChanged();
    TellCaret();
    EnsureVisible(CursorPosition());
}

void CRichEditCtrlEx::InsertTyped(const QString& text, CTextUndoStack::Kind kind)
{
    const bool hadSelection = HasSelection();
    const CTextControl::Typed typed = m_control.Type(text, kind);
    if (typed != CTextControl::Typed::All)
        emit limitReached();
    if (typed != CTextControl::Typed::None && !text.isEmpty())
        ShowEdit(hadSelection);
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
    if (m_control.EraseSelection())
        ShowEdit(true);
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
    const int oldCursor = CursorPosition();
    m_control.SelectAll();
    ShowMove(oldCursor, 0);
}

void CRichEditCtrlEx::undo()
{
    if (m_control.Undo())
        ShowUndo();
}

void CRichEditCtrlEx::redo()
{
    if (m_control.Redo())
        ShowUndo();
}

// --- the caret --------------------------------------------------------------------------------

void CRichEditCtrlEx::SetSelection(int anchor, int cursor)
{
    const int oldCursor = CursorPosition();
    m_control.SetSelection(anchor, cursor);
    // The anchor moved before the caret could be compared with it.
    ShowMove(oldCursor, m_control.Anchor());
    TellSelection();
}

void CRichEditCtrlEx::MoveTo(int pos, bool select, bool keepGoal)
{
    const int oldCursor = CursorPosition();
    const int oldAnchor = m_control.Anchor();
    m_control.MoveTo(pos, select, keepGoal);
    ShowMove(oldCursor, oldAnchor);
}

void CRichEditCtrlEx::ShowMove(int oldCursor, int oldAnchor)
{
    const int cursor = CursorPosition();
    const int anchor = m_control.Anchor();
    // The word the caret left may now be marked.
    if (m_spellChecking && oldCursor != cursor)
        m_misspelt.clear();
    if ((oldAnchor != oldCursor || anchor != cursor) && (oldAnchor != anchor || oldCursor != cursor)) {
        emit selectionChanged();
        TellSelection();
    }
    TellCaret();
    EnsureVisible(cursor);
    StartBlink();
}

int CRichEditCtrlEx::NextCursorPosition(int pos)
{
    const std::size_t unit = Document().UnitAt(pos);
    const int start = static_cast<int>(Document().Unit(unit).charStart);
    if (pos >= Document().UnitTextEnd(unit))
        return pos + 1;
    return start + m_layouter.Layout(unit).nextCursorPosition(pos - start);
}

int CRichEditCtrlEx::PreviousCursorPosition(int pos)
{
    const std::size_t unit = Document().UnitAt(pos);
    const int start = static_cast<int>(Document().Unit(unit).charStart);
    if (pos == start)
        return pos - 1 - (pos >= 2 && Document().Text(pos - 2, pos).at(0).isHighSurrogate() ? 1 : 0);
    return start + m_layouter.Layout(unit).previousCursorPosition(pos - start);
}

bool CRichEditCtrlEx::MoveByKey(QKeyEvent* event)
{
    using Motion = CTextControl::Motion;
    struct Key
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        Motion motion;
    };
    static const Key keys[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Motion::NextChar},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Motion::PreviousChar},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Motion::NextWord},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Motion::PreviousWord},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Motion::NextRow},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Motion::PreviousRow},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Motion::RowStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Motion::RowEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Motion::TextStart},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Motion::TextEnd},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Motion::NextPage},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Motion::PreviousPage},
    };
    for (const Key& key : keys) {
        const bool select = event->matches(key.select);
        if (!select && !event->matches(key.move))
            continue;
        const bool paging = key.motion == Motion::NextPage || key.motion == Motion::PreviousPage;
        const int pageRows = std::max(1, VisibleRows() - 1);
        const int oldCursor = CursorPosition();
        const int oldAnchor = m_control.Anchor();
        if (m_control.Move(key.motion, select, pageRows)) {
            if (paging)
                SetTopRow(TopRow() + (key.motion == Motion::NextPage ? pageRows : -pageRows));
            ShowMove(oldCursor, oldAnchor);
        }
        // A selecting key tells the selection even when it could not grow, as Qt's editors do;
        // paging does not.
        if (select && !paging)
            TellSelection();
        return true;
    }
    return false;
}

bool CRichEditCtrlEx::EditByKey(QKeyEvent* event)
{
    using Erasure = CTextControl::Erasure;
    const auto erase = [this](Erasure what) {
        const bool hadSelection = HasSelection();
        if (m_control.Erase(what))
            ShowEdit(hadSelection);
    };
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
        erase(Erasure::ToWordEnd);
    else if (event->matches(QKeySequence::DeleteStartOfWord))
        erase(Erasure::ToWordStart);
    else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier))
        erase(Erasure::PreviousChar);
    else if (event->matches(QKeySequence::Delete))
        erase(Erasure::NextChar);
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
    const int last = std::max(0, Document().TotalRows() - VisibleRows());
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
    vertical.setRange(0, std::max(0, Document().TotalRows() - VisibleRows()));
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
    QAccessibleTextSelectionEvent event(this, m_control.Anchor(), CursorPosition());
    TellAccessibility(event);
}

void CRichEditCtrlEx::TellCaret()
{
    QAccessibleTextCursorEvent event(this, CursorPosition());
    TellAccessibility(event);
}

QRect CRichEditCtrlEx::CharacterRect(int pos) const
{
    const QRect caret = CursorRect(pos);
    const int next = std::min(pos + 1, Document().Length());
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
    for (std::size_t u = 0; u <= Document().UnitAt(m_topPos); ++u)
        line += Document().Unit(u).lineStart ? 1 : 0;
    return line;
}

void CRichEditCtrlEx::SelectAndScroll(int startChar, int endChar)
{
    setFocus(Qt::OtherFocusReason);
    const int last = Document().Length();
    const int start = std::clamp(startChar, 0, last);
    // From the bottom, making the start visible puts its row at the top.
    SetTopRow(m_layouter.RowOf(start));
    m_control.SetSelection(start, endChar);
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
    const int start = static_cast<int>(Document().Unit(unit).charStart);
    const QString text = Document().UnitText(unit);
    const std::u16string_view view(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
    for (const SpellWord& word : WordsToCheck(view)) {
        if (hasFocus() && start + word.start + word.length == CursorPosition())
            continue;
        if (spelling.IsMisspelt(text.mid(word.start, word.length)))
            misspelt.push_back(word);
    }
    return misspelt;
}

bool CRichEditCtrlEx::MisspeltWordAt(int pos, int& start, int& end)
{
    const std::size_t unit = Document().UnitAt(pos);
    const int unitStart = static_cast<int>(Document().Unit(unit).charStart);
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
    const int start = static_cast<int>(Document().Unit(unit).charStart);
    const int end = Document().UnitTextEnd(unit);
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
        return pos >= start && pos <= end && Document().UnitAt(pos) == unit;
    };
    if (m_caretShown && hasFocus() && caretHere(CursorPosition()))
        layout.drawCursor(&painter, at, CursorPosition() - start + static_cast<int>(m_preedit.size()), 1);
    if (m_dropCaret >= 0 && caretHere(m_dropCaret))
        layout.drawCursor(&painter, at, m_dropCaret - start, 1);
}

void CRichEditCtrlEx::paintEvent(QPaintEvent* event)
{
    const int rowsBefore = Document().TotalRows();
    PaintRows(event->rect());
    // Rows laid out for the first time may have changed how far the text scrolls.
    if (Document().TotalRows() != rowsBefore)
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
    for (int row = top; row <= bottom && row < Document().TotalRows();) {
        int unitRow = 0;
        std::size_t unit = m_layouter.UnitAtRow(row, unitRow);
        const qreal y = origin.y() + (unitRow - top) * height;
        if (m_layouter.Wraps()) {
            PaintUnit(painter, unit, QPointF(origin.x(), y), clip);
            row = unitRow + std::max(1, Document().Unit(unit).rows);
            continue;
        }
        // The units of the line that lie across the view, side by side.
        const std::size_t last = Document().LineLastUnit(unit);
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
        viewport()->update(CursorRect(CursorPosition()).adjusted(-1, 0, 1, 0));
    } else if (event->timerId() == m_autoScroll.timerId()) {
        const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
        if (at.y() < 0)
            SetTopRow(TopRow() - 1);
        else if (at.y() > viewport()->height())
            SetTopRow(TopRow() + 1);
        SelectTo(at);
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
    const QPoint point = event->position().toPoint();
    const int pos = PositionAt(point);
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
    const int oldCursor = CursorPosition();
    const int oldAnchor = m_control.Anchor();
    if (m_tripleClick.isActive() &&
        (point - m_tripleClickAt).manhattanLength() < QApplication::startDragDistance()) {
        m_tripleClick.stop();
        // The caret's line, as Qt's editors take it: after the double click, the clicked one.
        m_control.SelectLineAt(CursorPosition());
    } else if (event->modifiers() & Qt::ShiftModifier) {
        m_control.ExtendTo(pos, TextX(point), true);
    } else if (HasSelection() && pos >= SelectionStart() && pos <= SelectionEnd()) {
        m_mayDrag = true;
        m_selecting = true;
        m_pressAt = point;
        return;
    } else {
        m_control.Press(pos);
    }
    ShowMove(oldCursor, oldAnchor);
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
    SelectTo(at);
    if (viewport()->rect().contains(at))
        m_autoScroll.stop();
    else if (!m_autoScroll.isActive())
        m_autoScroll.start(50, this);
}

// The selection grown to a point of the view, by characters, words or lines as it was begun.
void CRichEditCtrlEx::SelectTo(const QPoint& point)
{
    const int oldCursor = CursorPosition();
    const int oldAnchor = m_control.Anchor();
    m_control.ExtendTo(PositionAt(point), TextX(point), true);
    ShowMove(oldCursor, oldAnchor);
}

void CRichEditCtrlEx::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_mayDrag) {
        const int oldCursor = CursorPosition();
        const int oldAnchor = m_control.Anchor();
        m_control.PlaceCaret(PositionAt(event->position().toPoint()));
        ShowMove(oldCursor, oldAnchor);
    }
    m_mayDrag = false;
    m_selecting = false;
    m_autoScroll.stop();
    SetPrimarySelection();
}

void CRichEditCtrlEx::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // A double click selects, whether or not its press could have started a drag.
    m_mayDrag = false;
    const int oldCursor = CursorPosition();
    const int oldAnchor = m_control.Anchor();
    m_control.SelectWordAt(PositionAt(event->position().toPoint()));
    ShowMove(oldCursor, oldAnchor);
    if (HasSelection())
        TellSelection();
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
        const int anchor = std::clamp(CursorPosition() + event->replacementStart(), 0, GetTextLength());
        m_control.SetSelection(anchor, anchor + event->replacementLength());
    }
    if (!event->commitString().isEmpty())
        InsertTyped(event->commitString(), CTextUndoStack::Typing);
    else if (event->replacementLength() > 0)
        EraseSelection();
    m_preedit = event->preeditString();
    m_layouter.SetPreedit(CursorPosition(), m_preedit);
    viewport()->update();
    event->accept();
}

QVariant CRichEditCtrlEx::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const int lineStart = Document().LineStart(CursorPosition());
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return CursorRect(CursorPosition());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return CursorPosition() - lineStart;
    case Qt::ImAnchorPosition:
        return std::clamp(m_control.Anchor() - lineStart, 0,
                          Document().LineEnd(CursorPosition()) - lineStart);
    case Qt::ImSurroundingText:
        return Document().Text(lineStart, std::min(Document().LineEnd(CursorPosition()), lineStart + 4096));
    case Qt::ImCurrentSelection:
        return SelectedText();
    case Qt::ImMaximumTextLength:
        return m_control.Limit();
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
    const int pos = PositionAt(event->position().toPoint());
    if (event->source() == this) {
        // Moved within the text: out of its old place and into the new one, one step to undo.
        if (!m_control.MoveSelectedText(pos)) {
            event->ignore();
            return;
        }
        ShowEdit(true);
        event->setDropAction(Qt::MoveAction);
    } else {
        MoveTo(pos, false);
        InsertFromMimeData(event->mimeData());
        event->setDropAction(Qt::CopyAction);
    }
    event->accept();
}
