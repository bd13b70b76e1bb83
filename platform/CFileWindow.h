#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CMappedFile;

// A stretch of a mapped file copied into memory of its own. The first touch of a mapped page can
// cost more than copying it, many times more on a virtual machine that keeps its own copy of the
// page tables, and a touched page counts as the process's memory until it is released: texts are
// copied from the file instead, a window ahead at a time while a pass goes through the file in
// its order, and only the mapping's for a text longer than the window.
class CFileWindow
{
public:
    // The calling thread's window: every pass over the texts gets one without asking for it.
    static CFileWindow& OfThisThread();

    // The bytes [offset, offset + length) of file, which must lie inside it; valid until the next
    // view of this window. A stretch longer than the window is the mapping's, and is let go of with
    // LetGo once read. A copy is the file as it was when copied: whoever trusts it asks the file
    // first whether it is intact.
    const std::uint8_t* View(const CMappedFile& file, std::uint64_t offset, std::size_t length);
    // After reading a view: the pages of a stretch the mapping gave, so that what was read does not
    // stay this process's memory.
    static void LetGo(const CMappedFile& file, std::uint64_t offset, std::size_t length);

    static constexpr std::size_t kSize = 256 * 1024;

private:
    void Fill(const CMappedFile& file, std::uint64_t serial, std::uint64_t offset, std::size_t wanted);
    bool Holds(std::uint64_t serial, std::uint64_t offset, std::size_t length) const
    {
        return serial == m_heldSerial && offset >= m_begin && offset + length <= m_end;
    }

    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::uint64_t m_heldSerial = 0; // the file whose stretch the window holds
    std::uint64_t m_begin = 0;
    std::uint64_t m_end = 0;
    std::uint64_t m_lastSerial = 0; // the file of the last view, and where that ended
    std::uint64_t m_lastEnd = 0;
};
