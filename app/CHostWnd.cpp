#include "CHostWnd.h"

#include "CMainFrame.h"
#include "CNotePanel.h"

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

void CHostWnd::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    CMainFrame* frame = CMainFrame::Of(this);
    if (frame && frame->IsBookOpen())
        frame->GetNotePanel()->setGeometry(contentsRect());
}
