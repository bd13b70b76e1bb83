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
    m_endedShort = m_endedShort || done < count;
    return done;
}

void CBufferedFile::Write(const void* source, std::size_t count)
{
    const auto* in = static_cast<const char*>(source);
    while (count > 0) {
        // Whole buffers go straight from the source when nothing waits before them.
        if (m_end == 0 && m_consumed % m_buffer.size() == 0 && count >= m_buffer.size()) {
            const std::size_t whole = count - count % m_buffer.size();
            m_file.Write(in, whole);
            m_consumed += whole;
            in += whole;
            count -= whole;
            continue;
        }
        const std::size_t room = WriteRoom();
        const std::size_t n = std::min(count, room - m_end);
        std::memcpy(m_buffer.data() + m_end, in, n);
        m_end += n;
        in += n;
        count -= n;
        if (m_end == room)
            FlushBuffer();
    }
}

void CBufferedFile::FlushBuffer()
{
    if (m_end > 0)
        m_file.Write(m_buffer.data(), m_end);
    m_consumed += m_end;
    m_end = 0;
}
