#pragma once

#include <cstdint>

// The 44-byte window placement stored in notebook files, field for field.
struct WindowPlacement
{
    std::uint32_t length;
    std::uint32_t flags;
    std::uint32_t showCmd;
    std::int32_t minX, minY;
    std::int32_t maxX, maxY;
    std::int32_t left, top, right, bottom;
};
static_assert(sizeof(WindowPlacement) == 44, "the placement record is 44 bytes");

// Show commands the placement record uses.
enum ShowCommand : std::uint32_t
{
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOWMINIMIZED = 2,
    SW_SHOWMAXIMIZED = 3,
    SW_SHOW = 5,
    SW_MINIMIZE = 6,
    SW_SHOWMINNOACTIVE = 7,
    SW_RESTORE = 9,
};
