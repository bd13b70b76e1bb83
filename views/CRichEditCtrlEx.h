#pragma once

#include "text/SpellWords.h"
#include "views/CTextControl.h"
#include "views/CTextLayouter.h"
#include "views/ITextControlView.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QAccessibleEvent;
class QMimeData;

// The note's text box: plain text only, in and out of the clipboard and by drag and drop. It lays
// out only what it shows, so that notes of many megabytes, and lines of millions of characters,
// open and answer every key at once. Positions count characters as the editor shows them (UTF-16
// code units, a line end one). The typing limit stops typing and pasting beyond it, but a longer
// text set by the program is kept whole. The text, the caret and what keys and clicks do to them
// are its CTextControl's; the box paints, scrolls, and turns events into the control's calls.
class CRichEditCtrlEx : public QAbstractScrollArea, private ITextControlView
{
    Q_OBJECT

public:
    enum LineWrapMode
    {
        NoWrap,
        WidgetWidth
    };

    explicit CRichEditCtrlEx(QWidget* parent = nullptr);
    ~CRichEditCtrlEx() override;

    // The text as the program sets it, line ends as stored: no change of the user's, nothing to undo,
    // the caret at the start.
    void SetText(std::string_view text);
    // The whole text, every line end written as lineEnd.
    std::string GetText(std::string_view lineEnd) const;
    // The same text handed over in pieces, first to last, without making it whole.
    void ForEachTextPiece(std::string_view lineEnd, const std::function<void(std::string_view)>& put) const;
    // Whether GetText(lineEnd) would give exactly text, found without making it.
    bool Holds(std::string_view text, std::string_view lineEnd) const;
    QString toPlainText() const { return Document().Text(0, Document().Length()); }
    // Characters in the text; a line end counts one.
    int GetTextLength() const { return Document().Length(); }
    const CTextDocument& GetDocument() const { return Document(); }
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    void setLineWrapMode(LineWrapMode mode);
    LineWrapMode lineWrapMode() const { return m_layouter.Wraps() ? WidgetWidth : NoWrap; }
    void SetLimitText(int limit) { m_control.SetLimit(limit); }

    int CursorPosition() const { return m_control.Cursor(); }
    int SelectionStart() const { return m_control.SelectionStart(); }
    int SelectionEnd() const { return m_control.SelectionEnd(); }
    bool HasSelection() const { return m_control.HasSelection(); }
    QString SelectedText() const { return m_control.SelectedText(); }
    QString Text(int from, int to) const { return Document().Text(from, to); }
    // Types text in place of the selection, as far as the typing limit lets it.
    // Empty text erases the selection.
    void InsertText(const QString& text);
    // Where a character stands in the view, and the position nearest a point of the view.
    QRect CharacterRect(int pos) const;
    int PositionAt(const QPoint& point) const;
    // Selects from anchor to the caret and brings the caret into view.
    void SetSelection(int anchor, int cursor);
    // Selects start to end, gives the focus and brings the line of the start to the top, as far as
    // the text can scroll.
    void SelectAndScroll(int startChar, int endChar);
    // The line, counted from 0, whose row is at the top.
    int FirstVisibleLine();

    // Underlines the misspelt words on screen; the word being typed waits until the caret leaves it.
    void SetSpellChecking(bool on);
    // The misspelt word at the position, as start and end; false when there is none.
    bool MisspeltWordAt(int pos, int& start, int& end);
    // Puts text in place of start..end as the user's change, as a chosen suggestion does.
    void ReplaceRange(int start, int end, const QString& text);

public slots:
    void cut();
    void copy();
    void paste();
    void selectAll();
    void undo();
    void redo();

signals:
    void textChanged();
    void selectionChanged();
    void contextMenuRequested(const QPoint& globalPos);
    // Typing or pasting was refused, or cut short, by the typing limit.
    void limitReached();

protected:
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const CTextDocument& Document() const { return m_control.Document(); }

    // Editing: the control's change shown, told and signalled.
    void InsertTyped(const QString& text, CTextUndoStack::Kind kind);
    void InsertFromMimeData(const QMimeData* source);
    void EraseSelection();
    void ShowEdit(bool hadSelection);
    void ShowUndo();
    void TextReplaced(int from, int removedChars, int insertedChars, const std::string& removed,
                      const std::string& inserted) override;

    // The caret: moved by the control, then shown and told.
    void MoveTo(int pos, bool select, bool keepGoal = false);
    void ShowMove(int oldCursor, int oldAnchor);
    bool MoveByKey(QKeyEvent* event);
    bool EditByKey(QKeyEvent* event);
    // Where the caret may stand and how the rows fall, as the layout has them.
    int NextCursorPosition(int pos) override;
    int PreviousCursorPosition(int pos) override;
    int RowOf(int pos) override { return m_layouter.RowOf(pos); }
    int RowCount() override { return Document().TotalRows(); }
    double XOf(int pos) override { return m_layouter.XOf(pos); }
    int PositionAt(int row, double x) override { return m_layouter.PositionAt(row, x); }
    int RowEnd(int row) override { return m_layouter.RowEnd(row); }
    // The selection grown to a point of the view, by characters, words or lines.
    void SelectTo(const QPoint& point);
    // x of a point of the view, across the text's rows.
    double TextX(const QPoint& point) const { return point.x() - TextOrigin().x(); }

    // The view.
    int VisibleRows() const;
    int TopRow() const { return m_layouter.RowOf(m_topPos); }
    void SetTopRow(int row);
    void EnsureVisible(int pos);
    void UpdateScrollBars();
    QPointF TextOrigin() const;
    QRect CursorRect(int pos) const;
    void TellAccessibility(QAccessibleEvent& event);
    // Text replaced at from, the selection and the caret, told to screen readers.
    void TellChange(int from, const std::string& removed, const std::string& inserted);
    void TellSelection();
    void TellCaret();
    void PaintRows(const QRect& clip);
    void PaintUnit(QPainter& painter, std::size_t unit, const QPointF& at, const QRect& clip);
    void SetPrimarySelection();
    const std::vector<SpellWord>& MisspeltWords(std::size_t unit);
    void SpellingChanged();
    void StartBlink();

    CTextControl m_control;
    // Layouts are a cache: kept and made afresh by what only reads the text.
    mutable CTextLayouter m_layouter;
    int m_topPos = 0; // the character that starts the top row
    bool m_modified = false;
    bool m_scrolling = false;
    bool m_caretShown = true;
    QBasicTimer m_blink;
    QBasicTimer m_autoScroll;
    // A press soon after a double click, where it was, is a triple click.
    QBasicTimer m_tripleClick;
    QPoint m_tripleClickAt;
    // A press inside the selection may start a drag; until it does, it only places the caret.
    bool m_selecting = false;
    bool m_mayDrag = false;
    QPoint m_pressAt;
    int m_dropCaret = -1;
    QString m_preedit;
    bool m_spellChecking = false;
    // The misspelt words of the units painted since the text or the caret last changed.
    std::unordered_map<std::size_t, std::vector<SpellWord>> m_misspelt;
};
