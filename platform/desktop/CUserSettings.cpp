#include "platform/desktop/CUserSettings.h"

#include "platform/desktop/CRegistryKey.h"

#include <algorithm>

namespace {

const char* const kKey = "Software\\Orlathwick\\Pelmora\\View";

} // namespace

CUserSettings CUserSettings::Read()
{
    CUserSettings settings;
    CRegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kKey, CRegistryKey::REGKEY_READ))
        return settings;
    std::uint32_t value = 0;
    // A value another version wrote beyond the steps is brought back within them.
    if (key.ReadDword("Zoom", value))
        settings.m_zoom = std::clamp(static_cast<int>(static_cast<std::int32_t>(value)), kMinZoom, kMaxZoom);
    if (key.ReadDword("ReopenLast", value))
        settings.m_bReopenLast = value != 0;
    return settings;
}

bool CUserSettings::Write() const
{
    CRegistryKey key;
    return key.Open(HKEY_CURRENT_USER, kKey,
                    CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ) &&
           key.WriteDword("Zoom", static_cast<std::uint32_t>(m_zoom)) &&
           key.WriteDword("ReopenLast", m_bReopenLast ? 1 : 0);
}
