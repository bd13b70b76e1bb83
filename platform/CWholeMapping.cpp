#include "platform/CWholeMapping.h"

#include "platform/CMappedFile.h"

#include <unistd.h>

namespace {

// A file larger than half the memory would push out what it brings in.
bool MemoryHolds(std::uint64_t bytes)
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 &&
           bytes <= static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

} // namespace

CWholeMapping::CWholeMapping(std::shared_ptr<const CMappedFile> file, bool wanted)
{
    if (file && wanted && MemoryHolds(file->GetSize()) && file->MapWhole())
        m_file = std::move(file);
}

CWholeMapping::~CWholeMapping()
{
    if (m_file)
        m_file->LetGoWhole();
}
