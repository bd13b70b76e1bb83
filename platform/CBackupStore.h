#pragma once

#include <string>

// The versions that saves replaced, the last two of every notebook, in one folder: NAME-KEY.1.EXT
// is the file the last save replaced, NAME-KEY.2.EXT the one before. Each is a hard link to the
// old file, made before the new one is renamed over it, so keeping it costs no copy; on another
// file system it is copied.
class CBackupStore
{
public:
    static constexpr int kKept = 2;

    // $XDG_STATE_HOME/pelmora/backups; empty when there is no home folder.
    static std::string DefaultFolder();

    // Keeps the file at target, about to be replaced, as the newest backup. A failure only loses
    // the backup, never the save.
    static bool KeepPrevious(const std::string& target, const std::string& folder);

    // Where backup number generation (1 = newest) of the notebook at path is kept.
    static std::string BackupPath(const std::string& path, const std::string& folder, int generation);

    // A copy of the file made whole or not at all: a clone where the file system shares blocks.
    static bool Copy(const std::string& from, const std::string& to);
};
