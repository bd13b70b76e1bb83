#pragma once

#include "platform/CFile.h"

#include <string>

// Replaces a file in one step. The new contents go to a temporary file in the target's folder,
// are pushed to the disk and renamed over the target, so that a crash or a failed write leaves
// the old file whole. A symbolic link is followed: the file it names is replaced and the link
// stays. The replaced file keeps its permissions, and its owner where we may give it.
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
    // Creates the temporary file; false when the folder does not take it or the target exists as
    // something other than a regular file.
    bool Begin();
    // Where the contents go; a failed write raises CFileException.
    CFile& GetFile() { return m_file; }
    // Pushes the contents to the disk, raising CFileException on failure, then renames them over
    // the target; false when the rename fails.
    bool Commit();

private:
    std::string m_target;
    std::string m_tempPath;
    CFile m_file;
};
