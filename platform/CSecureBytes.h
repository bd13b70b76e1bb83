#pragma once

#include <cstddef>
#include <string_view>

// Secret bytes (a passphrase, a key) in memory that is locked against swapping, guarded against
// overruns and wiped when freed (sodium_malloc). While any exist the process writes no core dump.
class CSecureBytes
{
public:
    CSecureBytes() = default;
    // Raises std::bad_alloc when no locked memory is left.
    explicit CSecureBytes(std::size_t size);
    explicit CSecureBytes(std::string_view bytes);
    ~CSecureBytes();
    CSecureBytes(CSecureBytes&& other) noexcept;
    CSecureBytes& operator=(CSecureBytes&& other) noexcept;
    CSecureBytes(const CSecureBytes&) = delete;
    CSecureBytes& operator=(const CSecureBytes&) = delete;

    unsigned char* Data() { return m_data; }
    const unsigned char* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    std::string_view View() const { return {reinterpret_cast<const char*>(m_data), m_size}; }

private:
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
};

// Turns core dumps off for the rest of the run: a dump would carry the secrets to the disk.
void ForbidCoreDumps();
