#include "platform/CSafeSave.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links hop by hop to the file they name, which need not exist yet. A loop is
// left to the open that follows, which then fails.
std::string ResolveLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
            return path;
        link.resize(static_cast<std::size_t>(n));
        const auto slash = path.rfind('/');
        path = (link[0] == '/' || slash == std::string::npos) ? link : path.substr(0, slash + 1) + link;
    }
    return path;
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Makes the rename itself durable; a folder that cannot be synced still holds the new file.
void SyncDirectory(const std::string& directory)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

CSafeSave::CSafeSave(const std::string& path) : m_target(ResolveLinks(path)) {}

CSafeSave::~CSafeSave()
{
    m_file.Abort();
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
}

bool CSafeSave::Begin()
{
    struct stat existing
    {
    };
    const bool exists = ::stat(m_target.c_str(), &existing) == 0;
    // Only a regular file is replaced: never a device, a pipe or a folder.
    if (exists ? !S_ISREG(existing.st_mode) : errno != ENOENT)
        return false;
    // Same folder, so that the rename stays on one file system; a name short enough for any.
    std::string pattern = DirectoryOf(m_target) + "/." + FileNameOf(m_target).substr(0, 200) + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    m_tempPath = pattern;
    if (!m_file.Open(m_tempPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive))
        return false;
    m_file.WriteBehind();
    const int descriptor = m_file.GetDescriptor();
    if (!exists)
        return ::fchmod(descriptor, NewFileMode()) == 0;
    // The owner is kept where we may change it (root saving another user's file).
    if (::fchown(descriptor, existing.st_uid, existing.st_gid) != 0) {
        // Not ours to give away: the file stays our own, as a newly created one would.
    }
    return ::fchmod(descriptor, existing.st_mode & 07777) == 0;
}

bool CSafeSave::Commit()
{
    m_file.Flush();
    m_file.Close();
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0)
        return false;
    m_tempPath.clear();
    SyncDirectory(DirectoryOf(m_target));
    return true;
}
