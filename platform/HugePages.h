#pragma once

#include <cstddef>

// The size of a huge page, where the system has them.
constexpr std::size_t kHugePageSize = 2 << 20;

// Fresh memory of bytes that starts on a huge page's boundary and is advised to take huge pages, so
// that the system can back all of it with them; null when it has no memory. Given back with munmap
// of the same bytes.
void* MapForHugePages(std::size_t bytes);
