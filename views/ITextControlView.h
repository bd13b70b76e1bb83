#pragma once

#include <string>

// What a text control asks of the view that shows its text, and what it tells it: where the caret
// may stand inside a line and how the lines fall into rows, both of which only the layout knows,
// and each change of the text as it is made.
class ITextControlView
{
public:
    // The next and the previous place the caret may stand, a whole cluster away; a line end is one
    // step.
    virtual int NextCursorPosition(int pos) = 0;
    virtual int PreviousCursorPosition(int pos) = 0;
    // Rows are counted from the top of the text; x from the start of a row.
    virtual int RowOf(int pos) = 0;
    virtual int RowCount() = 0;
    virtual double XOf(int pos) = 0;
    // The position nearest to x on the row, and the last position of the row.
    virtual int PositionAt(int row, double x) = 0;
    virtual int RowEnd(int row) = 0;

    // From the character at from on, removedChars characters became insertedChars; the texts are
    // UTF-8.
    virtual void TextReplaced(int from, int removedChars, int insertedChars, const std::string& removed,
                              const std::string& inserted) = 0;

protected:
    ~ITextControlView() = default;
};
