#include "platform/PathKey.h"

#include "platform/PathNames.h"
#include "platform/Sodium.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

std::string CanonicalPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    // A file that does not exist yet: its folder is resolved instead.
    if (::realpath(FolderOf(path).c_str(), resolved))
        return std::string(resolved) + (resolved[1] == '\0' ? "" : "/") + FileNameOf(path);
    return path;
}

std::string PathKey(const std::string& path)
{
    InitSodium();
    const std::string canonical = CanonicalPath(path);
    unsigned char hash[16];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(canonical.data()),
                       canonical.size(), nullptr, 0);
    char hex[sizeof hash * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, hash, sizeof hash);
    return hex;
}
