#pragma once

#include "platform/WindowPlacement.h"

class QWidget;

// The stored window placement of a top-level window: its normal rectangle and whether it is
// minimized or maximized, in the record the notebook file carries.
WindowPlacement GetWindowPlacement(const QWidget& window);
// Shows the window in the stored state; like the system's own placement call, a rectangle off
// every screen is moved onto one.
void SetWindowPlacement(QWidget& window, const WindowPlacement& placement);
