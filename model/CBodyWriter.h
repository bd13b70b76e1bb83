#pragma once

#include "model/CByteBuffer.h"

#include <cstdint>
#include <stdexcept>

class CBufferedFile;

// Enciphers one record body on its way to the file. A body up to a stretch long is assembled whole
// and enciphered at once; a longer one (a note of many megabytes) goes through in stretches whose
// length is a whole number of key lengths, so each starts at the key's first character as its
// place in the body does, and the body is never held a second time. Each stretch is written as it
// fills; the bytes put must add up to the length given.
class CBodyWriter
{
public:
    // The body's exact length in bytes; raises std::bad_alloc without memory.
    CBodyWriter(CBufferedFile& file, std::uint32_t length);

    void Put(const void* source, std::uint32_t count);

private:
    void NextStretch();

    CBufferedFile& m_file;
    std::uint32_t m_left;
    CByteBuffer m_stretch;
};
