#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// What a file's bytes are, in 128 bits of XXH3: fast enough to read a gigabyte at the speed the
// disk gives it, so that whether a file changed is decided by its bytes, not by its times and names.
class CContentHash
{
public:
    // The bytes of the file open on descriptor, from its start, read without moving its offset;
    // false when they could not be read or cancel was set meanwhile.
    static bool OfDescriptor(int descriptor, CContentHash& hash, const std::atomic<bool>* cancel = nullptr);
    // The file at path as it is now; false when it cannot be read.
    static bool OfPath(const std::string& path, CContentHash& hash);
    // Hands the file's bytes from its start to take a block at a time, without moving its offset;
    // false when they could not be read or cancel was set meanwhile.
    static bool ReadBlocks(int descriptor, const std::function<void(const unsigned char*, std::size_t)>& take,
                           const std::atomic<bool>* cancel = nullptr);

    bool IsKnown() const { return m_known; }
    bool operator==(const CContentHash& other) const
    {
        return m_known && other.m_known && m_high == other.m_high && m_low == other.m_low;
    }
    bool operator!=(const CContentHash& other) const { return !(*this == other); }

    // 32 hexadecimal digits; empty when unknown. Parse gives an unknown hash for any other text.
    std::string ToText() const;
    static CContentHash Parse(const std::string& text);

private:
    bool m_known = false;
    std::uint64_t m_high = 0;
    std::uint64_t m_low = 0;
};
