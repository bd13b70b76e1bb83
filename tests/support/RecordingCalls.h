#pragma once

#include "platform/CSystemCalls.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Records what the calls of a save do to the files below one folder, as the operations a file
// system persists: a write of bytes to a file, a name given, moved or taken, a folder made, and the
// fsyncs that order them. Files are told apart by numbers of its own (the system reuses inodes), and
// the folder's files before the recording are its starting state. Thread-safe: recovery copies are
// put in place by a worker.
class RecordingCalls : public CSystemCalls
{
public:
    enum class Kind
    {
        Write,
        Truncate,
        Fsync,
        FsyncFolder,
        SyncFileSystem, // every file's bytes, not the names
        Name,           // a new name for a file: created, linked
        Rename,
        Unlink,
        MakeFolder
    };
    struct Op
    {
        Kind kind;
        int file = -1;
        std::string name; // relative to the folder
        std::string other;
        std::uint64_t offset = 0;
        std::string data;
    };
    struct Snapshot
    {
        std::set<std::string> folders;
        std::map<std::string, int> names;
        std::map<int, std::string> contents;
    };

    // Without unnamed files (O_TMPFILE) the recording stands for a file system that lacks them.
    explicit RecordingCalls(std::string root, bool unnamedFiles = true)
        : m_root(std::move(root)), m_unnamedFiles(unnamedFiles)
    {
        Scan();
        m_previous = Install(this);
    }
    ~RecordingCalls() override { Install(m_previous); }
    RecordingCalls(const RecordingCalls&) = delete;
    RecordingCalls& operator=(const RecordingCalls&) = delete;

    const Snapshot& GetStart() const { return m_start; }
    const std::vector<Op>& GetOps() const { return m_ops; }

    int Open(const char* path, int flags, mode_t mode) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (!m_unnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        const std::string name = Relative(path);
        const bool existed = !name.empty() && m_names.count(name);
        const int fd = CSystemCalls::Open(path, flags, mode);
        if (fd < 0 || (name.empty() && !IsRoot(path)))
            return fd;
        if ((flags & O_TMPFILE) == O_TMPFILE) {
            m_fds[fd] = m_next++;
        } else if (flags & O_DIRECTORY) {
            m_folderFds[fd] = name;
        } else if (existed) {
            m_fds[fd] = m_names[name];
        } else if (flags & O_CREAT) {
            m_fds[fd] = m_names[name] = m_next++;
            m_ops.push_back(MakeOp(Kind::Name, m_fds[fd], name));
        }
        return fd;
    }
    int MakeTemporary(char* pattern, int flags) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int fd = CSystemCalls::MakeTemporary(pattern, flags);
        const std::string name = Relative(pattern);
        if (fd >= 0 && !name.empty()) {
            m_fds[fd] = m_names[name] = m_next++;
            m_ops.push_back(MakeOp(Kind::Name, m_fds[fd], name));
        }
        return fd;
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        const ssize_t n = CSystemCalls::Write(fd, data, size);
        if (n > 0 && m_fds.count(fd))
            m_ops.push_back(MakeOp(Kind::Write, m_fds[fd], {}, {}, static_cast<std::uint64_t>(at),
                                   std::string(static_cast<const char*>(data), static_cast<std::size_t>(n))));
        return n;
    }
    int Fsync(int fd) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::Fsync(fd);
        if (result == 0 && m_fds.count(fd))
            m_ops.push_back(MakeOp(Kind::Fsync, m_fds[fd]));
        if (result == 0 && m_folderFds.count(fd))
            m_ops.push_back(MakeOp(Kind::FsyncFolder, -1, m_folderFds[fd]));
        return result;
    }
    int SyncFileSystem(int fd) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::SyncFileSystem(fd);
        if (result == 0)
            m_ops.push_back(MakeOp(Kind::SyncFileSystem, -1));
        return result;
    }
    int Close(int fd) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_fds.erase(fd);
        m_folderFds.erase(fd);
        return CSystemCalls::Close(fd);
    }
    int Truncate(int fd, off_t length) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::Truncate(fd, length);
        if (result == 0 && m_fds.count(fd))
            m_ops.push_back(MakeOp(Kind::Truncate, m_fds[fd], {}, {}, static_cast<std::uint64_t>(length)));
        return result;
    }
    int Rename(const char* from, const char* to) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::Rename(from, to);
        const std::string a = Relative(from), b = Relative(to);
        if (result == 0 && !a.empty() && m_names.count(a)) {
            m_names[b] = m_names[a];
            m_names.erase(a);
            m_ops.push_back(MakeOp(Kind::Rename, m_names[b], a, b));
        }
        return result;
    }
    int Link(const char* from, const char* to) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::Link(from, to);
        const std::string source = from, name = Relative(to);
        int file = -1;
        const std::string self = "/proc/self/fd/";
        if (source.compare(0, self.size(), self) == 0 && m_fds.count(std::stoi(source.substr(self.size()))))
            file = m_fds[std::stoi(source.substr(self.size()))];
        else if (m_names.count(Relative(from)))
            file = m_names[Relative(from)];
        if (result == 0 && file >= 0 && !name.empty()) {
            m_names[name] = file;
            m_ops.push_back(MakeOp(Kind::Name, file, name));
        }
        return result;
    }
    int Unlink(const char* path) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::Unlink(path);
        const std::string name = Relative(path);
        if (result == 0 && m_names.count(name)) {
            m_ops.push_back(MakeOp(Kind::Unlink, m_names[name], name));
            m_names.erase(name);
        }
        return result;
    }
    int MakeFolder(const char* path, mode_t mode) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::MakeFolder(path, mode);
        if (result == 0 && !Relative(path).empty())
            m_ops.push_back(MakeOp(Kind::MakeFolder, -1, Relative(path)));
        return result;
    }
    int Clone(int to, int from) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const int result = CSystemCalls::Clone(to, from);
        if (result == 0 && m_fds.count(to)) {
            m_ops.push_back(MakeOp(Kind::Truncate, m_fds[to], {}, {}, 0));
            m_ops.push_back(MakeOp(Kind::Write, m_fds[to], {}, {}, 0, ReadAll(from, 0, SIZE_MAX)));
        }
        return result;
    }
    ssize_t CopyRange(int from, int to, std::size_t size) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const off_t source = ::lseek(from, 0, SEEK_CUR), at = ::lseek(to, 0, SEEK_CUR);
        const ssize_t n = CSystemCalls::CopyRange(from, to, size);
        if (n > 0 && m_fds.count(to))
            m_ops.push_back(MakeOp(Kind::Write, m_fds[to], {}, {}, static_cast<std::uint64_t>(at),
                                   ReadAll(from, source, static_cast<std::size_t>(n))));
        return n;
    }

