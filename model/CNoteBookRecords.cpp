#include "model/CNoteBookRecords.h"

#include <cstring>
#include <fstream>

namespace {

std::uint32_t Field(const char* bytes)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value; // little-endian, as the file and the machine are
}

// The header's size in each version: version, count and password length, the flags from 6, the
// window placement from 7, the two panes from 8, and the font.
std::uint64_t HeaderSize(std::uint32_t version)
{
    return 12 + (version >= 6 ? 4 : 0) + (version >= 7 ? 44 : 0) + (version >= 8 ? 8 : 0) + 60;
}

} // namespace

bool CNoteBookRecords::Count(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char head[12];
    if (!in.read(head, sizeof head))
        return false;
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(in.tellg());
    m_counted = Field(head + 4);
    const std::uint32_t passwordLength = Field(head + 8);
    std::uint64_t at = HeaderSize(Field(head)) + (passwordLength > 0 ? std::uint64_t{passwordLength} + 1 : 0);
    m_present = 0;
    while (m_present < m_counted && at + 8 <= size) {
        char record[8];
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(record, sizeof record))
            return false;
        const std::uint64_t end = at + 8 + Field(record + 4);
        if (end > size)
            break;
        at = end;
        ++m_present;
    }
    m_trailing = size > at ? size - at : 0;
    return true;
}
