#pragma once

#include <cerrno>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

// Whether the page holding p is mapped in this process.
inline bool PageMapped(const void* p)
{
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    auto* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(p) & ~(page - 1));
    unsigned char resident = 0;
    return ::mincore(start, page, &resident) == 0 || errno != ENOMEM;
}
