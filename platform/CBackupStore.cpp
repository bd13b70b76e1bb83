#include "platform/CBackupStore.h"

#include "platform/AtomicFile.h"
#include "platform/CSafeSave.h"
#include "platform/PathKey.h"
#include "platform/PathNames.h"
#include "platform/XdgPaths.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

// A clone where the file system shares blocks, otherwise the bytes; through a safe save, so that a
// half copy is never taken for a backup.
bool CBackupStore::Copy(const std::string& from, const std::string& to)
{
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return false;
    CSafeSave save(to);
    bool copied = save.Begin();
    if (copied && ::ioctl(save.GetFile().GetDescriptor(), FICLONE, source) != 0) {
        for (;;) {
            const ssize_t n =
                ::copy_file_range(source, nullptr, save.GetFile().GetDescriptor(), nullptr, 1 << 30, 0);
            if (n == 0)
                break;
            if (n < 0 && errno != EINTR) {
                copied = false;
                break;
            }
        }
    }
    ::close(source);
    try {
        return copied && save.Commit();
    } catch (const CFileException&) {
        return false;
    }
}

bool CBackupStore::KeepPrevious(const std::string& target, const std::string& folder)
{
    if (::access(target.c_str(), F_OK) != 0 || !MakeFolders(folder))
        return false;
    for (int generation = kKept; generation > 1; --generation) {
        const std::string older = BackupPath(target, folder, generation - 1);
        if (::rename(older.c_str(), BackupPath(target, folder, generation).c_str()) != 0 && errno != ENOENT)
            return false;
    }
    const std::string newest = BackupPath(target, folder, 1);
    return ::link(target.c_str(), newest.c_str()) == 0 || Copy(target, newest);
}
