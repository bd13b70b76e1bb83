#include "platform/desktop/CSpellSettings.h"

#include "platform/desktop/CRegistryKey.h"

namespace {

const char* const kKey = "Software\\Orlathwick\\Pelmora\\Spelling";

} // namespace

CSpellSettings CSpellSettings::Read()
{
    CSpellSettings settings;
    CRegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kKey, CRegistryKey::REGKEY_READ))
        return settings;
    std::uint32_t check = 1;
    if (key.ReadDword("Check", check))
        settings.m_bCheck = check != 0;
    char language[64] = {};
    if (key.ReadString("Language", language, sizeof language))
        settings.m_language = language;
    return settings;
}

bool CSpellSettings::Write() const
{
    CRegistryKey key;
    return key.Open(HKEY_CURRENT_USER, kKey,
                    CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ) &&
           key.WriteDword("Check", m_bCheck ? 1 : 0) && key.WriteString("Language", m_language.c_str());
}
