#include "app/CHostWnd.h"

#include <QChildEvent>
#include <QResizeEvent>

CHostWnd::CHostWnd(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAutoFillBackground(true);
    QPalette gray = palette();
    gray.setColor(QPalette::Window, QColor(100, 100, 100));
    setPalette(gray);
}

void CHostWnd::SetContent(QWidget* content)
{
    m_content = content;
    if (m_content)
        m_content->setGeometry(contentsRect());
    emit ContentChanged(content);
}

void CHostWnd::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_content)
        m_content->setGeometry(contentsRect());
}

// A panel that goes with the focus inside it (a notebook that failed to open) leaves the keys
// here, as at start-up, rather than with whatever box the window would pick next.
void CHostWnd::childEvent(QChildEvent* event)
{
    QFrame::childEvent(event);
    if (event->removed() && !window()->focusWidget())
        setFocus(Qt::OtherFocusReason);
}
