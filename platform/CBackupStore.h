#pragma once

#include "platform/CFileIdentity.h"

#include <string>

// The versions that saves replaced, the last two of every notebook, in one private folder:
// NAME-KEY.1.EXT is the file the last save replaced, NAME-KEY.2.EXT the one before. A save sets
// the old file aside as NAME-KEY.0.EXT before it replaces it: a hard link, so keeping it costs no
// copy, or a copy where the folder is on another file system. Only once the new file is in place
// does that become .1, so a save that fails changes no backup. A set-aside file that differs from
// the notebook was left by a save killed after replacing it, and the next save makes it .1.
class CBackupStore
{
public:
    static constexpr int kKept = 2;

    // $XDG_STATE_HOME/pelmora/backups; empty when there is no home folder.
    static std::string DefaultFolder();

    // Sets the file at target aside, before it is replaced. False when it could not be kept; the
    // save goes on all the same.
    static bool SetAside(const std::string& target, const std::string& folder);
    // The new file is in place: what was set aside becomes the newest backup.
    static bool Rotate(const std::string& target, const std::string& folder);
    // The save failed: what was set aside goes, the backups stay as they were.
    static void DropSetAside(const std::string& target, const std::string& folder);
    // Removes every backup of the notebook at target; false when one stays.
    static bool RemoveAll(const std::string& target, const std::string& folder);

    // Where backup number generation (1 = newest, 0 = set aside by a save) of the notebook at path is kept.
    static std::string BackupPath(const std::string& path, const std::string& folder, int generation);

    // The newest backup of the notebook at path that is the version given, by its identity (a
    // backup is a link to it); empty when none is: a copy is never taken for it.
    static std::string FindVersion(const std::string& path, const std::string& folder,
                                   const CFileIdentity& version);

    // A copy of the file made whole or not at all: a clone where the file system shares blocks.
    static bool Copy(const std::string& from, const std::string& to);
};
