#include "views/CTextUndoStack.h"

bool CTextUndoStack::Joins(const TextEdit& edit, Kind kind) const
{
    if (kind == Other || kind == Continuing || kind != m_kind || m_done == 0 || m_done != m_edits.size())
        return false;
    const TextEdit& last = m_edits.back();
    if (kind == Typing)
        return edit.removed.empty() && edit.from == last.from + last.insertedChars;
    return edit.inserted.empty() && last.inserted.empty() && edit.from + edit.removedChars == last.from;
}

void CTextUndoStack::Record(TextEdit edit, Kind kind)
{
    if (Joins(edit, kind)) {
        TextEdit& last = m_edits.back();
        if (kind == Typing) {
            last.inserted += edit.inserted;
            last.insertedChars += edit.insertedChars;
        } else {
            last.removed.insert(0, edit.removed);
            last.removedChars += edit.removedChars;
            last.from = edit.from;
        }
    } else {
        m_edits.resize(m_done);
        edit.continues = kind == Continuing && m_done > 0;
        m_edits.push_back(std::move(edit));
        m_done = m_edits.size();
    }
    m_kind = kind;
}

void CTextUndoStack::Clear()
{
    m_edits.clear();
    m_done = 0;
    m_kind = Other;
}

TextStep CTextUndoStack::Undo()
{
    m_kind = Other;
    if (m_done == 0)
        return {};
    std::size_t first = m_done - 1;
    while (m_edits[first].continues)
        --first;
    const TextStep step{&m_edits[first], m_done - first};
    m_done = first;
    return step;
}

TextStep CTextUndoStack::Redo()
{
    m_kind = Other;
    if (m_done == m_edits.size())
        return {};
    std::size_t end = m_done + 1;
    while (end < m_edits.size() && m_edits[end].continues)
        ++end;
    const TextStep step{&m_edits[m_done], end - m_done};
    m_done = end;
    return step;
}
