#include "views/CTextBuffer.h"

#include <algorithm>
#include <cstring>

void CTextBuffer::Assign(std::string text)
{
    m_gapStart = text.size();
    m_data = std::move(text);
    m_data.resize(m_data.capacity());
    m_gapEnd = m_data.size();
}

void CTextBuffer::MoveGap(std::size_t to)
{
    char* data = m_data.data();
    const std::size_t gap = m_gapEnd - m_gapStart;
    if (to < m_gapStart)
        std::memmove(data + to + gap, data + to, m_gapStart - to);
    else if (to > m_gapStart)
        std::memmove(data + m_gapStart, data + m_gapEnd, to - m_gapStart);
    m_gapStart = to;
    m_gapEnd = to + gap;
}

// The gap grows by an eighth of the text, so that a long run of typing copies the text rarely. The
// block is made afresh at exactly the new size: a string grown in place may double.
void CTextBuffer::GrowGap(std::size_t needed)
{
    const std::size_t gap = m_gapEnd - m_gapStart;
    if (gap >= needed)
        return;
    const std::size_t grow = std::max(needed - gap, GapFor(Size()));
    std::string grown;
    grown.resize(m_data.size() + grow);
    std::memcpy(grown.data(), m_data.data(), m_gapStart);
    std::memcpy(grown.data() + m_gapEnd + grow, m_data.data() + m_gapEnd, m_data.size() - m_gapEnd);
    m_data.swap(grown);
    m_gapEnd += grow;
}

void CTextBuffer::Replace(std::size_t at, std::size_t eraseCount, std::string_view insert)
{
    MoveGap(at);
    m_gapEnd += eraseCount;
    GrowGap(insert.size());
    std::memcpy(m_data.data() + m_gapStart, insert.data(), insert.size());
    m_gapStart += insert.size();
}

std::string CTextBuffer::Slice(std::size_t from, std::size_t to) const
{
    std::string out;
    out.reserve(to - from);
    ForEachPiece(from, to, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

std::string_view CTextBuffer::View(std::size_t from, std::size_t to, std::string& scratch) const
{
    if (to <= m_gapStart)
        return std::string_view(m_data.data() + from, to - from);
    if (from >= m_gapStart)
        return std::string_view(m_data.data() + from + (m_gapEnd - m_gapStart), to - from);
    scratch = Slice(from, to);
    return scratch;
}
