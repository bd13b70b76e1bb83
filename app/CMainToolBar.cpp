#include "app/CMainToolBar.h"

#include "app/CommandIds.h"
#include "platform/qt/CCommandRouter.h"
#include "platform/qt/DisplayScale.h"
#include "views/CSearchBar.h"

#include <QAction>

CMainToolBar::CMainToolBar(CCommandRouter& router, QWidget* parent) : QToolBar(tr("Toolbar"), parent)
{
    struct Button
    {
        int id;
        const char* image;
    };
    static const Button buttons[] = {
        {ID_NEW_NOTE, "new-note"},
        {ID_DELETE_NOTE, "delete-note"},
        {0, nullptr},
        {ID_FILE_SAVE, "save"},
        {0, nullptr},
        {ID_MOVE_UP, "move-up"},
        {ID_MOVE_DOWN, "move-down"},
        {0, nullptr},
        {ID_EDIT_CUT, "cut"},
        {ID_EDIT_COPY, "copy"},
        {ID_EDIT_PASTE, "paste"},
    };
    setObjectName("toolbar");
    setMovable(false);
    setFloatable(false);
    toggleViewAction()->setEnabled(false);
    // The images stay 16 x 15; the buttons grow with the scale factors.
    setIconSize(QSize(16, 15));
    const QSize buttonSize(static_cast<int>(23 * g_scaleX), static_cast<int>(22 * g_scaleY));
    for (const Button& button : buttons) {
        if (button.id == 0) {
            addSeparator();
            continue;
        }
        QAction* action = router.Action(button.id);
        action->setIcon(QIcon(QString(":/icons/toolbar/%1.svg").arg(button.image)));
        addAction(action);
        if (QWidget* widget = widgetForAction(action))
            widget->setFixedSize(buttonSize);
    }
}

void CMainToolBar::SetSearchBar(CSearchBar* searchBar)
{
    m_searchBar = searchBar;
    PlaceSearchBar();
}

void CMainToolBar::resizeEvent(QResizeEvent* event)
{
    QToolBar::resizeEvent(event);
    PlaceSearchBar();
}

void CMainToolBar::PlaceSearchBar()
{
    if (m_searchBar)
        m_searchBar->PlaceBeside(*this);
}
