#pragma once

#include "platform/CSystemCalls.h"

#include <cerrno>
#include <functional>
#include <string>
#include <unistd.h>

// Puts itself between the save code and the system for as long as it lives: each call goes on to
// the system unless its rule says to fail it with an error number, and a hook sees each call first.
class FaultyCalls : public CSystemCalls
{
public:
    // The call's name ("Rename", "Link", ...) and its first path (the file's, for Write, Fsync and
    // SyncFileSystem), if any; an error number to fail it with, or 0 to let it through.
    using Rule = std::function<int(const std::string& call, const std::string& path)>;

    explicit FaultyCalls(Rule rule) : m_rule(std::move(rule)) { m_previous = Install(this); }
    ~FaultyCalls() override { Install(m_previous); }
    FaultyCalls(const FaultyCalls&) = delete;
    FaultyCalls& operator=(const FaultyCalls&) = delete;

    int Open(const char* path, int flags, mode_t mode) override
    {
        return Check("Open", path) ? CSystemCalls::Open(path, flags, mode) : -1;
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override
    {
        return Check("Write", PathOf(fd)) ? CSystemCalls::Write(fd, data, size) : -1;
    }
    int Fsync(int fd) override { return Check("Fsync", PathOf(fd)) ? CSystemCalls::Fsync(fd) : -1; }
    int SyncFileSystem(int fd) override
    {
        return Check("SyncFileSystem", PathOf(fd)) ? CSystemCalls::SyncFileSystem(fd) : -1;
    }
    int Rename(const char* from, const char* to) override
    {
        return Check("Rename", from) ? CSystemCalls::Rename(from, to) : -1;
    }
    int Link(const char* from, const char* to) override
    {
        return Check("Link", to) ? CSystemCalls::Link(from, to) : -1;
    }
    int Clone(int to, int from) override { return Check("Clone", {}) ? CSystemCalls::Clone(to, from) : -1; }
    ssize_t CopyRange(int from, int to, std::size_t size) override
    {
        return Check("CopyRange", {}) ? CSystemCalls::CopyRange(from, to, size) : -1;
    }

private:
    // The file's path as the system names it ("/dir/ (deleted)" or "/dir/#123 (deleted)" while unnamed).
    static std::string PathOf(int fd)
    {
        char path[4096];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
        return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
    }
    bool Check(const std::string& call, const std::string& path)
    {
        if (const int error = m_rule(call, path)) {
            errno = error;
            return false;
        }
        return true;
    }

    Rule m_rule;
    CSystemCalls* m_previous = nullptr;
};
