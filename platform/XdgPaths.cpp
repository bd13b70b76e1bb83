#include "platform/XdgPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// Relative values are invalid by the rules and are ignored.
std::string BaseFolder(const char* variable, const char* belowHome)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const std::string home = HomeFolder();
    return home.empty() ? home : home + belowHome;
}

} // namespace

std::string XdgDataHome()
{
    return BaseFolder("XDG_DATA_HOME", "/.local/share");
}

std::string XdgConfigHome()
{
    return BaseFolder("XDG_CONFIG_HOME", "/.config");
}

std::string XdgStateHome()
{
    return BaseFolder("XDG_STATE_HOME", "/.local/state");
}
