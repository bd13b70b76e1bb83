#pragma once

#include "views/CTextBuffer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A piece of the text laid out on its own: a line, or a part of a long line. Units cover the text
// without gaps; a line's last unit ends with its line end, and a text that ends with a line end (or
// is empty) ends with an empty unit for the empty last line.
struct TextUnit
{
    std::uint32_t byteStart;
    std::uint32_t charStart;
    std::int32_t rows; // rows on screen; an estimate until laid out
    float width;       // width in pixels of its text once laid out, or below zero
    bool lineStart;    // begins a line
};

// The text of the editor: UTF-8 bytes with every line end a single '\n', addressed in characters as
// the editor counts them (UTF-16 code units; a byte that is not UTF-8 counts one). It keeps the
// units and the rows each takes, summed so that the row of a unit and the unit at a row are found in
// logarithmic time; what a unit's rows are is for the view to say.
class CTextDocument
{
public:
    using RowEstimate = std::function<std::int32_t(const TextUnit& unit, std::uint32_t chars)>;

    CTextDocument();

    // The text with its line ends as stored ("\r\n", "\r" or "\n"), which all become '\n'.
    void SetText(std::string_view text);
    int Length() const { return static_cast<int>(m_length); }
    std::size_t Bytes() const { return m_buffer.Size(); }
    // Replaces the characters from..to with text, UTF-8 with '\n' line ends.
    void Replace(int from, int to, std::string_view text);
    std::string Utf8(int from, int to) const;
    // The bytes of the whole text, in at most two pieces.
    template <class Visit> void ForEachPiece(Visit visit) const
    {
        m_buffer.ForEachPiece(0, m_buffer.Size(), visit);
    }
    // The bytes of the characters from..to, in at most two pieces.
    template <class Visit> void ForEachPieceBetween(int from, int to, Visit visit) const
    {
        m_buffer.ForEachPiece(ByteOf(from), ByteOf(to), visit);
    }
    QString Text(int from, int to) const;

    std::size_t UnitCount() const { return m_units.size(); }
    const TextUnit& Unit(std::size_t u) const { return m_units[u]; }
    std::size_t UnitAt(int pos) const;
    // The unit's characters: all of them, and those of its text without a line end.
    int UnitEnd(std::size_t u) const;
    int UnitTextEnd(std::size_t u) const;
    QString UnitText(std::size_t u) const;
    // The unit that begins the line of unit u, and the last unit of that line.
    std::size_t LineFirstUnit(std::size_t u) const;
    std::size_t LineLastUnit(std::size_t u) const;
    // Characters where a line starts and ends (before its line end), for the line of pos.
    int LineStart(int pos) const { return Unit(LineFirstUnit(UnitAt(pos))).charStart; }
    int LineEnd(int pos) const { return UnitTextEnd(LineLastUnit(UnitAt(pos))); }

    // Rows: every unit starts with the view's estimate; the view sets the exact rows it lays out.
    void SetRowEstimate(RowEstimate estimate);
    void SetRows(std::size_t u, std::int32_t rows, float width);
    std::int32_t RowOf(std::size_t u) const;
    std::int32_t TotalRows() const { return RowOf(m_units.size()); }
    // The unit holding the row, and the row at which it starts.
    std::size_t UnitAtRow(std::int32_t row, std::int32_t& unitRow) const;

private:
    std::size_t ByteOf(int pos) const;
    std::size_t UnitAtByte(std::size_t byte) const;
    std::size_t UnitByteEnd(std::size_t u) const;
    std::vector<TextUnit> Segment(std::size_t from, std::size_t to, bool lineStart, std::uint32_t charStart,
                                  bool endsText, std::uint32_t& charEnd) const;
    TextUnit MakeUnit(std::size_t byteStart, std::uint32_t charStart, bool lineStart,
                      std::uint32_t chars) const;
    void RebuildRowSums();

    CTextBuffer m_buffer;
    std::vector<TextUnit> m_units;
    std::vector<std::int32_t> m_rowSums; // a Fenwick tree over the units' rows
    std::uint32_t m_length = 0;
    RowEstimate m_estimate;
};
