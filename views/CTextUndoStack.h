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
    // Made with the change before it, as one step: both are undone and redone together.
    bool continues = false;
};

// The changes of one step, in the order they were made; none when count is 0.
struct TextStep
{
    const TextEdit* first = nullptr;
    std::size_t count = 0;
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
        Erasing,
        // The second half of one action, such as the insertion of text moved by a drop.
        Continuing
    };

    void Record(TextEdit edit, Kind kind);
    // The next change starts a step of its own.
    void Seal() { m_kind = Other; }
    void Clear();
    // The step to take back, which moves to the redo side, and the step to make again.
    TextStep Undo();
    TextStep Redo();

private:
    bool Joins(const TextEdit& edit, Kind kind) const;

    std::vector<TextEdit> m_edits;
    std::size_t m_done = 0;
    Kind m_kind = Other;
};
