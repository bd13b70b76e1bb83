#include "views/CFindAllDock.h"

#include "views/CFindAllPane.h"

CFindAllDock::CFindAllDock(QLineEdit& searchBox, QWidget* parent)
    : QDockWidget(tr("Find All"), parent), m_pane(new CFindAllPane(searchBox, this))
{
    setObjectName("findAllDock");
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
    setWidget(m_pane);
    hide();
    connect(m_pane, &CFindAllPane::Dismissed, this, &QDockWidget::close);
}

void CFindAllDock::FindAll()
{
    show();
    m_pane->FindAll();
}

void CFindAllDock::ShowReplace()
{
    show();
    m_pane->ShowReplace();
}
