#pragma once

#include "LogFont.h"
#include "WindowPlacement.h"

#include <cstdint>

// The main window's view settings as a notebook file carries them. Without a main window (the
// tool, tests) the notebook keeps what it read here, so that writing it again loses nothing.
struct CViewSettings
{
    // The reader's pre-set values: no placement, no pane shares, Verdana 16.
    CViewSettings() { FillLogFont(m_font, "Verdana", 16); }

    bool m_bWordWrap = false;
    WindowPlacement m_placement{}; // length 0: none stored
    std::int32_t m_paneFirst = 0;
    std::int32_t m_paneSecond = 0;
    LogFont m_font{};
};
