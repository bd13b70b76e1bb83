#pragma once

#include "platform/CContentHash.h"

#include <array>
#include <cstdint>
#include <string>
#include <sys/stat.h>

// What a file on disk was at one moment: device, inode, size, and the times of the last change of
// its contents and of its inode to the nanosecond (a program can put the first back, never the
// second). Where the file system keeps whole seconds only, a change within the same second and
// of the same size would pass unseen, so the contents' hash is kept as well.
class CFileIdentity
{
public:
    // The file at path as it is now (links followed); an empty identity when there is none.
    static CFileIdentity Of(const std::string& path);
    // The file open on descriptor, from what the system says of it alone: never read whole.
    static CFileIdentity OfDescriptor(int descriptor);

    bool Exists() const { return m_exists; }
    // True when both describe the same file with the same contents and nothing but a hard link made
    // or removed touched its inode (a link changes the inode's time and the count of its names).
    bool operator==(const CFileIdentity& other) const;
    // True when both describe the same file with the same contents, whatever became of its names:
    // a hard link made or removed changes the inode's time, not the file.
    bool HasSameContents(const CFileIdentity& other) const;
    bool operator!=(const CFileIdentity& other) const { return !(*this == other); }
    // True when nothing the system says of the two differs, the time of the inode and the count of
    // names included: the only sameness that needs no look at the bytes.
    bool IsExactly(const CFileIdentity& other) const;
    // For a file held open: as ==, where its last name removed (no link left) is a change of names too.
    bool IsStillOpenAs(const CFileIdentity& later) const;

    // The hash of the bytes, where whoever took the identity knew it; unknown otherwise.
    void SetContentHash(const CContentHash& hash) { m_contentHash = hash; }
    const CContentHash& GetContentHash() const { return m_contentHash; }

    std::int64_t GetModifiedSeconds() const { return m_mtimeSec; }
    std::int64_t GetModifiedNanoseconds() const { return m_mtimeNsec; }

    // One line of text that Parse turns back into the identity, for keeping it beside a recovery copy.
    std::string ToText() const;
    // An empty identity when the text is not one of ToText.
    static CFileIdentity Parse(const std::string& text);

private:
    void Take(const struct stat& st);
    bool SameInodeTime(const CFileIdentity& other) const;

    bool m_exists = false;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    std::uint64_t m_size = 0;
    std::int64_t m_mtimeSec = 0;
    std::int64_t m_mtimeNsec = 0;
    std::int64_t m_ctimeSec = 0;
    std::int64_t m_ctimeNsec = 0;
    std::uint64_t m_links = 0;
    bool m_hashed = false;
    std::array<unsigned char, 32> m_hash{};
    CContentHash m_contentHash;
};

// True when a is later than b, to the nanosecond.
bool IsNewer(const CFileIdentity& a, const CFileIdentity& b);
