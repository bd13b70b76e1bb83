#include "CNotePanel.h"

#include "CMainFrame.h"
#include "CNoteEditCtrl.h"
#include "CNoteListCtrl.h"

namespace {

// Plain containers with a thin edge, gray wherever their controls leave room.
void StylePane(QFrame& pane)
{
    pane.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane.setLineWidth(1);
    pane.setAutoFillBackground(true);
    QPalette gray = pane.palette();
    gray.setColor(QPalette::Window, QColor(150, 150, 150));
    pane.setPalette(gray);
}

} // namespace

// The panes exist from the start, so the frame's update rules can always ask them.
CNotePanel::CNotePanel()
    : CPaneSplitter(2, 1, 100, 5), m_listPane(std::make_unique<CNoteListCtrl>()),
      m_editPane(std::make_unique<CNoteEditCtrl>())
{
}

CNotePanel::~CNotePanel() = default;

bool CNotePanel::Create(QWidget* host, CMainFrame* frame)
{
    m_mainFrame = frame;
    setParent(host);
    StylePane(*m_listPane);
    StylePane(*m_editPane);
    CreatePane(0, m_listPane.get());
    CreatePane(1, m_editPane.get());
    m_listPane->CreateList();
    SetPaneWeights({3, 10});
    setGeometry(host->contentsRect());
    show();
    setFocus(Qt::OtherFocusReason);
    return true;
}

void CNotePanel::ReloadNoteList()
{
    if (!m_mainFrame)
        return;
    m_mainFrame->SetActiveNote(-1, true);
    m_listPane->Reload();
    m_mainFrame->UpdateCommandStates();
}

void CNotePanel::UpdateEditorFont()
{
    m_editPane->ApplyFonts();
}
