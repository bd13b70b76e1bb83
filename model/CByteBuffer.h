#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A fixed block of bytes with one cursor, used to assemble and take apart the enciphered parts of
// a notebook file. It also carries the notebook cipher.
class CByteBuffer
{
public:
    CByteBuffer() = default;
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    // Takes a zeroed block; fails when a block is held already or memory cannot be had.
    bool Allocate(std::uint32_t size);
    void ZeroFill();
    bool Put(const void* source, std::uint32_t count);
    bool Get(void* target, std::uint32_t count);
    void Free();

    // Transform the whole block in place; return the key's length. The cursor stays.
    std::uint32_t Encipher(const char* key);
    std::uint32_t Decipher(const char* key);

    // Deciphers count bytes that stand at place in their enciphered block, into target.
    static void DecipherAt(const std::uint8_t* source, std::size_t count, std::size_t place,
                           std::uint8_t* target, const char* key);

    // The shifts that decipher count bytes standing at place in a block enciphered with the
    // notebook's key, one for each byte, to be added to it; null past the longest stream kept.
    static const std::uint8_t* NoteBookShifts(std::size_t place, std::size_t count);

    // How many of count such bytes come before the first that deciphers to zero, and whether one of
    // those deciphers to 0x80 or more; nothing is written.
    static std::size_t MeasureDeciphered(const std::uint8_t* source, std::size_t count, std::size_t place,
                                         const char* key, bool& beyondAscii);

    std::uint8_t* GetData() { return m_data.get(); }
    const std::uint8_t* GetData() const { return m_data.get(); }
    std::uint32_t GetSize() const { return m_size; }
    std::uint32_t GetCursor() const { return m_cursor; }
    std::uint32_t GetRemaining() const { return m_size - m_cursor; }

private:
    std::uint32_t Transform(const char* key, bool encipher);

    std::unique_ptr<std::uint8_t[]> m_data;
    std::uint32_t m_size = 0;
    std::uint32_t m_cursor = 0;
};

// The built-in key every notebook is enciphered with. It hides the bytes; it does not protect them.
inline constexpr const char* kNoteBookKey = "RkpfNqTe731$&!6";
