#include "model/CStoredBodies.h"

#include "model/CNoteBook.h"
#include "platform/CMappedFile.h"

#include <algorithm>

namespace {

// Bodies this close in the file are read together: skipping the bytes between costs more.
constexpr std::uint64_t kNear = 512;
// A longer body is left to the note, which reads it from the mapping and lets go of it.
constexpr std::uint32_t kLongest = 1 << 20;

} // namespace

std::size_t CStoredBodies::Read(const CNoteBook& book, std::size_t first, std::size_t last)
{
    m_first = first;
    m_wanted.clear();
    std::size_t bytes = 0;
    std::size_t end = first;
    for (; end < last && (end == first || bytes < m_budget); ++end) {
        const CNote& note = *book.GetNoteAtIndex(end);
        if (!note.HasStoredText() || note.GetStoredText().bodyLength > kLongest ||
            !note.CopiesStored(book.CodePageFor(note.GetTitleCodePage()),
                               book.CodePageFor(note.GetTextCodePage()))) {
            // Written from elsewhere, but the run's to write all the same.
            bytes += note.GetTextSize();
            continue;
        }
        const TextInFile& stored = note.GetStoredText();
        m_wanted.push_back(
            {stored.file, stored.body, stored.bodyLength, static_cast<std::uint32_t>(end - first)});
        bytes += stored.bodyLength + kNear;
    }
    m_found.assign(end - first, nullptr);
    ReadInFileOrder();
    return end;
}

const std::uint8_t* CStoredBodies::Find(std::size_t index) const
{
    return index >= m_first && index - m_first < m_found.size() ? m_found[index - m_first] : nullptr;
}

bool CStoredBodies::FilesIntact() const
{
    for (std::size_t i = 0; i < m_wanted.size(); ++i)
        if ((i == 0 || m_wanted[i].file != m_wanted[i - 1].file) && !m_wanted[i].file->WasIntact())
            return false;
    return true;
}

// Neighbours in the file make one stretch of the memory and one read.
void CStoredBodies::ReadInFileOrder()
{
    if (m_wanted.empty())
        return;
    std::sort(m_wanted.begin(), m_wanted.end(), [](const Wanted& a, const Wanted& b) {
        return a.file != b.file ? a.file < b.file : a.offset < b.offset;
    });
    std::vector<std::size_t> at(m_wanted.size());
    std::size_t size = 0;
    std::uint64_t end = 0;
    for (std::size_t i = 0; i < m_wanted.size(); ++i) {
        const Wanted& w = m_wanted[i];
        if (i == 0 || w.file != m_wanted[i - 1].file || w.offset > end + kNear || w.offset < end)
            end = w.offset;
        size += w.offset + w.length - end;
        at[i] = size - w.length;
        end = w.offset + w.length;
    }
    m_bytes.resize(size);
    for (std::size_t i = 0; i < m_wanted.size();) {
        std::size_t j = i + 1;
        while (j < m_wanted.size() && m_wanted[j].file == m_wanted[i].file &&
               at[j] == at[j - 1] + (m_wanted[j].offset - m_wanted[j - 1].offset))
            ++j;
        m_wanted[i].file->ReadAt(m_wanted[i].offset, m_bytes.data() + at[i],
                                 at[j - 1] + m_wanted[j - 1].length - at[i]);
        for (; i < j; ++i)
            m_found[m_wanted[i].place] = m_bytes.data() + at[i];
    }
}
