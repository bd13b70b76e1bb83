#pragma once

#include <string>
#include <string_view>

// A folder of a fuzz target's own for the files it reads and writes, removed at exit. In memory
// where there is a tmpfs, so that the saves' fsync costs nothing.
class FuzzScratch
{
public:
    FuzzScratch();
    ~FuzzScratch();
    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;

    std::string File(const std::string& name) const;
    // Writes the bytes as the named file, replacing it, and returns its path.
    std::string Write(const std::string& name, std::string_view bytes) const;

private:
    std::string m_dir;
};
