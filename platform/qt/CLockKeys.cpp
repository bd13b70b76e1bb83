#include "platform/qt/CLockKeys.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

CLockKeys CLockKeys::FromIndicatorMask(unsigned mask)
{
    CLockKeys keys;
    keys.caps = (mask & 1u) != 0;
    keys.num = (mask & 2u) != 0;
    keys.scroll = (mask & 4u) != 0;
    return keys;
}

bool CLockKeys::Query(CLockKeys& keys)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    unsigned mask = 0;
    if (!display || XkbGetIndicatorState(display, XkbUseCoreKbd, &mask) != Success)
        return false;
    keys = FromIndicatorMask(mask);
    return true;
}
