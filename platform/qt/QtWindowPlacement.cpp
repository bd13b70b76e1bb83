#include "platform/qt/QtWindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

WindowPlacement GetWindowPlacement(const QWidget& window)
{
    WindowPlacement placement{};
    placement.length = sizeof(WindowPlacement);
    placement.showCmd = window.isMinimized()   ? SW_SHOWMINIMIZED
                        : window.isMaximized() ? SW_SHOWMAXIMIZED
                                               : SW_SHOWNORMAL;
    placement.minX = placement.minY = placement.maxX = placement.maxY = -1;
    const QRect normal = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
    placement.left = normal.left();
    placement.top = normal.top();
    placement.right = normal.left() + normal.width();
    placement.bottom = normal.top() + normal.height();
    return placement;
}

void SetWindowPlacement(QWidget& window, const WindowPlacement& placement)
{
    QRect normal(placement.left, placement.top, placement.right - placement.left,
                 placement.bottom - placement.top);
    normal.setSize(normal.size().expandedTo(window.minimumSize()));
    const QScreen* screen = QGuiApplication::screenAt(normal.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen && !screen->availableGeometry().intersects(normal)) {
        const QRect area = screen->availableGeometry();
        normal.moveTopLeft(area.topLeft());
        normal.setSize(normal.size().boundedTo(area.size()));
    }
    if (window.isMaximized() || window.isMinimized())
        window.showNormal();
    window.setGeometry(normal);
    switch (placement.showCmd) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
        window.showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        window.showMaximized();
        break;
    default:
        break;
    }
}
