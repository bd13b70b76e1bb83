#pragma once

#include <memory>

class CMappedFile;

// A file's mapping populated whole for one pass that reads it in no order, and let go of after
// it: a text read on its own otherwise costs a call to the system, or a fault, every time. Only
// where the memory can hold the file; the pages stay the system's cache either way. A pass that
// goes on in steps keeps the file until it ends, even when its notebook is closed meanwhile.
class CWholeMapping
{
public:
    // Nothing when file is null or when not wanted.
    CWholeMapping(std::shared_ptr<const CMappedFile> file, bool wanted);
    ~CWholeMapping();
    CWholeMapping(CWholeMapping&& other) noexcept = default;
    CWholeMapping(const CWholeMapping&) = delete;
    CWholeMapping& operator=(const CWholeMapping&) = delete;
    CWholeMapping& operator=(CWholeMapping&&) = delete;

private:
    std::shared_ptr<const CMappedFile> m_file;
};
