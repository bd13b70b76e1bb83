#pragma once

#include <array>
#include <cstdint>
#include <string>

// What a file on disk was at one moment: device, inode, size, and the times of the last change of
// its contents and of its inode to the nanosecond (a program can put the first back, never the
// second). Where the file system keeps whole seconds only, a change within the same second and
// of the same size would pass unseen, so the contents' hash is kept as well.
class CFileIdentity
{
public:
    // The file at path as it is now (links followed); an empty identity when there is none.
    static CFileIdentity Of(const std::string& path);

    bool Exists() const { return m_exists; }
    // True when both describe the same file with the same contents.
    bool operator==(const CFileIdentity& other) const;
    bool operator!=(const CFileIdentity& other) const { return !(*this == other); }
    // True when both describe the same file with the same contents, though a link made to it
    // since (a backup) moved the time of its inode.
    bool SameContentsAs(const CFileIdentity& other) const;

    std::int64_t GetModifiedSeconds() const { return m_mtimeSec; }
    std::int64_t GetModifiedNanoseconds() const { return m_mtimeNsec; }

    // One line of text that Parse turns back into the identity, for keeping it beside a recovery copy.
    std::string ToText() const;
    // An empty identity when the text is not one of ToText.
    static CFileIdentity Parse(const std::string& text);

private:
    bool m_exists = false;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    std::uint64_t m_size = 0;
    std::int64_t m_mtimeSec = 0;
    std::int64_t m_mtimeNsec = 0;
    std::int64_t m_ctimeSec = 0;
    std::int64_t m_ctimeNsec = 0;
    bool m_hashed = false;
    std::array<unsigned char, 32> m_hash{};
};

// True when a is later than b, to the nanosecond.
bool IsNewer(const CFileIdentity& a, const CFileIdentity& b);
