#pragma once

#include <string>
#include <vector>

// The copies of a notebook that sync tools leave beside it when it changed on two machines at once:
// Syncthing's NAME.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.EXT, Nextcloud's
// NAME (conflicted copy YYYY-MM-DD HHMMSS).EXT and Dropbox's NAME (... conflicted copy ...).EXT.
class CConflictCopies
{
public:
    // Whether the file name is a conflict copy of the notebook named notebookName.
    static bool IsCopyOf(const std::string& fileName, const std::string& notebookName);
    // The conflict copies of the notebook at path in its folder, oldest first.
    static std::vector<std::string> Find(const std::string& path);
    // The newest of the notebook's backups in folder that is no newer than the notebook and the
    // copy: the version both most likely grew from. Empty when there is none.
    static std::string CommonBackup(const std::string& path, const std::string& copy,
                                    const std::string& folder);
    // Moves the copy into folder, where it no longer stands beside the notebook; false when it stays.
    static bool PutAway(const std::string& copy, const std::string& folder);
};
