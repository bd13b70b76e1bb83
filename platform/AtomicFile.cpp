#include "platform/AtomicFile.h"

#include "platform/CSafeSave.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
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
