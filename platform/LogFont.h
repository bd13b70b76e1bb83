#pragma once

#include <cstdint>

// The 60-byte font description stored in notebook files, field for field.
struct LogFont
{
    std::int32_t lfHeight;
    std::int32_t lfWidth;
    std::int32_t lfEscapement;
    std::int32_t lfOrientation;
    std::int32_t lfWeight;
    std::uint8_t lfItalic;
    std::uint8_t lfUnderline;
    std::uint8_t lfStrikeOut;
    std::uint8_t lfCharSet;
    std::uint8_t lfOutPrecision;
    std::uint8_t lfClipPrecision;
    std::uint8_t lfQuality;
    std::uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};
static_assert(sizeof(LogFont) == 60, "the font record is 60 bytes");

constexpr int kFontWeightNormal = 400;
constexpr int kFontWeightBold = 700;

// The face argument that selects the default face ("System"); a null pointer does the same.
inline const char* const kDefaultFace = reinterpret_cast<const char*>(-1);

// Fills every field, taking the default wherever an argument is -1. A face longer than 31
// characters is cut so that the name stays terminated inside the record.
void FillLogFont(LogFont& font, const char* faceName, int height = -1, int weight = -1, int italic = -1,
                 int underline = -1, int strikeOut = -1, int width = -1, int escapement = -1,
                 int orientation = -1, int charSet = -1, int outPrecision = -1, int clipPrecision = -1,
                 int quality = -1, int pitchAndFamily = -1);
