#pragma once

#include <string>

// The user's spelling choices, kept per user in the registry store and never in a notebook:
// whether to check as they type, and the dictionary's language ("en_US"; empty for the default).
class CSpellSettings
{
public:
    // The stored choices; checking is on until the user turns it off.
    static CSpellSettings Read();
    bool Write() const;

    bool m_bCheck = true;
    std::string m_language;
};
