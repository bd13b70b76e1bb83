#include "views/CTextLayouter.h"

#include "views/CTextDocument.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t kLayoutsKept = 400;
// Without wrapping a unit is one line, however long.
constexpr qreal kUnwrappedWidth = 1e7;
constexpr qreal kTabStop = 80;

} // namespace

CTextLayouter::CTextLayouter(CTextDocument& document) : m_document(document)
{
    SetFont(QFont());
}

CTextLayouter::~CTextLayouter() = default;

void CTextLayouter::SetFont(const QFont& font)
{
    m_font = font;
    const QFontMetricsF metrics(font);
    m_rowHeight = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    m_charWidth = std::max<qreal>(1.0, metrics.averageCharWidth());
    Reset();
}

void CTextLayouter::SetWrap(bool wrap)
{
    if (wrap == m_wrap)
        return;
    m_wrap = wrap;
    Reset();
}

void CTextLayouter::SetWidth(qreal width)
{
    if (std::abs(width - m_width) < 0.5)
        return;
    m_width = width;
    if (m_wrap)
        Reset();
}

void CTextLayouter::SetPreedit(int pos, const QString& text)
{
    m_preeditPos = text.isEmpty() ? -1 : pos;
    m_preedit = text;
    Invalidate();
}

void CTextLayouter::Invalidate()
{
    m_layouts.clear();
    m_recent.clear();
}

void CTextLayouter::TextReplaced()
{
    Invalidate();
    m_widestKnown = false;
}

// Every unit takes its estimate again: the rows and widths known belong to another layout.
void CTextLayouter::Reset()
{
    TextReplaced();
    const bool wrap = m_wrap;
    const qreal width = std::max<qreal>(1.0, m_width);
    const qreal charWidth = m_charWidth;
    m_document.SetRowEstimate([wrap, width, charWidth](const TextUnit& unit, std::uint32_t chars) {
        if (!wrap)
            return unit.lineStart ? 1 : 0;
        return std::max(1, static_cast<int>(std::ceil(chars * charWidth / width)));
    });
}

