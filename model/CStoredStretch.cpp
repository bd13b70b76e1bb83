#include "model/CStoredStretch.h"

#include "model/CByteBuffer.h"
#include "model/CNote.h"
#include "model/CRecordBody.h"
#include "model/CStoredNotes.h"
#include "platform/CFileWindow.h"
#include "platform/CMappedFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

// A record's serial and body length.
constexpr std::uint64_t kHead = 8;
// How often a walk waiting for a stretch reports its progress.
constexpr auto kReportEvery = std::chrono::milliseconds(20);

bool DecipheredZero(const CMappedFile& file, std::uint64_t body, std::uint32_t place)
{
    std::uint8_t byte = 1;
    CByteBuffer::DecipherAt(CFileWindow::OfThisThread().View(file, body + place, 1), 1, place, &byte,
                            kNoteBookKey);
    return byte == 0;
}

// Both strings end at the last byte of their fields, as the writer writes them.
bool EndsAsWritten(const CMappedFile& file, const TextInFile& stored)
{
    return DecipheredZero(file, stored.body, stored.textPlace - sizeof(std::uint32_t) - 1) &&
           DecipheredZero(file, stored.body, stored.bodyLength - 1);
}

} // namespace

CStoredStretch::CStoredStretch(const CMappedFile& file, std::uint64_t from, std::uint64_t to, bool hashes)
    : m_file(file), m_from(from), m_to(to), m_hashesWanted(hashes)
{
}

CStoredStretch::~CStoredStretch() = default;

bool CStoredStretch::Claim()
{
    std::uint8_t pending = kPending;
    return m_state.compare_exchange_strong(pending, kClaimed);
}

bool CStoredStretch::Reached()
{
    std::uint8_t state = kPending;
    return !m_state.compare_exchange_strong(state, kPassed) && state == kClaimed;
}

void CStoredStretch::Wait(const std::function<void()>& report)
{
    try {
        std::unique_lock lock(m_mutex);
        while (!m_done.wait_for(lock, kReportEvery, [this] { return m_finished; })) {
            lock.unlock();
            report();
            lock.lock();
        }
    } catch (...) {
        m_stop = true;
        throw;
    }
}

std::optional<std::size_t> CStoredStretch::Find(std::uint64_t place) const
{
    const auto at = std::lower_bound(m_records.begin(), m_records.end(), place,
                                     [](const Record& record, std::uint64_t p) { return record.place < p; });
    if (at == m_records.end() || at->place != place)
        return std::nullopt;
    return static_cast<std::size_t>(at - m_records.begin());
}

bool CStoredStretch::ReadsAsWritten(std::uint64_t place, TextInFile& stored) const
{
    const std::uint64_t size = m_file.GetSize();
    if (place > size || size - place < kHead)
        return false;
    std::uint32_t length = 0;
    std::memcpy(&length,
                CFileWindow::OfThisThread().View(m_file, place + sizeof(std::int32_t), sizeof length),
                sizeof length);
    const std::uint64_t body = place + kHead;
    if (length > size - body)
        return false;
    CRecordBody fields(m_file, body, length);
    CRecordBody::Field title;
    CRecordBody::Field text;
    if (!fields.NextField(title) || !fields.NextField(text) || !fields.AtEnd())
        return false;
    stored = TextInFile();
    stored.file = &m_file;
    stored.body = body;
    stored.bodyLength = length;
    stored.textPlace = text.place;
    stored.textLength = text.count;
    stored.plain = true;
    return true;
}

bool CStoredStretch::BeginsRecords(std::uint64_t place) const
{
    for (int i = 0; i < kRecordsToBegin; ++i) {
        if (i > 0 && place == m_file.GetSize())
            return true;
        TextInFile stored;
        if (!ReadsAsWritten(place, stored) || !EndsAsWritten(m_file, stored))
            return false;
        place = stored.body + stored.bodyLength;
    }
    return true;
}

std::optional<std::uint64_t> CStoredStretch::FindFirstRecord() const
{
    const std::uint64_t end = std::min(m_to, m_file.GetSize());
    for (std::uint64_t place = m_from; place < end && !m_stop.load(std::memory_order_relaxed); ++place)
        if (BeginsRecords(place))
            return place;
    return std::nullopt;
}

// Each record as the walk from the start reads one with a title and a text; the stretch ends before
// any other, and before a text the walk would refuse, which the walk then meets itself.
void CStoredStretch::ReadRecords(std::uint64_t place, CBatchMemory* room)
{
    CTextCodec fromWindows1252(CTextCodec::fromWindows1252);
    std::string bytes;
    std::string converted;
    TextInFile stored;
    m_end = place;
    while (place < m_to && !m_stop.load(std::memory_order_relaxed) && ReadsAsWritten(place, stored)) {
        std::unique_ptr<CNote> note(new (room) CNote(CNote::Unnumbered{}));
        note->SetStoredText(stored);
        StoredTextHash hash;
        const bool windows1252 = CStoredNotes::ClassText(*note, fromWindows1252, bytes, converted,
                                                         m_hashesWanted ? &hash : nullptr);
        if (m_hashesWanted)
            m_hashes.push_back(hash);
        m_records.push_back({place, std::move(note)});
        if (windows1252)
            m_lastWindows1252 = m_records.size() - 1;
        place = stored.body + stored.bodyLength;
        m_end = place;
        m_read.store(m_records.size(), std::memory_order_relaxed);
    }
}

void CStoredStretch::ReadAside(CBatchMemory* room)
{
    try {
        if (const std::optional<std::uint64_t> first = FindFirstRecord()) {
            m_first.store(*first, std::memory_order_release);
            ReadRecords(*first, room);
        }
    } catch (...) {
        // What was read in full stands; the walk meets whatever stopped the stretch itself.
        if (m_hashesWanted)
            m_hashes.resize(std::min(m_hashes.size(), m_records.size()));
    }
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_all();
}
