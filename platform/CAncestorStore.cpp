#include "platform/CAncestorStore.h"

#include "platform/AtomicFile.h"
#include "platform/CBackupStore.h"
#include "platform/PathKey.h"
#include "platform/PathNames.h"
#include "platform/XdgPaths.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The process that kept a version, from its name (KEY-PID-N-NAME); 0 when the name is not ours.
pid_t KeeperOf(const std::string& name)
{
    const auto first = name.find('-');
    const auto second = first == std::string::npos ? first : name.find('-', first + 1);
    if (second == std::string::npos || second == first + 1 || second - first > 10)
        return 0;
    pid_t pid = 0;
    for (std::size_t i = first + 1; i < second; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

} // namespace

std::string CAncestorStore::DefaultFolder()
{
    const std::string state = XdgStateHome();
    return state.empty() ? state : state + "/pelmora/ancestors";
}

CAncestorStore::CAncestorStore(std::string folder) : m_folder(std::move(folder)) {}

CAncestorStore::~CAncestorStore()
{
    Drop();
}

bool CAncestorStore::Keep(const std::string& path)
{
    Drop();
    if (m_folder.empty() || !MakeFolders(m_folder))
        return false;
    RemoveLeftBehind(m_folder);
    const std::string source = CanonicalPath(path);
    // Its own name in every store: two windows on one notebook keep their own, and a new version
    // can be kept before the one it follows is dropped.
    static unsigned s_stores = 0;
    const std::string kept = m_folder + "/" + PathKey(source).substr(0, 16) + "-" +
                             std::to_string(::getpid()) + "-" + std::to_string(++s_stores) + "-" +
                             FileNameOf(source).substr(0, 100);
    ::unlink(kept.c_str());
    if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, kept.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
        !CBackupStore::Copy(source, kept))
        return false;
    m_kept = kept;
    m_identity = CFileIdentity::Of(kept);
    return true;
}

void CAncestorStore::RemoveLeftBehind(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = KeeperOf(entry->d_name);
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

void CAncestorStore::Drop()
{
    if (!m_kept.empty())
        ::unlink(m_kept.c_str());
    m_kept.clear();
    m_identity = CFileIdentity();
}

std::string CAncestorStore::GetPath() const
{
    // Links to it come and go as the notebook is replaced or backed up, moving only its inode's time.
    if (m_kept.empty() || !CFileIdentity::Of(m_kept).SameContentsAs(m_identity))
        return {};
    return m_kept;
}
