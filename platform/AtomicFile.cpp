#include "platform/AtomicFile.h"

#include "platform/CSafeSave.h"
#include "platform/CSystemCalls.h"
#include "platform/PathNames.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
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

bool MakeFolders(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path, error);
}

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFoldersPrivately(const std::string& path)
{
    if (path.empty() || IsFolder(path))
        return !path.empty();
    const std::string parent = FolderOf(path);
    if (parent != path && !MakeFoldersPrivately(parent))
        return false;
    return CSystemCalls::Get().MakeFolder(path.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

bool MakePrivateFolder(const std::string& path)
{
    if (!MakeFoldersPrivately(path) || !IsFolder(path))
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
