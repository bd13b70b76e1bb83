#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One change of the text: from the character at from on, removed (UTF-8) became inserted.
struct TextEdit
{
    int from;
    std::string removed;
    std::string inserted;
    int removedChars;
    int insertedChars;
};

// The changes that Undo takes back and Redo makes again. Characters typed one after another, and
// characters erased one after another with Backspace, are one step, until the caret moves.
class CTextUndoStack
{
public:
    enum Kind
    {
        Other,
        Typing,
        Erasing
    };

    void Record(TextEdit edit, Kind kind);
    // The next change starts a step of its own.
    void Seal() { m_kind = Other; }
    void Clear();
    // The change to take back, or null; it moves to the redo side.
    const TextEdit* Undo();
    const TextEdit* Redo();

private:
    bool Joins(const TextEdit& edit, Kind kind) const;

    std::vector<TextEdit> m_edits;
    std::size_t m_done = 0;
    Kind m_kind = Other;
};
