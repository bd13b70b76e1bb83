#pragma once

#include "views/CTextDocument.h"
#include "views/CTextUndoStack.h"

#include <QString>

#include <string>
#include <string_view>

class ITextControlView;

// The text of the note's text box with its caret and its selection, apart from the widget: what a
// key or a click does to them, where words and lines begin and end, selections that grow by whole
// words after a double click and by whole lines after a triple click, and the steps of Undo. The
// widget turns its events into these calls and shows what they did; what only the layout knows
// (clusters, rows) the control asks of its view. Positions count characters as the document does.
class CTextControl
{
public:
    enum class Motion
    {
        NextChar,
        PreviousChar,
        NextWord,
        PreviousWord,
        NextRow,
        PreviousRow,
        RowStart,
        RowEnd,
        TextStart,
        TextEnd,
        NextPage,
        PreviousPage
    };
    enum class Erasure
    {
        NextChar,
        PreviousChar,
        ToWordEnd,
        ToWordStart
    };
    enum class Typed
    {
        All,
        Part, // cut short by the typing limit
        None
    };

    explicit CTextControl(ITextControlView& view);

    // The text as the program sets it: nothing to undo, the caret at the start.
    void SetText(std::string_view text);
    CTextDocument& Document() { return m_document; }
    const CTextDocument& Document() const { return m_document; }
    int Length() const { return m_document.Length(); }
    void SetLimit(int limit) { m_limit = limit; }
    int Limit() const { return m_limit; }

    int Cursor() const { return m_cursor; }
    int Anchor() const { return m_anchor; }
    int SelectionStart() const { return std::min(m_cursor, m_anchor); }
    int SelectionEnd() const { return std::max(m_cursor, m_anchor); }
    bool HasSelection() const { return m_cursor != m_anchor; }
    QString SelectedText() const { return m_document.Text(SelectionStart(), SelectionEnd()); }

    // Editing as the user's change; each is false when the text stayed as it was.
    // from..to becomes text (UTF-8, '\n' line ends); the caret goes after it.
    bool Replace(int from, int to, const std::string& text, CTextUndoStack::Kind kind);
    // Text in place of the selection, as far as the typing limit lets it.
    Typed Type(const QString& text, CTextUndoStack::Kind kind);
    bool EraseSelection();
    // The selection when there is one, otherwise what the key erases next to the caret.
    bool Erase(Erasure what);
    // The selected text taken out and put in at pos (counted before the move), as a drop does:
    // one step to undo.
    bool MoveSelectedText(int pos);
    bool Undo();
    bool Redo();

    // The caret, and the anchor when not selecting. Every move ends the undo step being typed.
    void MoveTo(int pos, bool select, bool keepGoal = false);
    void SetSelection(int anchor, int cursor);
    void SelectAll();
    // A key's move; pageRows is how far a page goes. False when the caret stays where it was.
    bool Move(Motion motion, bool select, int pageRows);
    int NextCharacter(int pos);
    int PreviousCharacter(int pos);
    int WordBoundary(int pos, bool forward) const;
    bool IsRightToLeftLine(int pos) const;

    // The mouse. A plain press puts the caret at pos and selects by characters again.
    void Press(int pos);
    // The caret at pos, the way of selecting kept: a press in the selection that started no drag.
    void PlaceCaret(int pos);
    // A double click's word and a triple click's line; the selection then grows by words or lines.
    void SelectWordAt(int pos);
    void SelectLineAt(int pos);
    // Shift+press or a held button moved to pos, x across its row. Without a word or a line to
    // grow from, the caret follows by characters only when byCharacters.
    void ExtendTo(int pos, double x, bool byCharacters);

private:
    struct Range
    {
        int start = 0;
        int end = 0;
        bool IsEmpty() const { return end <= start; }
    };

    int Room() const;
    // The undo step's edits applied backwards (undoing) or again.
    void Apply(const TextEdit& edit, bool undoing);
    int RowMove(int pos, int rows, bool* rowChanged);
    int MotionTarget(Motion motion, bool select, int pageRows, bool& keepGoal, bool& stay);
    // Where the editors' word starts and ends for a position inside or just after it.
    bool WordStart(int pos, int& start) const;
    bool WordEnd(int pos, int& end) const;
    void ExtendByWords(int pos, double x);
    void ExtendByLines(int pos);

    ITextControlView& m_view;
    CTextDocument m_document;
    CTextUndoStack m_undo;
    int m_cursor = 0;
    int m_anchor = 0;
    double m_goalX = -1;
    int m_limit = 0x100000;
    // The word of the last double click, or the line of the last triple click, that the selection
    // grows from until a plain press.
    Range m_word;
    Range m_line;
};
