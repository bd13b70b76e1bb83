#include "platform/AtomicFile.h"

#include "platform/CSafeSave.h"
#include "platform/CSystemCalls.h"
#include "platform/PathNames.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ReadWholeFile(const std::string& path, std::string& contents)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    contents.clear();
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ::close(fd);
            return got == 0;
        }
        contents.append(block, static_cast<std::size_t>(got));
    }
}

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes the missing folders on the way with the mode, each one durable in the folder above it.
bool MakeMissingFolders(const std::string& path, mode_t mode)
{
    if (path.empty() || IsFolder(path))
        return !path.empty();
    const std::string parent = FolderOf(path);
    if (parent != path && !MakeMissingFolders(parent, mode))
        return false;
    if (CSystemCalls::Get().MakeFolder(path.c_str(), mode) != 0)
        return errno == EEXIST && IsFolder(path);
    return CSafeSave::SyncFolder(parent);
}

} // namespace

bool MakeFolders(const std::string& path)
{
    return MakeMissingFolders(path, 0777) && IsFolder(path);
}

bool MakePrivateFolder(const std::string& path)
{
    if (!MakeMissingFolders(path, 0700) || !IsFolder(path))
        return false;
    CSystemCalls& system = CSystemCalls::Get();
    const std::string parent = FolderOf(path);
    if (FileNameOf(parent) == "pelmora")
        system.ChangePathMode(parent.c_str(), 0700);
    return system.ChangePathMode(path.c_str(), 0700) == 0;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents)
{
    CSafeSave save(path);
    if (!save.Begin())
        return false;
    try {
        save.GetFile().Write(contents.data(), contents.size());
        return save.Commit();
    } catch (const CFileException&) {
        return false;
    }
}
