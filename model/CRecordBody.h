#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMappedFile;

// One record body, enciphered in a mapped notebook file, taken apart field by field as the whole
// reader does: a field whose length passes the end of the body, or is 0, gives nothing and keeps
// the value. Reads through the calling thread's window.
class CRecordBody
{
public:
    // A field: its length and where its bytes begin in the body.
    struct Field
    {
        std::uint32_t place = 0;
        std::uint32_t count = 0;
    };

    CRecordBody(const CMappedFile& file, std::uint64_t place, std::uint32_t length)
        : m_file(file), m_place(place), m_length(length)
    {
    }

    bool NextField(Field& field);
    std::string Deciphered(const Field& field) const;
    bool AtEnd() const { return m_at == m_length; }

private:
    const std::uint8_t* View(std::uint32_t at, std::size_t count) const;

    const CMappedFile& m_file;
    std::uint64_t m_place;
    std::uint32_t m_length;
    std::uint32_t m_at = 0;
};
