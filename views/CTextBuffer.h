#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The bytes of a text being edited, with a gap where the last edit was: typing and erasing at one
// place move nothing but what they insert or erase, whatever the size of the text.
class CTextBuffer
{
public:
    // Takes the bytes; the gap is the room they have left.
    void Assign(std::string text);
    // How much room a text of this size is given at a time.
    static std::size_t GapFor(std::size_t size) { return size / 8 + 4096; }
    std::size_t Size() const { return m_data.size() - (m_gapEnd - m_gapStart); }
    char At(std::size_t i) const { return i < m_gapStart ? m_data[i] : m_data[i + (m_gapEnd - m_gapStart)]; }
    void Replace(std::size_t at, std::size_t eraseCount, std::string_view insert);
    // The bytes from..to as one piece.
    std::string Slice(std::size_t from, std::size_t to) const;
    // The bytes from..to, seen in place when they do not cross the gap, otherwise copied to scratch.
    std::string_view View(std::size_t from, std::size_t to, std::string& scratch) const;
    // The bytes from..to as at most two pieces, the parts before and after the gap.
    template <class Visit> void ForEachPiece(std::size_t from, std::size_t to, Visit visit) const
    {
        if (from < m_gapStart)
            visit(std::string_view(m_data.data() + from, (to < m_gapStart ? to : m_gapStart) - from));
        if (to > m_gapStart) {
            const std::size_t start = from > m_gapStart ? from : m_gapStart;
            const std::size_t gap = m_gapEnd - m_gapStart;
            visit(std::string_view(m_data.data() + start + gap, to - start));
        }
    }

private:
    void MoveGap(std::size_t to);
    void GrowGap(std::size_t needed);

    std::string m_data;
    std::size_t m_gapStart = 0;
    std::size_t m_gapEnd = 0;
};
