#include "fuzz/ReaderFuzzTarget.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzNoteBookReader(data, size);
    return 0;
}

// -write_seeds=DIR writes a starting corpus of well-formed notebooks into DIR and stops.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (std::strncmp(arg, "-write_seeds=", 13) != 0)
            continue;
        std::filesystem::create_directories(arg + 13);
        int n = 0;
        for (const std::string& seed : ReaderSeeds())
            std::ofstream(std::string(arg + 13) + "/seed-" + std::to_string(n++), std::ios::binary) << seed;
        std::exit(0);
    }
    return 0;
}
