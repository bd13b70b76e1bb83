#include "platform/qt/CLockIndicators.h"

#include "platform/qt/CLockKeys.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>

CLockIndicators::CLockIndicators(QWidget* parent) : QWidget(parent)
{
    static const char* const names[] = {"CAP", "NUM", "SCRL"};
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        m_labels[i] = new QLabel(tr(names[i]), this);
        m_labels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_labels[i]->setEnabled(false);
        layout->addWidget(m_labels[i]);
    }
    Refresh();
    qApp->installEventFilter(this);
}

CLockIndicators::~CLockIndicators()
{
    qApp->removeEventFilter(this);
}

void CLockIndicators::Refresh()
{
    CLockKeys keys;
    if (!CLockKeys::Query(keys))
        return;
    m_labels[0]->setEnabled(keys.caps);
    m_labels[1]->setEnabled(keys.num);
    m_labels[2]->setEnabled(keys.scroll);
}

bool CLockIndicators::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        Refresh();
    } else if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            Refresh();
    }
    return QWidget::eventFilter(watched, event);
}
