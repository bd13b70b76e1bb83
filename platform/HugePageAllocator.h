#pragma once

#include "platform/HugePages.h"

#include <cstddef>
#include <new>
#include <sys/mman.h>

// An allocator for the large arrays a command over every note fills once and lets go: blocks of
// 2 MB and more come straight from the system, in huge pages where it has them. Fresh memory is
// otherwise handed out a page of 4 KB at a time, at the first touch of each page, and on a virtual
// machine that keeps its own page tables those touches cost a sort of a million titles more than
// its comparisons. Where the system gives no huge pages the block is plain fresh memory.
template <typename T> class HugePageAllocator
{
public:
    using value_type = T;

    HugePageAllocator() = default;
    template <typename U> HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePageSize)
            return static_cast<T*>(::operator new(bytes));
        void* block = MapForHugePages(bytes);
        if (!block)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }

    void deallocate(T* block, std::size_t n) noexcept
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePageSize)
            ::operator delete(block);
        else
            ::munmap(block, bytes);
    }

    template <typename U> bool operator==(const HugePageAllocator<U>&) const noexcept { return true; }
    template <typename U> bool operator!=(const HugePageAllocator<U>&) const noexcept { return false; }
};
