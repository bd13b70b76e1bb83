#pragma once

#include <QFont>
#include <QObject>
#include <QRectF>

#include <cstdint>
#include <vector>

class CNote;
class QPagedPaintDevice;
class QPainter;
class QTextLayout;

// Paints notes on pages, for a printer or a PDF file: each note's title as a heading, then its
// text in the note's face, wrapped or cut at the margin as the editor shows it, and the page
// number in the footer. The work is done a few milliseconds at a time with the window's events in
// between, so a note of many megabytes neither freezes the window nor stops Cancel.
class CNotePrinter : public QObject
{
    Q_OBJECT

public:
    CNotePrinter(const QFont& textFont, bool wordWrap);

    // False when cancelled or when the device could not be painted on.
    bool Print(QPagedPaintDevice& device, const std::vector<const CNote*>& notes);
    void Cancel() { m_cancelled = true; }
    bool WasCancelled() const { return m_cancelled; }

signals:
    // Bytes done of all to do.
    void Progress(std::int64_t done, std::int64_t total);

private:
    // A line of text is laid out in pieces of this many characters at most: the layout of a
    // megabyte-long line at once would take seconds.
    static constexpr int kPieceLength = 8192;

    void PrintParagraph(const QString& text, const QFont& font);
    void DrawLayout(QTextLayout& layout);
    void NewPage();
    void DrawFooter();
    void Yield(std::int64_t done);

    QFont m_textFont;
    QFont m_titleFont;
    QFont m_footerFont;
    bool m_wrap;
    bool m_cancelled = false;
    QPainter* m_painter = nullptr;
    QPagedPaintDevice* m_device = nullptr;
    QRectF m_body;
    double m_y = 0;
    int m_page = 1;
    std::int64_t m_total = 0;
    std::int64_t m_sliceStart = 0;
};
