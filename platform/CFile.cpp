#include "platform/CFile.h"

#include "platform/CSystemCalls.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int LockOperation(unsigned flags)
{
    switch (flags & 0x70u) {
    case CFile::shareDenyNone:
        return 0;
    case CFile::shareDenyWrite:
        return LOCK_SH;
    default: // compat, exclusive and deny-read all keep everybody else out
        return LOCK_EX;
    }
}

} // namespace

CFile::~CFile()
{
    Abort();
}

bool CFile::Open(const std::string& path, unsigned flags, CFileException* error)
{
    Abort();
    int oflags = O_CLOEXEC;
    if (flags & modeReadWrite)
        oflags |= O_RDWR;
    else if (flags & modeWrite)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (flags & modeCreate) {
        oflags |= O_CREAT;
        if (!(flags & modeNoTruncate))
            oflags |= O_TRUNC;
    }

    auto fail = [&](int err) {
        if (error)
            *error = CFileException(CFileException::CauseFromErrno(err), err, path);
        return false;
    };

    // Take the lock before truncating, so that a file another process holds stays whole. The open
    // does not wait, and the type is checked on what was opened before anything is read: a FIFO
    // without a writer, or one whose writer never writes, would hold us for ever.
    CSystemCalls& system = CSystemCalls::Get();
    int fd = system.Open(path.c_str(), (oflags & ~O_TRUNC) | O_NONBLOCK, 0666);
    if (fd < 0)
        return fail(errno);
    struct stat st
    {
    };
    // Only what is read must be a regular file: writing to a device such as /dev/full is fine.
    const bool reads = (oflags & O_ACCMODE) != O_WRONLY;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (reads && !S_ISREG(st.st_mode))) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        system.Close(fd);
        return fail(err);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int lock = LockOperation(flags);
    if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
        const int err = errno;
        system.Close(fd);
        return fail(err);
    }
    if ((oflags & O_TRUNC) && system.Truncate(fd, 0) != 0) {
        const int err = errno;
        system.Close(fd);
        return fail(err);
    }
    Attach(fd, path);
    return true;
}

void CFile::Attach(int fd, const std::string& name)
{
    Abort();
    m_fd = fd;
    m_path = name;
    m_writeBehind = false;
    m_written = m_sentOn = 0;
}

bool CFile::OpenInMemory(const std::string& name)
{
    const int fd = ::memfd_create(name.c_str(), MFD_CLOEXEC);
    if (fd < 0)
        return false;
    Attach(fd, name);
    return true;
}

bool CFile::OpenNameless(const std::string& name)
{
    const char* variable = std::getenv("TMPDIR");
    const std::string folder = variable && *variable ? variable : "/tmp";
    CSystemCalls& system = CSystemCalls::Get();
    int fd = system.Open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // A file system without unnamed files: a name given up at once.
    if (fd < 0) {
        std::string pattern = folder + "/pelmora-" + name + "-XXXXXX";
        fd = system.MakeTemporary(pattern.data(), O_CLOEXEC);
        if (fd >= 0)
            system.Unlink(pattern.c_str());
    }
    if (fd < 0)
        return false;
    Attach(fd, name);
    return true;
}

std::size_t CFile::Read(void* buffer, std::size_t count)
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Raise(errno);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, std::size_t count)
{
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = CSystemCalls::Get().Write(m_fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Raise(errno);
        }
        if (n == 0)
            Raise(ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    m_written += count;
    constexpr std::uint64_t kSendOnEvery = 16u << 20;
    if (m_writeBehind && m_written - m_sentOn >= kSendOnEvery) {
        // Only a start: the pages go out while the rest is written. Errors show at the fsync.
        ::sync_file_range(m_fd, static_cast<off_t>(m_sentOn), static_cast<off_t>(m_written - m_sentOn),
                          SYNC_FILE_RANGE_WRITE);
        m_sentOn = m_written;
    }
}

void CFile::Flush()
{
    if (CSystemCalls::Get().Fsync(m_fd) != 0)
        Raise(errno);
}

void CFile::Close()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    if (CSystemCalls::Get().Close(fd) != 0 && errno != EINTR)
        Raise(errno);
}

void CFile::Abort()
{
    if (m_fd >= 0)
        CSystemCalls::Get().Close(m_fd);
    m_fd = -1;
}

std::uint64_t CFile::GetLength() const
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0)
        Raise(errno);
    return static_cast<std::uint64_t>(st.st_size);
}

void CFile::SeekToBegin()
{
    if (::lseek(m_fd, 0, SEEK_SET) != 0)
        Raise(errno);
}

std::uint64_t CFile::GetPosition() const
{
    const off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0)
        Raise(errno);
    return static_cast<std::uint64_t>(pos);
}

void CFile::Raise(int error) const
{
    throw CFileException(CFileException::CauseFromErrno(error), error, m_path);
}
