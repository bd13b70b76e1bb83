#include "fuzz/MergeFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzNoteBookMerge(data, size);
    return 0;
}
