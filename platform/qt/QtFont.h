#pragma once

#include "platform/LogFont.h"

#include <QFont>

// The Qt font for a stored font description. A positive height is the cell height, as on
// Windows: the largest pixel size whose line height fits it is taken.
QFont MakeQFont(const LogFont& description);

// The font at a size multiplied by the factor, in the unit it was given in; never below one.
QFont ScaledFont(QFont font, double factor);
