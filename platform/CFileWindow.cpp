#include "platform/CFileWindow.h"

#include "platform/CMappedFile.h"

#include <algorithm>

namespace {

// A view starting this close after the last one continues a pass in file order: texts skipped on
// the way are cheaper to copy than to jump with a read of its own.
constexpr std::uint64_t kNear = 1 << 20;
// What a read on its own copies: a page costs the system as much as a few bytes do.
constexpr std::size_t kAlone = 4096;

} // namespace

CFileWindow& CFileWindow::OfThisThread()
{
    thread_local CFileWindow window;
    return window;
}

const std::uint8_t* CFileWindow::View(const CMappedFile& file, std::uint64_t offset, std::size_t length)
{
    const std::uint64_t serial = file.GetSerial();
    const bool forward = serial == m_lastSerial && offset >= m_lastEnd && offset - m_lastEnd <= kNear;
    m_lastSerial = serial;
    m_lastEnd = offset + length;
    if (Holds(serial, offset, length))
        return m_bytes.get() + (offset - m_begin);
    if (length > kSize || file.IsMappedWhole())
        return file.GetData() + offset;
    // A pass in file order reads a window ahead; a read on its own, as notes taken in another
    // order are, only what it needs.
    Fill(file, serial, offset, forward ? kSize : std::max(length, kAlone));
    return m_bytes.get();
}

void CFileWindow::LetGo(const CMappedFile& file, std::uint64_t offset, std::size_t length)
{
    if (length > kSize)
        file.Release(offset, length);
}

void CFileWindow::Fill(const CMappedFile& file, std::uint64_t serial, std::uint64_t offset,
                       std::size_t wanted)
{
    if (!m_bytes)
        m_bytes = std::make_unique<std::uint8_t[]>(kSize);
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, file.GetSize() - offset));
    file.ReadAt(offset, m_bytes.get(), count);
    m_heldSerial = serial;
    m_begin = offset;
    m_end = offset + count;
}
