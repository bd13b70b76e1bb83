#pragma once

#include "platform/CFile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The file's integers and records are stored little-endian, byte for byte as in memory here.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "notebook files are read and written in place");

// CFile with a buffer, for files made of many small fields. One direction per object: reading
// (short reads at the end are no error) or writing (every failure raises). Writes go to the file
// in whole buffers that end at multiples of the buffer's size in the file: the system then keeps
// the file's pages in large pieces, which whoever reads it next (this program too) reads faster.
class CBufferedFile
{
public:
    explicit CBufferedFile(CFile& file, std::size_t bufferSize = 256 * 1024);

    std::size_t Read(void* target, std::size_t count);
    void Write(const void* source, std::size_t count);
    // Writes what is buffered; raises on failure.
    void FlushBuffer();

    // Reading: where the next byte read stands in the file.
    std::uint64_t GetPosition() const { return m_consumed; }
    // Writing: where the next byte written goes in the file.
    std::uint64_t GetWritePosition() const { return m_consumed + m_end; }
    // Bytes between the read position and the end of the file as it was when reading began.
    std::uint64_t GetRemaining() const { return m_consumed >= m_length ? 0 : m_length - m_consumed; }
    // Reading: whether a read met the end of the file before it had all it asked for.
    bool EndedShort() const { return m_endedShort; }

private:
    // Writing: the buffer's bytes up to the next multiple of its size in the file.
    std::size_t WriteRoom() const { return m_buffer.size() - m_consumed % m_buffer.size(); }

    CFile& m_file;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0; // reading: next byte of the buffer
    std::size_t m_end = 0;   // reading: bytes in the buffer; writing: bytes waiting
    std::uint64_t m_length = 0;
    std::uint64_t m_consumed = 0; // writing: where the buffer's first byte goes in the file
    bool m_endedShort = false;
};
