#include "platform/desktop/CRecentFileList.h"

#include "platform/desktop/CRegistryKey.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

// Every slot is written, the unused ones empty, so a shorter list leaves no old names behind; all
// in one write, so that another window reads the old list or the new one.
bool CRecentFileList::WriteList() const
{
    CRegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kSection, CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE))
        return false;
    std::vector<std::pair<std::string, std::string>> slots;
    for (std::size_t i = 0; i < kSize; ++i)
        slots.emplace_back(EntryName(i), i < m_paths.size() ? m_paths[i] : std::string());
    return key.WriteStrings(slots);
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

namespace {

// The path's folders, the nearest first.
std::vector<std::string> FoldersUp(const std::string& path)
{
    std::vector<std::string> folders;
    std::size_t end = path.rfind('/');
    while (end != std::string::npos && end > 0) {
        const std::size_t start = path.rfind('/', end - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        if (end > from)
            folders.push_back(path.substr(from, end - from));
        end = start;
    }
    return folders;
}

// The last count folders as a path; the root when there are none.
std::string LastFolders(const std::vector<std::string>& up, std::size_t count)
{
    if (up.empty())
        return "/";
    std::string joined;
    for (std::size_t i = std::min(count, up.size()); i-- > 0;)
        joined += up[i] + (i > 0 ? "/" : "");
    return joined;
}

} // namespace

std::vector<std::string> CRecentFileList::ShortNames(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    std::map<std::string, std::vector<std::size_t>> byName;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        names.push_back(paths[i].substr(paths[i].rfind('/') + 1));
        byName[names.back()].push_back(i);
    }
    for (const auto& [name, same] : byName) {
        if (same.size() < 2)
            continue;
        // The fewest folders that tell every one of them from the others, or all there are.
        std::size_t depth = 1;
        for (;; ++depth) {
            std::set<std::string> seen;
            bool deeper = false;
            for (const std::size_t i : same) {
                const std::vector<std::string> up = FoldersUp(paths[i]);
                deeper = deeper || up.size() > depth;
                seen.insert(LastFolders(up, depth));
            }
            if (seen.size() == same.size() || !deeper)
                break;
        }
        for (const std::size_t i : same)
            names[i] = name + " (" + LastFolders(FoldersUp(paths[i]), depth) + ")";
    }
    return names;
}
