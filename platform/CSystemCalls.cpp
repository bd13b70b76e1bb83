#include "platform/CSystemCalls.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<CSystemCalls*> g_installed{nullptr};

} // namespace

int CSystemCalls::Open(const char* path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

int CSystemCalls::MakeTemporary(char* pattern, int flags)
{
    return ::mkostemp(pattern, flags);
}

ssize_t CSystemCalls::Write(int fd, const void* data, std::size_t size)
{
    return ::write(fd, data, size);
}

int CSystemCalls::Fsync(int fd)
{
    return ::fsync(fd);
}

int CSystemCalls::SyncFileSystem(int fd)
{
    return ::syncfs(fd);
}

int CSystemCalls::Close(int fd)
{
    return ::close(fd);
}

int CSystemCalls::Truncate(int fd, off_t length)
{
    return ::ftruncate(fd, length);
}

int CSystemCalls::ChangeMode(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int CSystemCalls::ChangeOwner(int fd, uid_t owner, gid_t group)
{
    return ::fchown(fd, owner, group);
}

int CSystemCalls::ChangePathMode(const char* path, mode_t mode)
{
    return ::chmod(path, mode);
}

int CSystemCalls::Rename(const char* from, const char* to)
{
    return ::rename(from, to);
}

int CSystemCalls::Link(const char* from, const char* to)
{
    return ::linkat(AT_FDCWD, from, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

int CSystemCalls::Unlink(const char* path)
{
    return ::unlink(path);
}

int CSystemCalls::MakeFolder(const char* path, mode_t mode)
{
    return ::mkdir(path, mode);
}

int CSystemCalls::Clone(int to, int from)
{
    return ::ioctl(to, FICLONE, from);
}

ssize_t CSystemCalls::CopyRange(int from, int to, std::size_t size)
{
    return ::copy_file_range(from, nullptr, to, nullptr, size, 0);
}

CSystemCalls& CSystemCalls::Get()
{
    static CSystemCalls system;
    CSystemCalls* installed = g_installed.load(std::memory_order_acquire);
    return installed ? *installed : system;
}

CSystemCalls* CSystemCalls::Install(CSystemCalls* calls)
{
    return g_installed.exchange(calls, std::memory_order_acq_rel);
}
