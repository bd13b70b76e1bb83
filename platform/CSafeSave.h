#pragma once

#include "platform/CFile.h"

#include <functional>
#include <string>
#include <vector>

// Replaces a file in one step. The new contents go to a file in the target's folder that has no
// name while it is written (O_TMPFILE; a hidden temporary name where the file system lacks it),
// are pushed to the disk and renamed over the target, so that a crash or a failed write leaves the
// old file whole and nothing beside it. A symbolic link is followed: the file it names is replaced
// and the link stays. The replaced file keeps its permissions, and its owner where we may give it.
class CSafeSave
{
public:
    explicit CSafeSave(const std::string& path);
    // Removes a temporary file that was not committed.
    ~CSafeSave();
    CSafeSave(const CSafeSave&) = delete;
    CSafeSave& operator=(const CSafeSave&) = delete;

    // The file that will be replaced: the path with its links followed.
    const std::string& GetTarget() const { return m_target; }
    // Runs with the target's path when the new contents are on the disk and the old file is still in
    // place, before the new file gets a name: the moment to set the old one aside (see CBackupStore).
    void BeforeReplacing(std::function<void(const std::string& target)> step)
    {
        m_beforeReplacing = std::move(step);
    }
    // Runs once the new file is in the target's place, and only then; also when the folder could
    // not be synced after it.
    void AfterReplacing(std::function<void(const std::string& target)> step)
    {
        m_afterReplacing = std::move(step);
    }
    // Removes the temporary files that saves of this target killed before their end left behind,
    // then creates the new file; false when the folder does not take it or the target exists as
    // something other than a regular file.
    bool Begin();
    // Where the contents go; a failed write raises CFileException.
    CFile& GetFile() { return m_file; }
    // Pushes the contents to the disk, raising CFileException on failure, then puts them in the
    // target's place and syncs the folder; false when either fails.
    bool Commit();
    // One of many files of one folder saved by a CSafeSaveGroup: Begin leaves the stale temporaries
    // to the caller, and Commit both syncs to the group, which pushes its files' contents to the
    // disk in one call before the first Commit and syncs the folder after the last.
    void PartOfGroup() { m_group = true; }
    // The system's error number of the last Begin or Commit that returned false.
    int GetError() const { return m_error; }

    // Makes the names given in the folder durable; false, with errno, when the system could not.
    static bool SyncFolder(const std::string& folder);
    // Temporary files beside the target that a killed save of it left behind.
    static void RemoveStaleTemporaries(const std::string& target);
    // Those of each target, all in one folder, in one pass over it.
    static void RemoveStaleTemporaries(const std::vector<std::string>& targets);

private:
    bool CreateUnnamed(mode_t mode);
    bool CreateNamed();
    bool GiveName();
    bool Fail();

    std::string m_target;
    std::string m_tempPath;
    std::function<void(const std::string& target)> m_beforeReplacing;
    std::function<void(const std::string& target)> m_afterReplacing;
    int m_error = 0;
    bool m_unnamed = false;
    bool m_group = false;
    CFile m_file;
};
