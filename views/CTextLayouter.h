#pragma once

#include <QFont>
#include <QString>

#include <cstddef>
#include <list>
#include <memory>
#include <unordered_map>

class CTextDocument;
class QTextLayout;

// Lays out a document's units for one font, wrap mode and width, only those asked for, and keeps the
// layouts of the units shown lately. Each unit laid out tells the document its exact rows; the rest
// keep an estimate. Rows are counted from the top of the text. Without wrapping a line is one row
// and the units of a long line stand side by side in it, each at its offset.
class CTextLayouter
{
public:
    explicit CTextLayouter(CTextDocument& document);
    ~CTextLayouter();

    void SetFont(const QFont& font);
    void SetWrap(bool wrap);
    // The width text wraps at.
    void SetWidth(qreal width);
    // The typed text the input method is composing at pos, shown but not yet in the text.
    void SetPreedit(int pos, const QString& text);
    bool Wraps() const { return m_wrap; }
    int RowHeight() const { return m_rowHeight; }
    const QFont& Font() const { return m_font; }
    // Part of the text changed: every layout is stale.
    void Invalidate();
    // All of it changed.
    void TextReplaced();

    QTextLayout& Layout(std::size_t unit);
    // Where the unit begins in its row: 0 when wrapping, after the units before it in its line
    // otherwise.
    qreal UnitX(std::size_t unit);
    int RowOf(int pos);
    qreal XOf(int pos);
    // The position nearest to x on the row; the rows past the end give the end.
    int PositionAt(int row, qreal x);
    int RowStart(int row) { return PositionAt(row, -1.0); }
    // The last position on the row: before the blank a wrapped row broke at, or the end of the line.
    int RowEnd(int row);
    // The widest line as far as it is known, estimated for the lines never laid out.
    qreal WidestLine();
    // The unit's width when laid out, its estimate before.
    qreal UnitWidth(std::size_t unit) const;
    // The unit holding the row, laid out, with the row its layout begins at.
    std::size_t UnitAtRow(int row, int& unitRow);

private:
    void Reset();
    qreal Estimate(std::size_t chars) const { return static_cast<qreal>(chars) * m_charWidth; }

    CTextDocument& m_document;
    QFont m_font;
    bool m_wrap = false;
    qreal m_width = 0;
    int m_rowHeight = 1;
    qreal m_charWidth = 1;
    qreal m_widest = 0;
    bool m_widestKnown = false;
    int m_preeditPos = -1;
    QString m_preedit;
    // The layouts kept, most recently used first.
    std::list<std::pair<std::size_t, std::unique_ptr<QTextLayout>>> m_recent;
    std::unordered_map<std::size_t, decltype(m_recent)::iterator> m_layouts;
};
