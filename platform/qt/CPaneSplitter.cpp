#include "platform/qt/CPaneSplitter.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A checkered band, like the halftone the Windows program inverted over the panes.
class CheckeredBand : public QWidget
{
public:
    explicit CheckeredBand(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QBrush(palette().color(QPalette::WindowText), Qt::Dense4Pattern));
    }
};

} // namespace

CPaneSplitter::CPaneSplitter(int paneCount, Orientation orientation, int minPaneSize, int barWidth,
                             QWidget* parent)
    : QWidget(parent), m_orientation(orientation), m_layout(paneCount, minPaneSize, barWidth),
      m_panes(static_cast<std::size_t>(m_layout.GetPaneCount())), m_band(new CheckeredBand(this))
{
    setCursor(SideBySide() ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    m_layout.Layout(Extent());
}

CPaneSplitter::~CPaneSplitter() = default;

bool CPaneSplitter::event(QEvent* event)
{
    // The host loses its sunken edge as soon as a splitter is put in it; nothing restores it.
    if (event->type() == QEvent::ParentChange)
        if (auto* frame = qobject_cast<QFrame*>(parentWidget()))
            frame->setFrameShape(QFrame::NoFrame);
    return QWidget::event(event);
}

bool CPaneSplitter::CreatePane(int index, QWidget* pane)
{
    if (index < 0 || index >= m_layout.GetPaneCount() || !pane)
        return false;
    m_panes[static_cast<std::size_t>(index)] = pane;
    pane->setParent(this);
    pane->setCursor(Qt::ArrowCursor); // the sizing cursor belongs to the bars only
    pane->setGeometry(GetPaneRect(index));
    pane->show();
    m_band->raise();
    return true;
}

QRect CPaneSplitter::Span(int from, int length, int cross) const
{
    return SideBySide() ? QRect(from, 0, length, cross) : QRect(0, from, cross, length);
}

QRect CPaneSplitter::GetPaneRect(int index) const
{
    const int from = m_layout.Position(index);
    const int to = m_layout.Position(index + 1) - m_layout.GetBarWidth();
    return Span(from, std::max(0, to - from), CrossExtent());
}

void CPaneSplitter::SetPaneWeights(const std::vector<int>& weights)
{
    m_layout.SetWeights(weights);
    LayoutPanes();
    RepositionPanes();
}

void CPaneSplitter::LayoutPanes()
{
    m_layout.Layout(Extent());
}

void CPaneSplitter::RepositionPanes()
{
    for (int i = 0; i < m_layout.GetPaneCount(); ++i)
        if (QWidget* pane = m_panes[static_cast<std::size_t>(i)])
            pane->setGeometry(GetPaneRect(i));
    update();
}

void CPaneSplitter::GetPaneShares(std::int32_t& first, std::int32_t& second) const
{
    if (m_layout.GetPaneCount() != 2)
        return;
    first = m_layout.Share(0);
    second = m_layout.Share(1);
}

void CPaneSplitter::SetPaneShares(std::int32_t first, std::int32_t second)
{
    if (m_layout.GetPaneCount() != 2)
        return;
    m_layout.SetShare(0, first);
    m_layout.SetShare(1, second);
    LayoutPanes();
    RepositionPanes();
}

void CPaneSplitter::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    const int bar = m_layout.GetBarWidth();
    for (int k = 1; k < m_layout.GetPaneCount(); ++k) {
        const int at = m_layout.Position(k) - bar;
        const QRect r = SideBySide() ? QRect(at, area.top(), bar, area.height())
                                     : QRect(area.left(), at, area.width(), bar);
        painter.fillRect(r, palette().color(QPalette::Button));
    }
}

void CPaneSplitter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutPanes();
    RepositionPanes();
}

void CPaneSplitter::DrawTracker()
{
    const int bar = m_layout.GetBarWidth();
    m_band->setGeometry(Span(m_trackPos - bar, bar, m_trackExtent));
    m_band->raise();
    m_band->show();
}

void CPaneSplitter::mousePressEvent(QMouseEvent* event)
{
    // Presses a pane leaves unhandled come up to the splitter too; only the bars start a drag.
    const QWidget* child = childAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || m_layout.GetPaneCount() < 2 || (child && child != m_band)) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int at = Along(event->position().toPoint());
    m_trackBar = m_layout.BarAt(at);
    m_trackPos = m_layout.Position(m_trackBar);
    m_grabOffset = at - m_trackPos;
    m_trackExtent = CrossExtent();
    DrawTracker();
}

void CPaneSplitter::mouseMoveEvent(QMouseEvent* event)
{
    if (!IsTracking())
        return;
    if (!(event->buttons() & Qt::LeftButton)) { // the release went elsewhere
        EndTracking();
        return;
    }
    m_trackPos = m_layout.ClampTrack(m_trackBar, Along(event->position().toPoint()) - m_grabOffset);
    DrawTracker();
}

void CPaneSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    if (!IsTracking() || event->button() != Qt::LeftButton)
        return;
    const int bar = m_trackBar;
    EndTracking();
    m_layout.DropBar(bar, m_trackPos, Extent());
    RepositionPanes();
}

// The second press of a double click starts no drag, so the release after it is ignored too.
void CPaneSplitter::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

// A drag that loses the mouse changes nothing.
void CPaneSplitter::hideEvent(QHideEvent* event)
{
    EndTracking();
    QWidget::hideEvent(event);
}

void CPaneSplitter::EndTracking()
{
    m_trackBar = 0;
    m_band->hide();
}
