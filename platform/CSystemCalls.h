#pragma once

#include <cstddef>
#include <sys/types.h>

// The POSIX calls by which saves, backups and recovery copies change the disk, in one place. They
// go to the system; a test puts an object of its own in between to record them (and replay the
// states a crash could leave) or to make one of them fail.
class CSystemCalls
{
public:
    virtual ~CSystemCalls() = default;

    virtual int Open(const char* path, int flags, mode_t mode);
    // mkostemp: a new file of a unique name made from pattern, which it changes.
    virtual int MakeTemporary(char* pattern, int flags);
    virtual ssize_t Write(int fd, const void* data, std::size_t size);
    virtual int Fsync(int fd);
    // syncfs: everything written to fd's file system reaches the disk, in one wait.
    virtual int SyncFileSystem(int fd);
    virtual int Close(int fd);
    virtual int Truncate(int fd, off_t length);
    virtual int ChangeMode(int fd, mode_t mode);
    virtual int ChangeOwner(int fd, uid_t owner, gid_t group);
    virtual int ChangePathMode(const char* path, mode_t mode);
    virtual int Rename(const char* from, const char* to);
    // A second name for a file; from may be /proc/self/fd/N, which is followed.
    virtual int Link(const char* from, const char* to);
    virtual int Unlink(const char* path);
    virtual int MakeFolder(const char* path, mode_t mode);
    // FICLONE: to shares from's blocks.
    virtual int Clone(int to, int from);
    virtual ssize_t CopyRange(int from, int to, std::size_t size);

    // The calls in use: the system's unless a test put its own in place.
    static CSystemCalls& Get();
    // Puts calls in place (null: the system's again) and returns the previous ones.
    static CSystemCalls* Install(CSystemCalls* calls);
};
