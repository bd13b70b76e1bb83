#pragma once

#include "platform/CSafeSave.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Replaces many files of one folder as safely as CSafeSave does one, without a wait for the disk
// per file: the files of a group are written with no name, pushed to the disk together by one sync
// of their file system, and only then put in their targets' places; the folder is synced at the
// end. A crash or a failure leaves each target its old file or its new one, whole.
class CSafeSaveGroup
{
public:
    explicit CSafeSaveGroup(std::string folder);
    // The files not committed are dropped: they never get a name.
    ~CSafeSaveGroup();
    CSafeSaveGroup(const CSafeSaveGroup&) = delete;
    CSafeSaveGroup& operator=(const CSafeSaveGroup&) = delete;

    // A save of a file of the folder, marked PartOfGroup, for the caller to Begin and write.
    static std::unique_ptr<CSafeSave> NewSave(const std::string& target);
    // Takes a save whose contents, of so many bytes, are all written; commits the group once it
    // holds as many files or bytes as one sync should wait for. False, with the reason, when that
    // commit fails.
    bool Add(std::unique_ptr<CSafeSave> save, std::size_t bytes);
    // Pushes the files taken to the disk and puts each in its target's place. At the first failure
    // the files after it are dropped and it returns false, with the reason.
    bool Commit();
    // Commits, then makes the names given durable by syncing the folder.
    bool Finish();

    // The system's error number of the last failure, and the file or folder it was about.
    int GetError() const { return m_error; }
    const std::string& GetFailedPath() const { return m_failedPath; }

    // For tests: groups of this many files at most; 0 for the usual bounds.
    static void SetFilesPerGroup(std::size_t files);

private:
    bool Fail(const std::string& path, int error);
    bool SyncContents();
    bool PutInPlace(CSafeSave& save);

    std::string m_folder;
    std::vector<std::unique_ptr<CSafeSave>> m_saves;
    std::size_t m_bytes = 0;
    std::size_t m_maxFiles;
    int m_error = 0;
    std::string m_failedPath;
};
