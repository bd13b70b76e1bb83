#pragma once

#include "platform/LogFont.h"

#include <QFont>

// The Qt font for a stored font description. A positive height is the cell height, as on
// Windows: the largest pixel size whose line height fits it is taken.
QFont MakeQFont(const LogFont& description);