private:
    static Op MakeOp(Kind kind, int file, std::string name = {}, std::string other = {},
                     std::uint64_t offset = 0, std::string data = {})
    {
        Op op;
        op.kind = kind;
        op.file = file;
        op.name = std::move(name);
        op.other = std::move(other);
        op.offset = offset;
        op.data = std::move(data);
        return op;
    }
    bool IsRoot(const char* path) const { return m_root == path; }
    std::string Relative(const std::string& path) const
    {
        if (path.size() <= m_root.size() + 1 || path.compare(0, m_root.size() + 1, m_root + "/") != 0)
            return {};
        return path.substr(m_root.size() + 1);
    }
    static std::string ReadAll(int fd, off_t from, std::size_t size)
    {
        std::string bytes;
        char block[65536];
        while (bytes.size() < size) {
            const ssize_t n = ::pread(fd, block, std::min(sizeof block, size - bytes.size()),
                                      from + static_cast<off_t>(bytes.size()));
            if (n <= 0)
                break;
            bytes.append(block, static_cast<std::size_t>(n));
        }
        return bytes;
    }
    void Scan()
    {
        std::map<std::pair<dev_t, ino_t>, int> inodes;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root)) {
            const std::string name = Relative(entry.path().string());
            if (entry.is_directory()) {
                m_start.folders.insert(name);
                continue;
            }
            struct stat st
            {
            };
            ::stat(entry.path().c_str(), &st);
            auto [at, fresh] = inodes.emplace(std::make_pair(st.st_dev, st.st_ino), m_next);
            if (fresh) {
                const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
                m_start.contents[m_next++] = ReadAll(fd, 0, SIZE_MAX);
                ::close(fd);
            }
            m_start.names[name] = at->second;
        }
        m_names = m_start.names;
    }

    std::string m_root;
    bool m_unnamedFiles;
    std::mutex m_mutex;
    Snapshot m_start;
    std::vector<Op> m_ops;
    std::map<std::string, int> m_names;
    std::map<int, int> m_fds;
    std::map<int, std::string> m_folderFds;
    int m_next = 0;
    CSystemCalls* m_previous = nullptr;
};
