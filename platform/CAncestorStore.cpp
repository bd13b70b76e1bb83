#include "platform/CAncestorStore.h"

#include "platform/AtomicFile.h"
#include "platform/CRecoverySlot.h"
#include "platform/CSafeSave.h"
#include "platform/CSystemCalls.h"
#include "platform/PathKey.h"
#include "platform/PathNames.h"
#include "platform/XdgPaths.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>
#include <vector>

// The folder holds kept versions, named KEY-PID-N-NAME (a link of one store) or KEY-shared-HASH-NAME
// (a copy the stores share), and one lock file of each live store, lock-PID-N.lock, which names what
// it keeps.
namespace {

const char kLockPrefix[] = "lock-";
constexpr std::size_t kKeyLength = 16;

bool IsLockName(const char* name)
{
    return std::strncmp(name, kLockPrefix, sizeof kLockPrefix - 1) == 0;
}

bool IsKeptName(const std::string& name)
{
    if (name.size() <= kKeyLength + 1 || name[kKeyLength] != '-')
        return false;
    for (std::size_t i = 0; i < kKeyLength; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

// The folder locked against other stores for one change of it.
class FolderLock
{
public:
    explicit FolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX);
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

bool WriteAll(int fd, const unsigned char* bytes, std::size_t count)
{
    for (std::size_t done = 0; done < count;) {
        const ssize_t n = CSystemCalls::Get().Write(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// What a live store keeps, read from its lock; empty when the store is gone, whose lock then goes.
std::string HeldBy(const std::string& lockPath)
{
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    std::string kept;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        CSystemCalls::Get().Unlink(lockPath.c_str());
    } else {
        char name[512];
        const ssize_t got = ::pread(fd, name, sizeof name, 0);
        if (got > 0)
            kept.assign(name, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return kept;
}

bool SameFileSystem(const std::string& a, const std::string& b)
{
    struct stat sa
    {
    };
    struct stat sb
    {
    };
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

} // namespace

std::string CAncestorStore::DefaultFolder()
{
    const std::string state = XdgStateHome();
    return state.empty() ? state : state + "/pelmora/ancestors";
}

std::string CAncestorStore::KeyOf(const std::string& path)
{
    return PathKey(CanonicalPath(path)).substr(0, kKeyLength);
}

CAncestorStore::CAncestorStore(std::string folder, std::string recoveryFolder)
    : m_folder(std::move(folder)), m_recoveryFolder(std::move(recoveryFolder))
{
}

std::set<std::string> CAncestorStore::KeysWithCopiesLeft(const std::string& recoveryFolder)
{
    std::set<std::string> keys;
    if (!recoveryFolder.empty())
        for (const CRecoverySlot::LeftBehind& left : CRecoverySlot::FindLeftBehind(recoveryFolder))
            if (!left.notebookPath.empty())
                keys.insert(KeyOf(left.notebookPath));
    return keys;
}

void CAncestorStore::RemoveLeftBehind() const
{
    RemoveLeftBehind(m_folder, KeysWithCopiesLeft(m_recoveryFolder));
}

CAncestorStore::~CAncestorStore()
{
    Drop();
}

// The lock is the store's for its whole life; its text names what it keeps.
bool CAncestorStore::HoldLock()
{
    if (m_lock >= 0)
        return true;
    static unsigned s_locks = 0;
    m_lockPath =
        m_folder + "/" + kLockPrefix + std::to_string(::getpid()) + "-" + std::to_string(++s_locks) + ".lock";
    m_lock = CSystemCalls::Get().Open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (m_lock >= 0 && ::flock(m_lock, LOCK_EX | LOCK_NB) == 0)
        return true;
    if (m_lock >= 0)
        CSystemCalls::Get().Close(m_lock);
    m_lock = -1;
    return false;
}

bool CAncestorStore::Keep(const std::shared_ptr<CFileVersion>& version, const std::string& path)
{
    Drop();
    if (!version || m_folder.empty() || !MakePrivateFolder(m_folder))
        return false;
    const std::string source = CanonicalPath(path);
    const std::string key = KeyOf(source);
    const std::string name = FileNameOf(source).substr(0, 100);
    bool kept = false;
    const std::string part = LinkOrName(version, source, key, name, kept);
    if (part.empty())
        return kept;
    // Where no link can be made, one copy per version's bytes for every store, made aside. The
    // worker takes the folder's lock on its own, once this thread let go of it: a second lock of
    // this process's would wait for the first.
    const auto share = [this, key, name, part] { Share(key, name, part); };
    try {
        m_sharing = std::thread(share);
    } catch (const std::system_error&) {
        share();
    }
    return true;
}

// Under the folder's lock: a link to the very version read, through the descriptor that holds it.
// Where none can be made, the name of the part the copy is made in, which the lock names meanwhile
// so that no store takes it for one left behind; empty when there is no copy to make.
std::string CAncestorStore::LinkOrName(const std::shared_ptr<CFileVersion>& version,
                                       const std::string& source, const std::string& key,
                                       const std::string& name, bool& kept)
{
    const FolderLock folderLock(m_folder);
    RemoveLeftBehind();
    if (!HoldLock())
        return {};
    m_version = version;
    CSystemCalls& system = CSystemCalls::Get();
    static unsigned s_kept = 0;
    const std::string own =
        m_folder + "/" + key + "-" + std::to_string(::getpid()) + "-" + std::to_string(++s_kept) + "-" + name;
    const std::string held = "/proc/self/fd/" + std::to_string(m_version->GetDescriptor());
    system.Unlink(own.c_str());
    if (SameFileSystem(source, m_folder) && system.Link(held.c_str(), own.c_str()) == 0) {
        m_kept = own;
        kept = Name(own);
        return {};
    }
    const std::string part = own + ".part";
    kept = Name(part);
    if (kept)
        return part;
    m_version.reset();
    return {};
}

// The lock's text: the name of what the store keeps.
bool CAncestorStore::Name(const std::string& kept)
{
    CSystemCalls& system = CSystemCalls::Get();
    const std::string name = FileNameOf(kept);
    return system.Truncate(m_lock, 0) == 0 && ::lseek(m_lock, 0, SEEK_SET) == 0 &&
           system.Write(m_lock, name.data(), name.size()) == static_cast<ssize_t>(name.size());
}

// On the worker: the copy shared by the stores that keep the version's bytes, named after their
// hash, made unless a store made it already.
void CAncestorStore::Share(const std::string& key, const std::string& name, const std::string& part)
{
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
    const CContentHash hash = m_version->GetHash(m_stopSharing);
    if (!hash.IsKnown())
        return;
    const std::string shared = m_folder + "/" + key + "-shared-" + hash.ToText() + "-" + name;
    {
        const FolderLock folderLock(m_folder);
        if (m_version->IsHeldAt(shared)) {
            KeepShared(shared);
            return;
        }
    }
    if (!CopyPart(part, hash))
        return;
    CSystemCalls& system = CSystemCalls::Get();
    const FolderLock folderLock(m_folder);
    if (m_stopSharing.load() || system.Rename(part.c_str(), shared.c_str()) != 0 ||
        !CSafeSave::SyncFolder(m_folder)) {
        system.Unlink(part.c_str());
        return;
    }
    KeepShared(shared);
}

// Under the folder's lock, as no other store may take the copy for one left behind meanwhile.
void CAncestorStore::KeepShared(const std::string& shared)
{
    m_kept = shared;
    m_shared = true;
    Name(shared);
}

// The version's bytes in part, on the disk and checked against their hash; false, and no part,
// when stopped or when they could not all be written.
bool CAncestorStore::CopyPart(const std::string& part, const CContentHash& hash)
{
    CSystemCalls& system = CSystemCalls::Get();
    const int target = system.Open(part.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (target < 0)
        return false;
    bool written = true;
    const auto write = [&](const unsigned char* bytes, std::size_t count) {
        written = written && WriteAll(target, bytes, count);
    };
    CContentHash copied;
    const bool made = CContentHash::ReadBlocks(m_version->GetDescriptor(), write, &m_stopSharing) &&
                      written && system.Fsync(target) == 0 &&
                      CContentHash::OfDescriptor(target, copied, &m_stopSharing) && copied == hash;
    system.Close(target);
    if (!made)
        system.Unlink(part.c_str());
    return made;
}

void CAncestorStore::FinishSharing() const
{
    if (m_sharing.joinable())
        m_sharing.join();
}

void CAncestorStore::RemoveLeftBehind(const std::string& folder, const std::set<std::string>& spared)
{
    std::set<std::string> held;
    const std::vector<std::string> names = Entries(folder);
    for (const std::string& name : names)
        if (IsLockName(name.c_str()))
            held.insert(HeldBy(folder + "/" + name));
    for (const std::string& name : names) {
        if (!IsKeptName(name) || held.count(name) || spared.count(name.substr(0, kKeyLength)))
            continue;
        CSystemCalls::Get().Unlink((folder + "/" + name).c_str());
    }
}

std::string CAncestorStore::FindVersion(const std::string& folder, const std::string& path,
                                        const CContentHash& hash)
{
    if (!hash.IsKnown())
        return {};
    const std::string key = KeyOf(path);
    for (const std::string& name : Entries(folder)) {
        if (name.compare(0, kKeyLength, key) != 0 || !IsKeptName(name))
            continue;
        CContentHash kept;
        if (CContentHash::OfPath(folder + "/" + name, kept) && kept == hash)
            return folder + "/" + name;
    }
    return {};
}

// A shared copy goes with the last store that keeps it.
void CAncestorStore::Drop()
{
    m_stopSharing = true;
    FinishSharing();
    m_stopSharing = false;
    CSystemCalls& system = CSystemCalls::Get();
    if (!m_kept.empty() && !m_shared)
        system.Unlink(m_kept.c_str());
    if (m_lock >= 0) {
        system.Unlink(m_lockPath.c_str());
        system.Close(m_lock);
        if (m_shared) {
            const FolderLock folderLock(m_folder);
            RemoveLeftBehind();
        }
    }
    m_lock = -1;
    m_shared = false;
    m_kept.clear();
    m_version.reset();
}

std::string CAncestorStore::GetPath() const
{
    FinishSharing();
    if (m_kept.empty() || !m_version || !m_version->IsHeldAt(m_kept))
        return {};
    return m_kept;
}