QTextLayout& CTextLayouter::Layout(std::size_t unit)
{
    const auto found = m_layouts.find(unit);
    if (found != m_layouts.end()) {
        m_recent.splice(m_recent.begin(), m_recent, found->second);
        return *found->second->second;
    }
    auto layout = std::make_unique<QTextLayout>(m_document.UnitText(unit), m_font);
    QTextOption option;
    option.setWrapMode(m_wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    option.setTabStopDistance(kTabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const TextUnit& text = m_document.Unit(unit);
    const int start = static_cast<int>(text.charStart);
    if (m_preeditPos >= start && m_preeditPos <= m_document.UnitTextEnd(unit))
        layout->setPreeditArea(m_preeditPos - start, m_preedit);
    int rows = 0;
    qreal width = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine(), ++rows) {
        line.setLineWidth(m_wrap ? m_width : kUnwrappedWidth);
        line.setPosition(QPointF(0, rows * m_rowHeight));
        width = std::max(width, line.naturalTextWidth());
    }
    layout->endLayout();
    m_document.SetRows(unit, m_wrap ? std::max(rows, 1) : (text.lineStart ? 1 : 0),
                       static_cast<float>(width));
    // A line laid out wider than thought widens the text; one narrower leaves a little room to spare.
    if (m_widestKnown)
        m_widest = std::max(m_widest, UnitX(unit) + width);

    m_recent.emplace_front(unit, std::move(layout));
    m_layouts[unit] = m_recent.begin();
    if (m_recent.size() > kLayoutsKept) {
        m_layouts.erase(m_recent.back().first);
        m_recent.pop_back();
    }
    return *m_recent.front().second;
}

qreal CTextLayouter::UnitX(std::size_t unit)
{
    if (m_wrap)
        return 0;
    qreal x = 0;
    for (std::size_t u = m_document.LineFirstUnit(unit); u < unit; ++u)
        x += UnitWidth(u);
    return x;
}

qreal CTextLayouter::UnitWidth(std::size_t unit) const
{
    const TextUnit& text = m_document.Unit(unit);
    return text.width >= 0
               ? text.width
               : Estimate(static_cast<std::size_t>(m_document.UnitTextEnd(unit)) - text.charStart);
}

int CTextLayouter::RowOf(int pos)
{
    const std::size_t unit = m_document.UnitAt(pos);
    if (!m_wrap)
        return m_document.RowOf(m_document.LineFirstUnit(unit));
    const QTextLine line =
        Layout(unit).lineForTextPosition(pos - static_cast<int>(m_document.Unit(unit).charStart));
    return m_document.RowOf(unit) + (line.isValid() ? line.lineNumber() : 0);
}

qreal CTextLayouter::XOf(int pos)
{
    const std::size_t unit = m_document.UnitAt(pos);
    const int local = pos - static_cast<int>(m_document.Unit(unit).charStart);
    const QTextLine line = Layout(unit).lineForTextPosition(local);
    return UnitX(unit) + (line.isValid() ? line.cursorToX(local) : 0);
}

std::size_t CTextLayouter::UnitAtRow(int row, int& unitRow)
{
    for (;;) {
        row = std::clamp(row, 0, std::max(0, m_document.TotalRows() - 1));
        const std::size_t unit = m_document.UnitAtRow(row, unitRow);
        Layout(unit); // its exact rows may move the rows after it
        if (!m_wrap || row < unitRow + m_document.Unit(unit).rows || unit + 1 == m_document.UnitCount())
            return unit;
    }
}

int CTextLayouter::PositionAt(int row, qreal x)
{
    int unitRow = 0;
    std::size_t unit = UnitAtRow(row, unitRow);
    if (m_wrap) {
        const QTextLayout& layout = Layout(unit);
        const int start = static_cast<int>(m_document.Unit(unit).charStart);
        if (layout.lineCount() == 0)
            return start;
        const QTextLine line = layout.lineAt(std::clamp(row - unitRow, 0, layout.lineCount() - 1));
        return start + (x < 0 ? line.textStart() : line.xToCursor(x));
    }
    if (x < 0)
        return static_cast<int>(m_document.Unit(unit).charStart);
    // Along the line's units to the one under x. Only that one is laid out, since the rest of a very
    // long line may never be shown; its exact width may put x in the next one.
    const std::size_t last = m_document.LineLastUnit(unit);
    qreal unitX = 0;
    while (unit < last && x >= unitX + UnitWidth(unit))
        unitX += UnitWidth(unit++);
    for (Layout(unit); unit < last && x >= unitX + UnitWidth(unit); Layout(unit))
        unitX += UnitWidth(unit++);
    const QTextLayout& layout = Layout(unit);
    const int start = static_cast<int>(m_document.Unit(unit).charStart);
    return layout.lineCount() == 0 ? start : start + layout.lineAt(0).xToCursor(x - unitX);
}

int CTextLayouter::RowEnd(int row)
{
    int unitRow = 0;
    const std::size_t unit = UnitAtRow(row, unitRow);
    if (!m_wrap)
        return m_document.UnitTextEnd(m_document.LineLastUnit(unit));
    const QTextLayout& layout = Layout(unit);
    const int start = static_cast<int>(m_document.Unit(unit).charStart);
    const int textEnd = m_document.UnitTextEnd(unit);
    if (layout.lineCount() == 0)
        return start;
    const QTextLine line = layout.lineAt(std::clamp(row - unitRow, 0, layout.lineCount() - 1));
    const int end = start + line.textStart() + line.textLength();
    const bool lastOfLine = m_document.LineLastUnit(unit) == unit;
    if (line.lineNumber() == layout.lineCount() - 1)
        return lastOfLine ? textEnd : textEnd - 1;
    return end > start && layout.text().at(end - start - 1).isSpace() ? end - 1 : end;
}

qreal CTextLayouter::WidestLine()
{
    if (m_widestKnown)
        return m_widest;
    m_widest = 0;
    qreal line = 0;
    for (std::size_t u = 0; u < m_document.UnitCount(); ++u) {
        if (m_document.Unit(u).lineStart)
            line = 0;
        line += UnitWidth(u);
        m_widest = std::max(m_widest, line);
    }
    m_widestKnown = true;
    return m_widest;
}
