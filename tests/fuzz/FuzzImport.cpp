#include "fuzz/ImportFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzTextImport(data, size);
    return 0;
}
