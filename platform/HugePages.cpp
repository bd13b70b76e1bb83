#include "platform/HugePages.h"

#include <cstdint>
#include <sys/mman.h>

void* MapForHugePages(std::size_t bytes)
{
    if (bytes > SIZE_MAX - kHugePageSize)
        return nullptr;
    // Mapped a huge page longer, then cut to the boundary: the system aligns only some mappings.
    const std::size_t padded = bytes + kHugePageSize;
    void* raw = ::mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto at = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (at + kHugePageSize - 1) & ~(kHugePageSize - 1);
    if (aligned > at)
        ::munmap(raw, aligned - at);
    const std::uintptr_t end = at + padded;
    if (end > aligned + bytes)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}
