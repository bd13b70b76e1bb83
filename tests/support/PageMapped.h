#pragma once

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

// mincore of the page holding p: whether it answered, and the page's residence in resident.
inline bool PageCore(const void* p, unsigned char& resident)
{
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    auto* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(p) & ~(page - 1));
    return ::mincore(start, page, &resident) == 0;
}

// Whether the page holding p is mapped in this process.
inline bool PageMapped(const void* p)
{
    unsigned char resident = 0;
    return PageCore(p, resident) || errno != ENOMEM;
}

// Whether the page holding p is in memory: touched, or made ahead of a touch.
inline bool PageResident(const void* p)
{
    unsigned char resident = 0;
    return PageCore(p, resident) && (resident & 1) != 0;
}

// The resident size in KiB of this process's mapping of the file, from /proc/self/smaps.
inline long MappedKiB(const std::string& path)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    long total = 0;
    while (std::getline(smaps, line)) {
        const bool header = line.find('-') < line.find(' ') && line.find(' ') != std::string::npos;
        if (header)
            inside =
                line.size() >= path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0;
        else if (inside && line.rfind("Rss:", 0) == 0)
            total += std::stol(line.substr(4));
    }
    return total;
}
