#pragma once

#include "platform/CFileException.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A file on a POSIX descriptor with the open modes and sharing rules the notebook code relies on.
// Sharing is kept among Pelmora processes with advisory locks (flock).
class CFile
{
public:
    enum OpenFlags : unsigned
    {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Returns false and fills error (when given) on failure; never raises.
    bool Open(const std::string& path, unsigned flags, CFileException* error = nullptr);
    // Takes over an open descriptor; name is what errors report.
    void Attach(int fd, const std::string& name);
    // A new file that lives in memory only (memfd), for bytes that must never reach the disk
    // unsealed or that the window's thread must write without waiting for the disk.
    bool OpenInMemory(const std::string& name);
    // A new file with no name in the temporary folder ($TMPDIR, or /tmp), for bytes too many to
    // keep in memory: gone with the process however it ends. False, with errno, when none can be
    // made there.
    bool OpenNameless(const std::string& name);
    // A name under which this process can open the file again (/proc/self/fd).
    std::string GetDescriptorPath() const { return "/proc/self/fd/" + std::to_string(m_fd); }

    // Reads up to count bytes; fewer at the end of the file. Raises on an error of the system.
    std::size_t Read(void* buffer, std::size_t count);
    // Writes all count bytes or raises, a full disk included.
    void Write(const void* buffer, std::size_t count);
    // Pushes the data to the disk (fsync); raises on failure.
    void Flush();
    // For a file written once from its start: every few megabytes written are sent on to the disk
    // at once, so that Flush has little left to wait for.
    void WriteBehind() { m_writeBehind = true; }
    // Closes the file; raises when the system reports a failed close (a late write error).
    void Close();
    // Closes without raising, for clean-up paths.
    void Abort();

    std::uint64_t GetLength() const;
    // Raises on failure.
    void SeekToBegin();
    std::uint64_t GetPosition() const;
    bool IsOpen() const { return m_fd >= 0; }
    int GetDescriptor() const { return m_fd; }

private:
    [[noreturn]] void Raise(int error) const;

    int m_fd = -1;
    std::string m_path;
    bool m_writeBehind = false;
    std::uint64_t m_written = 0;
    std::uint64_t m_sentOn = 0;
};
