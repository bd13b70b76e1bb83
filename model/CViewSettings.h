#pragma once

#include "model/CTextCodec.h"
#include "platform/LogFont.h"
#include "platform/WindowPlacement.h"

#include <cstdint>
#include <cstring>
#include <string>

// The main window's view settings as a notebook file carries them. Without a main window (the
// tool, tests) the notebook keeps what it read here, so that writing it again loses nothing.
struct CViewSettings
{
    // The reader's pre-set values: no placement, no pane shares, Verdana 16.
    CViewSettings() { FillLogFont(m_font, "Verdana", 16); }

    // The record's face name, terminated or not, as UTF-8 (the Windows program stored its code page).
    static std::string FaceName(const LogFont& font)
    {
        return CTextCodec::AsUtf8(
            std::string_view(font.lfFaceName, strnlen(font.lfFaceName, sizeof font.lfFaceName)));
    }

    bool m_bWordWrap = false;
    WindowPlacement m_placement{}; // length 0: none stored
    std::int32_t m_paneFirst = 0;
    std::int32_t m_paneSecond = 0;
    LogFont m_font{};
};
