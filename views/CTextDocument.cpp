#include "views/CTextDocument.h"

#include "model/CTextCodec.h"

#include <algorithm>
#include <cstring>

namespace {

// A long line is cut into units of about this many bytes, at a blank where there is one.
constexpr std::size_t kUnitTarget = 2048;
constexpr std::size_t kUnitMax = 4096;

bool IsContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Steps past the character at i and says how many editor positions it takes.
std::uint32_t StepChar(std::string_view bytes, std::size_t& i)
{
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
        ++i;
        return 1;
    }
    char32_t codePoint;
    if (CTextCodec::DecodeUtf8(bytes, i, codePoint))
        return codePoint > 0xFFFF ? 2 : 1;
    ++i;
    return 1;
}

std::uint32_t CountChars(std::string_view bytes)
{
    std::uint32_t chars = 0;
    for (std::size_t i = 0; i < bytes.size();)
        chars += StepChar(bytes, i);
    return chars;
}

// Every line end one '\\n', in place.
void MakeSingleLineEnds(std::string& text)
{
    if (text.find('\r') == std::string::npos)
        return;
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            text[out++] = '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            text[out++] = text[i];
        }
    }
    text.resize(out);
}

// Where a unit of a long line that starts at from should end: after the last blank of its second
// half, or at the longest size, never inside a character.
std::size_t CutLongLine(std::string_view bytes, std::size_t from)
{
    const std::size_t limit = from + kUnitMax;
    for (std::size_t i = limit; i > from + kUnitTarget; --i)
        if (bytes[i - 1] == ' ' || bytes[i - 1] == '\t')
            return i;
    std::size_t cut = limit;
    for (int back = 0; back < 3 && IsContinuation(bytes[cut]); ++back)
        --cut;
    return IsContinuation(bytes[cut]) ? limit : cut;
}

} // namespace

CTextDocument::CTextDocument()
    : m_estimate([](const TextUnit& unit, std::uint32_t) { return unit.lineStart ? 1 : 0; })
{
    SetText({});
}

void CTextDocument::SetText(std::string_view text)
{
    // Room for the first edits from the start, so that they do not copy the whole text.
    std::string bytes;
    bytes.reserve(text.size() + CTextBuffer::GapFor(text.size()));
    bytes.append(text);
    MakeSingleLineEnds(bytes);
    m_buffer.Assign(std::move(bytes));
    m_units = Segment(0, m_buffer.Size(), true, 0, true, m_length);
    RebuildRowSums();
}

// Units for the bytes from..to, which begin a unit; the count of characters reached goes to
// charEnd. When they end the text after a line end, the empty last line gets its unit too.
std::vector<TextUnit> CTextDocument::Segment(std::size_t from, std::size_t to, bool lineStart,
                                             std::uint32_t charStart, bool endsText,
                                             std::uint32_t& charEnd) const
{
    std::string scratch;
    const std::string_view bytes = m_buffer.View(from, to, scratch);
    std::vector<TextUnit> units;
    // Counted first: a vector of a million units grown by doubling would briefly take twice the room.
    std::size_t lines = 1;
    for (const char* p = bytes.data();
         (p = static_cast<const char*>(std::memchr(p, '\n', bytes.data() + bytes.size() - p))); ++p)
        ++lines;
    units.reserve(lines + bytes.size() / kUnitTarget + 1);
    std::size_t at = 0;
    while (at < bytes.size()) {
        const void* newline = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
        const std::size_t lineEnd =
            newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - bytes.data()) + 1
                    : bytes.size();
        const std::size_t cut = lineEnd - at <= kUnitMax ? lineEnd : CutLongLine(bytes, at);
        const std::uint32_t chars = CountChars(bytes.substr(at, cut - at));
        units.push_back(MakeUnit(from + at, charStart, lineStart, chars));
        charStart += chars;
        lineStart = bytes[cut - 1] == '\n';
        at = cut;
    }
    if (endsText && lineStart)
        units.push_back(MakeUnit(to, charStart, true, 0));
    charEnd = charStart;
    return units;
}

