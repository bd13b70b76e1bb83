#include "platform/qt/QtFont.h"

#include <algorithm>
#include <cmath>

#include <QFontMetrics>

#include <cstdlib>

QFont MakeQFont(const LogFont& description)
{
    QFont font(QString::fromUtf8(description.lfFaceName));
    font.setWeight(description.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(description.lfItalic != 0);
    font.setUnderline(description.lfUnderline != 0);
    font.setStrikeOut(description.lfStrikeOut != 0);

    const int height = std::abs(description.lfHeight);
    if (height == 0)
        return font;
    if (description.lfHeight < 0) { // a negative height is the character height
        font.setPixelSize(height);
        return font;
    }
    int size = height;
    for (; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= height)
            break;
    }
    font.setPixelSize(size);
    return font;
}

QFont ScaledFont(QFont font, double factor)
{
    if (font.pixelSize() > 0)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * factor))));
    else if (font.pointSizeF() > 0)
        font.setPointSizeF(std::max(1.0, font.pointSizeF() * factor));
    return font;
}
