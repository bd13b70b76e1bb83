#include "views/CSearchBar.h"

#include "platform/LogFont.h"
#include "platform/qt/DisplayScale.h"
#include "platform/qt/QtFont.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

#include <algorithm>

CSearchBar::CSearchBar(QWidget* parent)
    : QWidget(parent), m_wndEdit(new QLineEdit(this)), m_wndButton(new QPushButton(tr("Search"), this)),
      m_wndFindAllButton(new QPushButton(tr("Find All"), this))
{
    m_wndEdit->setMaxLength(kMaxLength);
    m_wndEdit->setAccessibleName(tr("Search"));
    LogFont description;
    FillLogFont(description, "MS Sans Serif", static_cast<int>(12 * g_scaleX));
    m_font = MakeQFont(description);
    m_wndButton->setFont(m_font);
    m_wndEdit->setFont(m_font);
    m_wndButton->setFocusPolicy(Qt::TabFocus);
    m_wndFindAllButton->setFont(m_font);
    m_wndFindAllButton->setFocusPolicy(Qt::TabFocus);

    // Enter is turned into a queued Find Next, so that the box has finished with the key first.
    m_wndEdit->installEventFilter(this);
    connect(m_wndButton, &QPushButton::clicked, this, &CSearchBar::FindNext);
    connect(m_wndFindAllButton, &QPushButton::clicked, this, &CSearchBar::FindAll);
}

bool CSearchBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_wndEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            QMetaObject::invokeMethod(this, &CSearchBar::FindNext, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void CSearchBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRect r = rect();
    const int e = static_cast<int>(400 / g_scaleX);
    const int height = (r.bottom() + 1 - 2) - (r.top() + 2);
    m_wndEdit->setGeometry(r.left() + 2, r.top() + 2, e - (r.left() + 2), height);
    const int buttonWidth = static_cast<int>(100 / g_scaleX + e + 2) - (e + 2);
    m_wndButton->setGeometry(e + 2, r.top() + 2, buttonWidth, height);
    // Find All takes what is left of the row, up to the Search button's width; a button cut off
    // by the row's end would be no button at all, so without room for its text it stays hidden
    // (the menu and Ctrl+Shift+F still reach it).
    const int left = e + 2 + buttonWidth + 2;
    const int room = std::min(buttonWidth, r.right() + 1 - left);
    m_wndFindAllButton->setGeometry(left, r.top() + 2, std::max(room, 0), height);
    const int text = m_wndFindAllButton->fontMetrics().horizontalAdvance(m_wndFindAllButton->text());
    m_wndFindAllButton->setVisible(room >= text + 12);
}

// The row is measured from its own top, since the menu bar here lies inside the window above it.
void CSearchBar::PlaceBeside(const QToolBar& toolBar)
{
    const QList<QAction*> actions = toolBar.actions();
    const QWidget* last = actions.isEmpty() ? nullptr : toolBar.widgetForAction(actions.constLast());
    if (!last)
        return;
    const QRect t = toolBar.geometry();
    const QRect b = last->geometry();
    const int left = b.left() + b.width() + (t.height() - (b.top() + b.height())) + 1;
    const int top = t.top() + 2;
    const int right = std::max(t.left() + t.width() - 2, left);
    const int bottom = t.top() + t.height() - 2;
    setGeometry(left, top, right - left, bottom - top);
    raise();
}