TextUnit CTextDocument::MakeUnit(std::size_t byteStart, std::uint32_t charStart, bool lineStart,
                                 std::uint32_t chars) const
{
    TextUnit unit{static_cast<std::uint32_t>(byteStart), charStart, 0, -1.0f, lineStart};
    unit.rows = m_estimate(unit, chars);
    return unit;
}

void CTextDocument::Replace(int from, int to, std::string_view text)
{
    const std::size_t byteFrom = ByteOf(from);
    const std::size_t byteTo = ByteOf(to);
    std::size_t first = UnitAtByte(byteFrom);
    const std::size_t last = UnitAtByte(byteTo);
    // A unit never starts inside what could be one character with the bytes before it.
    const char nextFirst = !text.empty() ? text.front() : (byteTo < Bytes() ? m_buffer.At(byteTo) : ' ');
    if (first > 0 && byteFrom == m_units[first].byteStart && IsContinuation(nextFirst))
        --first;
    const bool endsText = last + 1 == m_units.size();
    const std::size_t rangeStart = m_units[first].byteStart;
    const std::size_t rangeEnd = endsText ? Bytes() : m_units[last + 1].byteStart;
    const std::uint32_t oldChars =
        (endsText ? m_length : m_units[last + 1].charStart) - m_units[first].charStart;

    m_buffer.Replace(byteFrom, byteTo - byteFrom, text);
    const std::size_t newEnd = rangeEnd - (byteTo - byteFrom) + text.size();
    std::uint32_t charEnd = 0;
    std::vector<TextUnit> units =
        Segment(rangeStart, newEnd, m_units[first].lineStart, m_units[first].charStart, endsText, charEnd);
    const std::uint32_t newChars = charEnd - m_units[first].charStart;
    const auto byteShift = static_cast<std::uint32_t>(newEnd - rangeEnd);
    const auto charShift = newChars - oldChars;
    for (std::size_t u = last + 1; u < m_units.size(); ++u) {
        m_units[u].byteStart += byteShift;
        m_units[u].charStart += charShift;
    }
    m_units.erase(m_units.begin() + static_cast<std::ptrdiff_t>(first),
                  m_units.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    m_units.insert(m_units.begin() + static_cast<std::ptrdiff_t>(first), units.begin(), units.end());
    m_length += charShift;
    RebuildRowSums();
}

std::size_t CTextDocument::UnitAt(int pos) const
{
    const auto it =
        std::upper_bound(m_units.begin(), m_units.end(), static_cast<std::uint32_t>(pos),
                         [](std::uint32_t p, const TextUnit& unit) { return p < unit.charStart; });
    return it == m_units.begin() ? 0 : static_cast<std::size_t>(it - m_units.begin()) - 1;
}

std::size_t CTextDocument::UnitAtByte(std::size_t byte) const
{
    const auto it = std::upper_bound(m_units.begin(), m_units.end(), byte,
                                     [](std::size_t b, const TextUnit& unit) { return b < unit.byteStart; });
    return it == m_units.begin() ? 0 : static_cast<std::size_t>(it - m_units.begin()) - 1;
}

std::size_t CTextDocument::UnitByteEnd(std::size_t u) const
{
    return u + 1 < m_units.size() ? m_units[u + 1].byteStart : Bytes();
}

int CTextDocument::UnitEnd(std::size_t u) const
{
    return static_cast<int>(u + 1 < m_units.size() ? m_units[u + 1].charStart : m_length);
}

int CTextDocument::UnitTextEnd(std::size_t u) const
{
    const std::size_t end = UnitByteEnd(u);
    const bool lineEnd = end > m_units[u].byteStart && m_buffer.At(end - 1) == '\n';
    return UnitEnd(u) - (lineEnd ? 1 : 0);
}

std::size_t CTextDocument::LineFirstUnit(std::size_t u) const
{
    while (u > 0 && !m_units[u].lineStart)
        --u;
    return u;
}

std::size_t CTextDocument::LineLastUnit(std::size_t u) const
{
    while (u + 1 < m_units.size() && !m_units[u + 1].lineStart)
        ++u;
    return u;
}

std::size_t CTextDocument::ByteOf(int pos) const
{
    const std::size_t u = UnitAt(pos);
    std::string scratch;
    const std::string_view bytes = m_buffer.View(m_units[u].byteStart, UnitByteEnd(u), scratch);
    std::size_t i = 0;
    for (std::uint32_t at = m_units[u].charStart; at < static_cast<std::uint32_t>(pos) && i < bytes.size();)
        at += StepChar(bytes, i);
    return m_units[u].byteStart + i;
}

std::string CTextDocument::Utf8(int from, int to) const
{
    return m_buffer.Slice(ByteOf(from), ByteOf(to));
}

QString CTextDocument::Text(int from, int to) const
{
    std::string scratch;
    const std::string_view bytes = m_buffer.View(ByteOf(from), ByteOf(to), scratch);
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t at = i;
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            text += QLatin1Char(bytes[i++]);
            continue;
        }
        char32_t codePoint;
        if (CTextCodec::DecodeUtf8(bytes, i, codePoint))
            text += QString::fromUcs4(&codePoint, 1);
        else
            text += QChar(QChar::ReplacementCharacter), i = at + 1;
    }
    return text;
}

