#include "platform/CFileIdentity.h"

#include "platform/Sodium.h"

#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool HashContents(int fd, std::array<unsigned char, 32>& hash)
{
    InitSodium();
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, hash.size());
    if (!CContentHash::ReadBlocks(fd, [&state](const unsigned char* bytes, std::size_t size) {
            crypto_generichash_update(&state, bytes, static_cast<unsigned long long>(size));
        }))
        return false;
    crypto_generichash_final(&state, hash.data(), hash.size());
    return true;
}

} // namespace

CFileIdentity CFileIdentity::Of(const std::string& path)
{
    CFileIdentity identity;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st
    {
    };
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        // A file we may not open is still told apart by what stat says of it.
        if (::stat(path.c_str(), &st) != 0)
            return identity;
    }
    identity.Take(st);
    // Whole seconds only: the time cannot tell two writes within one second apart.
    if (fd >= 0 && S_ISREG(st.st_mode) && st.st_mtim.tv_nsec == 0)
        identity.m_hashed = HashContents(fd, identity.m_hash);
    if (fd >= 0)
        ::close(fd);
    return identity;
}

CFileIdentity CFileIdentity::OfDescriptor(int descriptor)
{
    CFileIdentity identity;
    struct stat st
    {
    };
    if (::fstat(descriptor, &st) == 0)
        identity.Take(st);
    return identity;
}

void CFileIdentity::Take(const struct stat& st)
{
    m_exists = true;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_mtimeSec = st.st_mtim.tv_sec;
    m_mtimeNsec = st.st_mtim.tv_nsec;
    m_ctimeSec = st.st_ctim.tv_sec;
    m_ctimeNsec = st.st_ctim.tv_nsec;
    m_links = st.st_nlink;
}

bool CFileIdentity::operator==(const CFileIdentity& other) const
{
    // A count of 0 is one a recovery record kept without it: no change of names can be told then.
    const bool linksChanged = m_links != 0 && other.m_links != 0 && m_links != other.m_links;
    return HasSameContents(other) && (SameInodeTime(other) || linksChanged);
}

bool CFileIdentity::IsExactly(const CFileIdentity& other) const
{
    return HasSameContents(other) && SameInodeTime(other) && m_links == other.m_links;
}

bool CFileIdentity::SameInodeTime(const CFileIdentity& other) const
{
    return m_ctimeSec == other.m_ctimeSec && m_ctimeNsec == other.m_ctimeNsec;
}

bool CFileIdentity::IsStillOpenAs(const CFileIdentity& later) const
{
    return HasSameContents(later) && (SameInodeTime(later) || m_links != later.m_links);
}

bool CFileIdentity::HasSameContents(const CFileIdentity& other) const
{
    if (m_exists != other.m_exists)
        return false;
    if (!m_exists)
        return true;
    // An identity taken from a descriptor has no hash: the rest decides then.
    return m_device == other.m_device && m_inode == other.m_inode && m_size == other.m_size &&
           m_mtimeSec == other.m_mtimeSec && m_mtimeNsec == other.m_mtimeNsec &&
           (!m_hashed || !other.m_hashed || m_hash == other.m_hash);
}

std::string CFileIdentity::ToText() const
{
    if (!m_exists)
        return {};
    char hash[sizeof m_hash * 2 + 1] = "-";
    if (m_hashed)
        sodium_bin2hex(hash, sizeof hash, m_hash.data(), m_hash.size());
    return std::to_string(m_device) + ' ' + std::to_string(m_inode) + ' ' + std::to_string(m_size) + ' ' +
           std::to_string(m_mtimeSec) + ' ' + std::to_string(m_mtimeNsec) + ' ' + std::to_string(m_ctimeSec) +
           ' ' + std::to_string(m_ctimeNsec) + ' ' + hash + ' ' + std::to_string(m_links) +
           (m_contentHash.IsKnown() ? ' ' + m_contentHash.ToText() : std::string());
}

CFileIdentity CFileIdentity::Parse(const std::string& text)
{
    CFileIdentity identity;
    std::istringstream in(text);
    std::string hash;
    if (!(in >> identity.m_device >> identity.m_inode >> identity.m_size >> identity.m_mtimeSec >>
          identity.m_mtimeNsec >> identity.m_ctimeSec >> identity.m_ctimeNsec >> hash))
        return {};
    identity.m_hashed = hash != "-";
    if (identity.m_hashed && (hash.size() != identity.m_hash.size() * 2 ||
                              sodium_hex2bin(identity.m_hash.data(), identity.m_hash.size(), hash.data(),
                                             hash.size(), nullptr, nullptr, nullptr) != 0))
        return {};
    // The count of names came later; without it the inode's time alone decides.
    if (!(in >> identity.m_links))
        identity.m_links = 0;
    std::string contentHash;
    if (in >> contentHash)
        identity.m_contentHash = CContentHash::Parse(contentHash);
    identity.m_exists = true;
    return identity;
}

bool IsNewer(const CFileIdentity& a, const CFileIdentity& b)
{
    if (a.GetModifiedSeconds() != b.GetModifiedSeconds())
        return a.GetModifiedSeconds() > b.GetModifiedSeconds();
    return a.GetModifiedNanoseconds() > b.GetModifiedNanoseconds();
}
