#pragma once

#include "platform/CSafeSaveGroup.h"

#include <cstddef>

// While it lives, files saved in groups (an export to a folder) reach the disk so many at a time,
// so that a few notes make several groups.
class FilesPerGroup
{
public:
    explicit FilesPerGroup(std::size_t files) { CSafeSaveGroup::SetFilesPerGroup(files); }
    ~FilesPerGroup() { CSafeSaveGroup::SetFilesPerGroup(0); }
    FilesPerGroup(const FilesPerGroup&) = delete;
    FilesPerGroup& operator=(const FilesPerGroup&) = delete;
};
