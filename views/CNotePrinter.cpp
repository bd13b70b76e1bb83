#include "views/CNotePrinter.h"

#include "model/CNote.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr qint64 kSliceMs = 20;

// The editor's fonts are sized in screen pixels; on paper that size is kept in points.
QFont ForPaper(QFont font, double scale = 1.0)
{
    if (font.pixelSize() > 0)
        font.setPointSizeF(font.pixelSize() * 72.0 / 96.0 * scale);
    else if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

} // namespace

CNotePrinter::CNotePrinter(const QFont& textFont, bool wordWrap)
    : m_textFont(ForPaper(textFont)), m_titleFont(ForPaper(textFont, 1.5)),
      m_footerFont(ForPaper(textFont, 0.8)), m_wrap(wordWrap)
{
    m_titleFont.setBold(true);
    m_footerFont.setBold(false);
}

bool CNotePrinter::Print(QPagedPaintDevice& device, const std::vector<const CNote*>& notes)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    m_painter = &painter;
    m_device = &device;
    m_total = 0;
    for (const CNote* note : notes)
        m_total += static_cast<std::int64_t>(note->GetText().size() + note->GetTitle().size());
    const QFontMetricsF footer(m_footerFont, &device);
    m_body = QRectF(0, 0, device.width(), device.height() - 2 * footer.height());
    m_y = 0;
    m_page = 1;
    QElapsedTimer clock;
    clock.start();
    std::int64_t done = 0;
    for (std::size_t i = 0; i < notes.size() && !m_cancelled; ++i) {
        if (i > 0)
            NewPage();
        PrintParagraph(QString::fromStdString(notes[i]->GetTitle()), m_titleFont);
        m_y += QFontMetricsF(m_textFont, &device).height();
        const std::string& text = notes[i]->GetText();
        done += static_cast<std::int64_t>(notes[i]->GetTitle().size());
        for (std::size_t start = 0; start <= text.size() && !m_cancelled;) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::size_t stop = end;
            if (stop > start && text[stop - 1] == '\r')
                --stop;
            PrintParagraph(QString::fromUtf8(text.data() + start, static_cast<int>(stop - start)),
                           m_textFont);
            done += static_cast<std::int64_t>(end - start + 1);
            start = end + 1;
            if (clock.elapsed() >= kSliceMs) {
                Yield(done);
                clock.restart();
            }
        }
    }
    DrawFooter();
    const bool finished = !m_cancelled;
    painter.end();
    m_painter = nullptr;
    emit Progress(m_total, m_total);
    return finished;
}

// Without wrapping a line is cut at the margin, so only its first piece can show.
void CNotePrinter::PrintParagraph(const QString& text, const QFont& font)
{
    QTextOption option;
    option.setWrapMode(m_wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    const int length = static_cast<int>(text.size());
    for (int from = 0; from == 0 || (m_wrap && from < length); from += kPieceLength) {
        QTextLayout layout(text.mid(from, kPieceLength), font, m_device);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
            line.setLineWidth(m_body.width());
        layout.endLayout();
        DrawLayout(layout);
    }
}

void CNotePrinter::DrawLayout(QTextLayout& layout)
{
    for (int i = 0; i < layout.lineCount(); ++i) {
        QTextLine line = layout.lineAt(i);
        if (m_y + line.height() > m_body.height() && m_y > 0)
            NewPage();
        const double top = line.y();
        m_painter->save();
        m_painter->setClipRect(m_body);
        line.draw(m_painter, QPointF(0, m_y - top));
        m_painter->restore();
        m_y += line.height();
    }
}

void CNotePrinter::NewPage()
{
    DrawFooter();
    m_device->newPage();
    ++m_page;
    m_y = 0;
}

void CNotePrinter::DrawFooter()
{
    m_painter->setFont(m_footerFont);
    const QRectF footer(0, m_body.bottom(), m_body.width(), m_device->height() - m_body.bottom());
    m_painter->drawText(footer, Qt::AlignHCenter | Qt::AlignBottom, tr("Page %1").arg(m_page));
}

void CNotePrinter::Yield(std::int64_t done)
{
    emit Progress(done, m_total);
    QCoreApplication::processEvents();
}
