#include "platform/CBackupStore.h"

#include "platform/AtomicFile.h"
#include "platform/CSafeSave.h"
#include "platform/CSystemCalls.h"
#include "platform/PathKey.h"
#include "platform/PathNames.h"
#include "platform/XdgPaths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The bytes one by one, for file systems that neither clone nor copy ranges (or not across
// devices, EXDEV).
bool CopyBytes(int from, int to)
{
    CSystemCalls& system = CSystemCalls::Get();
    if (::lseek(from, 0, SEEK_SET) != 0 || ::lseek(to, 0, SEEK_SET) != 0 || system.Truncate(to, 0) != 0)
        return false;
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t n = system.Write(to, block + done, static_cast<std::size_t>(got - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
    }
}

// Whether two files hold the same bytes: one file under two names, or a copy of it.
bool SameBytes(const std::string& a, const std::string& b)
{
    const int first = ::open(a.c_str(), O_RDONLY | O_CLOEXEC);
    const int second = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat one
    {
    }, two{};
    bool same = first >= 0 && second >= 0 && ::fstat(first, &one) == 0 && ::fstat(second, &two) == 0 &&
                one.st_size == two.st_size;
    if (same && (one.st_dev != two.st_dev || one.st_ino != two.st_ino)) {
        char blockA[1 << 15], blockB[1 << 15];
        for (ssize_t got = 1; same && got > 0;) {
            got = ::read(first, blockA, sizeof blockA);
            same = got >= 0 && ::read(second, blockB, sizeof blockB) == got &&
                   std::memcmp(blockA, blockB, static_cast<std::size_t>(got > 0 ? got : 0)) == 0;
        }
    }
    for (const int fd : {first, second})
        if (fd >= 0)
            ::close(fd);
    return same;
}

bool CopyRanges(int from, int to)
{
    for (;;) {
        const ssize_t n = CSystemCalls::Get().CopyRange(from, to, 1 << 30);
        if (n == 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

std::string CBackupStore::DefaultFolder()
{
    const std::string state = XdgStateHome();
    return state.empty() ? state : state + "/pelmora/backups";
}

std::string CBackupStore::BackupPath(const std::string& path, const std::string& folder, int generation)
{
    const std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    const std::string stem = name.substr(0, dot == std::string::npos || dot == 0 ? name.size() : dot);
    const std::string extension = stem.size() == name.size() ? std::string() : name.substr(dot);
    return folder + "/" + stem.substr(0, 100) + "-" + PathKey(path).substr(0, 16) + "." +
           std::to_string(generation) + extension;
}

std::string CBackupStore::FindVersion(const std::string& path, const std::string& folder,
                                      const CFileIdentity& version)
{
    for (int generation = 1; generation <= kKept; ++generation) {
        const std::string backup = BackupPath(path, folder, generation);
        if (CFileIdentity::Of(backup).HasSameContents(version))
            return backup;
    }
    return {};
}

// A clone where the file system shares blocks, otherwise the bytes; with the notebook's own
// permissions, and through a safe save, so that a half copy is never taken for a backup.
bool CBackupStore::Copy(const std::string& from, const std::string& to)
{
    CSystemCalls& system = CSystemCalls::Get();
    const int source = system.Open(from.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (source < 0)
        return false;
    struct stat st
    {
    };
    CSafeSave save(to);
    bool copied = ::fstat(source, &st) == 0 && save.Begin();
    if (copied) {
        const int target = save.GetFile().GetDescriptor();
        copied =
            system.ChangeMode(target, st.st_mode & 07777) == 0 &&
            (system.Clone(target, source) == 0 || CopyRanges(source, target) || CopyBytes(source, target));
    }
    system.Close(source);
    try {
        return copied && save.Commit();
    } catch (const CFileException&) {
        return false;
    }
}

bool CBackupStore::SetAside(const std::string& target, const std::string& folder)
{
    if (::access(target.c_str(), F_OK) != 0 || !MakePrivateFolder(folder))
        return false;
    const std::string aside = BackupPath(target, folder, 0);
    // What a save killed before its end left here.
    CSafeSave::RemoveStaleTemporaries(aside);
    // A save killed once its new file was in place left the file it replaced: the newest backup.
    if (::access(aside.c_str(), F_OK) == 0 && !SameBytes(aside, target) && !Rotate(target, folder))
        return false;
    CSystemCalls& system = CSystemCalls::Get();
    if (system.Unlink(aside.c_str()) != 0 && errno != ENOENT)
        return false;
    // On the disk before the target is replaced, or a crash could keep the new file and lose the old.
    return (system.Link(target.c_str(), aside.c_str()) == 0 || Copy(target, aside)) &&
           CSafeSave::SyncFolder(folder);
}

// Each move is made durable before the next, so that no crash finds a generation moved over
// another that had not moved on yet.
bool CBackupStore::Rotate(const std::string& target, const std::string& folder)
{
    CSystemCalls& system = CSystemCalls::Get();
    for (int generation = kKept; generation > 0; --generation) {
        const std::string older = BackupPath(target, folder, generation - 1);
        if (system.Rename(older.c_str(), BackupPath(target, folder, generation).c_str()) != 0) {
            if (errno != ENOENT)
                return false;
        } else if (!CSafeSave::SyncFolder(folder)) {
            return false;
        }
    }
    return true;
}

void CBackupStore::DropSetAside(const std::string& target, const std::string& folder)
{
    CSystemCalls::Get().Unlink(BackupPath(target, folder, 0).c_str());
}

bool CBackupStore::RemoveAll(const std::string& target, const std::string& folder)
{
    bool removed = true;
    for (int generation = 0; generation <= kKept; ++generation)
        if (CSystemCalls::Get().Unlink(BackupPath(target, folder, generation).c_str()) != 0 &&
            errno != ENOENT)
            removed = false;
    return removed;
}
