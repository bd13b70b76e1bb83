#pragma once

#include <string>

// A name for the per-notebook files kept elsewhere (backups, recovery copies, the open mark): 32
// hex digits of a hash of the notebook's full path, links followed, so that every way of naming
// one file gives one key.
std::string PathKey(const std::string& path);

// The path with links followed and made absolute; the path itself when it cannot be resolved.
std::string CanonicalPath(const std::string& path);
