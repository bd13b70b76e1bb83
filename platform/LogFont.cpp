#include "platform/LogFont.h"

#include <cstring>

namespace {

int Or(int value, int fallback)
{
    return value == -1 ? fallback : value;
}

std::uint8_t Byte(int value, int fallback)
{
    return static_cast<std::uint8_t>(Or(value, fallback) & 0xFF);
}

} // namespace

void FillLogFont(LogFont& font, const char* faceName, int height, int weight, int italic, int underline,
                 int strikeOut, int width, int escapement, int orientation, int charSet, int outPrecision,
                 int clipPrecision, int quality, int pitchAndFamily)
{
    std::memset(&font, 0, sizeof font);
    font.lfHeight = Or(height, 14);
    font.lfWidth = Or(width, 0);
    font.lfEscapement = Or(escapement, 0);
    font.lfOrientation = Or(orientation, 0);
    font.lfWeight = Or(weight, kFontWeightNormal);
    font.lfItalic = Byte(italic, 0);
    font.lfUnderline = Byte(underline, 0);
    font.lfStrikeOut = Byte(strikeOut, 0);
    font.lfCharSet = Byte(charSet, 1);
    font.lfOutPrecision = Byte(outPrecision, 0);
    font.lfClipPrecision = Byte(clipPrecision, 0);
    font.lfQuality = Byte(quality, 0);
    font.lfPitchAndFamily = Byte(pitchAndFamily, 0);

    const char* face = (faceName == nullptr || faceName == kDefaultFace) ? "System" : faceName;
    std::strncpy(font.lfFaceName, face, sizeof font.lfFaceName - 1);
}
