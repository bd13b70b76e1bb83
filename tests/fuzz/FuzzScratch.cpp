#include "fuzz/FuzzScratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

FuzzScratch::FuzzScratch()
{
    char shm[] = "/dev/shm/pelmora-fuzz-XXXXXX";
    char tmp[] = "/tmp/pelmora-fuzz-XXXXXX";
    const char* made = ::mkdtemp(shm) ? shm : ::mkdtemp(tmp);
    if (!made) {
        std::perror("pelmora fuzz: cannot make a scratch folder");
        std::abort();
    }
    m_dir = made;
}

FuzzScratch::~FuzzScratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string FuzzScratch::File(const std::string& name) const
{
    return m_dir + "/" + name;
}

std::string FuzzScratch::Write(const std::string& name, std::string_view bytes) const
{
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}
