#include "platform/CSecureBytes.h"

#include "platform/Sodium.h"

#include <cstring>
#include <new>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <utility>

void ForbidCoreDumps()
{
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    // Also keeps other processes of the user from reading our memory through ptrace.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

CSecureBytes::CSecureBytes(std::size_t size) : m_size(size)
{
    InitSodium();
    ForbidCoreDumps();
    m_data = static_cast<unsigned char*>(sodium_malloc(size == 0 ? 1 : size));
    if (!m_data)
        throw std::bad_alloc();
}

CSecureBytes::CSecureBytes(std::string_view bytes) : CSecureBytes(bytes.size())
{
    if (!bytes.empty())
        std::memcpy(m_data, bytes.data(), bytes.size());
}

CSecureBytes::~CSecureBytes()
{
    sodium_free(m_data);
}

CSecureBytes::CSecureBytes(CSecureBytes&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
{
}

CSecureBytes& CSecureBytes::operator=(CSecureBytes&& other) noexcept
{
    if (this != &other) {
        sodium_free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}
