#include "model/CBufferedFile.h"

#include <algorithm>
#include <cstring>

CBufferedFile::CBufferedFile(CFile& file, std::size_t bufferSize)
    : m_file(file), m_buffer(bufferSize), m_length(file.GetLength()), m_consumed(file.GetPosition())
{
}

std::size_t CBufferedFile::Read(void* target, std::size_t count)
{
    auto* out = static_cast<char*>(target);
    std::size_t done = 0;
    while (done < count) {
        if (m_begin == m_end) {
            // Large reads go straight to the target.
            if (count - done >= m_buffer.size()) {
                const std::size_t n = m_file.Read(out + done, count - done);
                done += n;
                m_consumed += n;
                break;
            }
            m_begin = 0;
            m_end = m_file.Read(m_buffer.data(), m_buffer.size());
            if (m_end == 0)
                break;
        }
        const std::size_t n = std::min(count - done, m_end - m_begin);
        std::memcpy(out + done, m_buffer.data() + m_begin, n);
        m_begin += n;
        done += n;
        m_consumed += n;
    }
    return done;
}

void CBufferedFile::Write(const void* source, std::size_t count)
{
    const auto* in = static_cast<const char*>(source);
    if (count > m_buffer.size() - m_end) {
        FlushBuffer();
        if (count >= m_buffer.size()) {
            m_file.Write(in, count);
            return;
        }
    }
    std::memcpy(m_buffer.data() + m_end, in, count);
    m_end += count;
}

void CBufferedFile::FlushBuffer()
{
    if (m_end > 0)
        m_file.Write(m_buffer.data(), m_end);
    m_end = 0;
}