QString CTextDocument::UnitText(std::size_t u) const
{
    return Text(static_cast<int>(m_units[u].charStart), UnitTextEnd(u));
}

void CTextDocument::SetRowEstimate(RowEstimate estimate)
{
    m_estimate = std::move(estimate);
    for (std::size_t u = 0; u < m_units.size(); ++u) {
        m_units[u].rows =
            m_estimate(m_units[u], static_cast<std::uint32_t>(UnitEnd(u)) - m_units[u].charStart);
        m_units[u].width = -1.0f;
    }
    RebuildRowSums();
}

void CTextDocument::SetRows(std::size_t u, std::int32_t rows, float width)
{
    const std::int32_t delta = rows - m_units[u].rows;
    m_units[u].rows = rows;
    m_units[u].width = width;
    for (std::size_t i = u + 1; i <= m_units.size(); i += i & (~i + 1))
        m_rowSums[i] += delta;
}

std::int32_t CTextDocument::RowOf(std::size_t u) const
{
    std::int32_t sum = 0;
    for (std::size_t i = u; i > 0; i -= i & (~i + 1))
        sum += m_rowSums[i];
    return sum;
}

std::size_t CTextDocument::UnitAtRow(std::int32_t row, std::int32_t& unitRow) const
{
    // The most units whose rows all come before the row: the next unit holds it.
    const std::size_t count = m_units.size();
    std::size_t at = 0;
    std::int32_t sum = 0;
    std::size_t step = 1;
    while (step * 2 <= count)
        step *= 2;
    for (; step > 0; step /= 2)
        if (at + step <= count && sum + m_rowSums[at + step] <= row) {
            at += step;
            sum += m_rowSums[at];
        }
    if (at == count) { // past the last row: the last unit that has rows
        at = count - 1;
        while (at > 0 && m_units[at].rows == 0)
            --at;
        sum = RowOf(at);
    }
    unitRow = sum;
    return at;
}

void CTextDocument::RebuildRowSums()
{
    m_rowSums.assign(m_units.size() + 1, 0);
    for (std::size_t i = 1; i <= m_units.size(); ++i) {
        m_rowSums[i] += m_units[i - 1].rows;
        const std::size_t parent = i + (i & (~i + 1));
        if (parent <= m_units.size())
            m_rowSums[parent] += m_rowSums[i];
    }
}
