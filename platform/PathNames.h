#pragma once

#include <string>

// A path's parts, split at its last '/'.

// The folder that holds path: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);
// The last part of path; the whole path when it has no '/'.
std::string FileNameOf(const std::string& path);
