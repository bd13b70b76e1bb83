#pragma once

#include <cstddef>

// While it lives, a count a test sets for the program through Set (pieces of work per slice, files
// per group) holds; 0, for the program's own bounds, comes back after.
template <void (*Set)(std::size_t)> class ScopedCount
{
public:
    explicit ScopedCount(std::size_t count) { Set(count); }
    ~ScopedCount() { Set(0); }
    ScopedCount(const ScopedCount&) = delete;
    ScopedCount& operator=(const ScopedCount&) = delete;
};
