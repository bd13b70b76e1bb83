#include "platform/CFileVersion.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

std::shared_ptr<CFileVersion> CFileVersion::Start(int descriptor, const CFileIdentity& identity)
{
    const int own = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    return std::shared_ptr<CFileVersion>(new CFileVersion(own, identity));
}

std::shared_ptr<CFileVersion> CFileVersion::StartAt(const std::string& path, const CFileIdentity& identity)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    std::shared_ptr<CFileVersion> version;
    if (CFileIdentity::OfDescriptor(fd).HasSameContents(identity))
        version = Start(fd, identity);
    ::close(fd);
    return version;
}

CFileVersion::CFileVersion(int descriptor, const CFileIdentity& identity)
    : m_descriptor(descriptor), m_identity(identity), m_worker([this] { Hash(); })
{
}

CFileVersion::~CFileVersion()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_cancel.store(true);
        m_hashed.notify_all();
    }
    m_worker.join();
    ::close(m_descriptor);
}

// What the window or a reader does first comes first: the hash is wanted only later, if at all, so
// it waits until the open is done or someone asks for it.
void CFileVersion::Hash()
{
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_hashed.wait_for(lock, kQuietStart, [this] { return m_wanted || m_cancel.load(); });
    }
    CContentHash hash;
    // Bytes written in place while they were read are no version at all.
    if (!CContentHash::OfDescriptor(m_descriptor, hash, &m_cancel) ||
        !CFileIdentity::OfDescriptor(m_descriptor).HasSameContents(m_identity))
        hash = CContentHash();
    std::lock_guard<std::mutex> lock(m_lock);
    m_hash = hash;
    m_done = true;
    m_hashed.notify_all();
}

CContentHash CFileVersion::GetHash() const
{
    static const std::atomic<bool> never{false};
    return GetHash(never);
}

CContentHash CFileVersion::GetHash(const std::atomic<bool>& stop) const
{
    constexpr std::chrono::milliseconds kLookAgain{10};
    std::unique_lock<std::mutex> lock(m_lock);
    m_wanted = true;
    m_hashed.notify_all();
    while (!m_hashed.wait_for(lock, kLookAgain, [this] { return m_done; }))
        if (stop.load())
            return {};
    return m_hash;
}

CFileIdentity CFileVersion::GetIdentityWithHash() const
{
    CFileIdentity identity = m_identity;
    identity.SetContentHash(GetHash());
    return identity;
}

bool CFileVersion::HasBytes(const CContentHash& now) const
{
    const CContentHash read = GetHash();
    return read.IsKnown() && now == read;
}

bool CFileVersion::Holds(const CFileIdentity& now, const std::function<bool(CContentHash&)>& read) const
{
    if (!now.Exists())
        return false;
    if (IsSaidToHold(now))
        return true;
    CContentHash hash;
    if (!read(hash) || !HasBytes(hash))
        return false;
    Remember(now);
    return true;
}

bool CFileVersion::IsSaidToHold(const CFileIdentity& now) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (now.IsExactly(m_identity))
        return true;
    for (const CFileIdentity& holder : m_holders)
        if (now.IsExactly(holder))
            return true;
    return false;
}

void CFileVersion::Remember(const CFileIdentity& holder) const
{
    constexpr std::size_t kRemembered = 8;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_holders.size() == kRemembered)
        m_holders.erase(m_holders.begin());
    m_holders.push_back(holder);
}

void CFileVersion::TrustNamesChangedAt(const std::string& path)
{
    const CFileIdentity now = CFileIdentity::Of(path);
    if (now.Exists() && now.HasSameContents(m_identity))
        Remember(now);
}

bool CFileVersion::IsHeldAt(const std::string& path) const
{
    return Holds(CFileIdentity::Of(path),
                 [&path](CContentHash& hash) { return CContentHash::OfPath(path, hash); });
}

bool CFileVersion::IsHeldBy(int descriptor) const
{
    return Holds(CFileIdentity::OfDescriptor(descriptor),
                 [descriptor](CContentHash& hash) { return CContentHash::OfDescriptor(descriptor, hash); });
}
