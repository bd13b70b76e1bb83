#pragma once

#include <cstdint>
#include <string>

// What a plain notebook file holds against what its header counts, found by walking the records'
// lengths: the reader makes notes up for records missing at the end and leaves bytes after the
// last one unread, and pelmora-tool info says so.
class CNoteBookRecords
{
public:
    // False when the file cannot be read or is too short for a header.
    bool Count(const std::string& path);

    std::uint32_t GetCounted() const { return m_counted; }
    // Whole records, of at most as many as the header counts.
    std::uint32_t GetPresent() const { return m_present; }
    // Bytes after the last record the header counts, or after the last whole one.
    std::uint64_t GetTrailing() const { return m_trailing; }

private:
    std::uint32_t m_counted = 0;
    std::uint32_t m_present = 0;
    std::uint64_t m_trailing = 0;
};
