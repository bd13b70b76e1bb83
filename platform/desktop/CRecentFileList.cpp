#include "platform/desktop/CRecentFileList.h"

#include "platform/desktop/CRegistryKey.h"

#include <algorithm>

namespace {

const char kSection[] = "Software\\Orlathwick\\Pelmora\\Recent File List";
// A path of the system's longest plus the terminator.
constexpr std::uint32_t kLongestPath = 4097;

std::string EntryName(std::size_t index)
{
    return "File" + std::to_string(index + 1);
}

} // namespace

void CRecentFileList::ReadList()
{
    m_paths.clear();
    CRegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kSection, CRegistryKey::REGKEY_READ))
        return;
    std::string buffer(kLongestPath, '\0');
    for (std::size_t i = 0; i < kSize; ++i) {
        if (!key.ReadString(EntryName(i).c_str(), buffer.data(), kLongestPath))
            continue;
        const std::string path = buffer.c_str();
        if (!path.empty() && std::find(m_paths.begin(), m_paths.end(), path) == m_paths.end())
            m_paths.push_back(path);
    }
}

// Every slot is written, the unused ones empty, so a shorter list leaves no old names behind.
bool CRecentFileList::WriteList() const
{
    CRegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kSection, CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE))
        return false;
    bool written = true;
    for (std::size_t i = 0; i < kSize; ++i)
        written &= key.WriteString(EntryName(i).c_str(), i < m_paths.size() ? m_paths[i].c_str() : "");
    return written;
}

void CRecentFileList::Add(const std::string& path)
{
    Remove(path);
    m_paths.insert(m_paths.begin(), path);
    if (m_paths.size() > kSize)
        m_paths.resize(kSize);
}

void CRecentFileList::Remove(const std::string& path)
{
    m_paths.erase(std::remove(m_paths.begin(), m_paths.end(), path), m_paths.end());
}
