#include "model/CBodyWriter.h"

#include "model/CBufferedFile.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Key lengths in one stretch: about 60 KB.
constexpr std::uint32_t kKeysPerStretch = 4096;

std::uint32_t StretchLength()
{
    return static_cast<std::uint32_t>(std::strlen(kNoteBookKey)) * kKeysPerStretch;
}

} // namespace

CBodyWriter::CBodyWriter(CBufferedFile& file, std::uint32_t length) : m_file(file), m_left(length)
{
    NextStretch();
}

void CBodyWriter::NextStretch()
{
    m_stretch.Free();
    if (!m_stretch.Allocate(std::min(m_left, StretchLength())))
        throw std::bad_alloc();
}

void CBodyWriter::Put(const void* source, std::uint32_t count)
{
    const auto* from = static_cast<const std::uint8_t*>(source);
    while (count > 0) {
        const std::uint32_t n = std::min(count, m_stretch.GetRemaining());
        if (n == 0)
            throw std::length_error("a record body longer than it said");
        m_stretch.Put(from, n);
        from += n;
        count -= n;
        if (m_stretch.GetRemaining() == 0) {
            // Every stretch but the last is a whole number of key lengths long.
            m_stretch.Encipher(kNoteBookKey);
            m_file.Write(m_stretch.GetData(), m_stretch.GetSize());
            m_left -= m_stretch.GetSize();
            if (m_left > 0)
                NextStretch();
        }
    }
}
