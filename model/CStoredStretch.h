#pragma once

#include "model/TextHash.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CBatchMemory;
class CMappedFile;
class CNote;
struct TextInFile;

// A stretch of a notebook file's records read on another thread while the records before it are
// read, unless the walk from the first record reaches it first. Only the walk from the first record can tell
// where records begin; the stretch finds the first place at or after its start where a few records in a row
// read as the writer writes them, and reads on from there as that walk would, into notes of its own, until a
// record begins at or after its end. The walk takes its notes from the first record it lands on, and reads
// the rest of the file itself from wherever the stretch stopped.
class CStoredStretch
{
public:
    // Each text hashed as it is classed with hashes.
    CStoredStretch(const CMappedFile& file, std::uint64_t from, std::uint64_t to, bool hashes);
    ~CStoredStretch();
    CStoredStretch(const CStoredStretch&) = delete;
    CStoredStretch& operator=(const CStoredStretch&) = delete;

    // For a thread that would read it: whether the walk has not reached it, and it is now the
    // thread's to read (ReadAside), its notes in a slot of room while it has one.
    bool Claim();
    void ReadAside(CBatchMemory* room);
    // For the walk on reaching it: whether a thread claimed it. If none did, none will.
    bool Reached();
    std::uint64_t From() const { return m_from; }
    // Where its first record begins, once it has found one.
    std::optional<std::uint64_t> First() const
    {
        const std::uint64_t first = m_first.load(std::memory_order_acquire);
        return first == kNone ? std::nullopt : std::optional<std::uint64_t>(first);
    }
    // Stops it between two records; the walk reads the stretch itself.
    void Stop() { m_stop = true; }
    // Records read so far, for the walk's progress.
    std::size_t Progress() const { return m_read.load(std::memory_order_relaxed); }
    // Once claimed: waits until the stretch is read, calling report every few milliseconds meanwhile;
    // whatever report raises stops the stretch and passes on.
    void Wait(const std::function<void()>& report);

    // After Wait: the index of the record that begins at place, if the stretch read one there.
    std::optional<std::size_t> Find(std::uint64_t place) const;
    // After Wait: whether the stretch read records only before place.
    bool EndsBefore(std::uint64_t place) const { return m_records.empty() || m_records.back().place < place; }
    std::size_t GetCount() const { return m_records.size(); }
    // Where the record after record index begins.
    std::uint64_t GetEnd(std::size_t index) const
    {
        return index + 1 < m_records.size() ? m_records[index + 1].place : m_end;
    }
    std::unique_ptr<CNote> TakeNote(std::size_t index) { return std::move(m_records[index].note); }
    const StoredTextHash& GetHash(std::size_t index) const { return m_hashes[index]; }
    // Whether a string of the records from index on is in Windows-1252.
    bool FoundWindows1252From(std::size_t index) const
    {
        return m_lastWindows1252 && *m_lastWindows1252 >= index;
    }

private:
    // Records in a row that must read as the writer writes them where the stretch begins.
    static constexpr int kRecordsToBegin = 4;

    struct Record
    {
        std::uint64_t place = 0;
        std::unique_ptr<CNote> note;
    };
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    enum : std::uint8_t
    {
        kPending,
        kClaimed,
        kPassed
    };

    std::optional<std::uint64_t> FindFirstRecord() const;
    bool BeginsRecords(std::uint64_t place) const;
    void ReadRecords(std::uint64_t place, CBatchMemory* room);
    // Whether the record at place reads as the writer writes it (a title field and a text field
    // that fill the body); fills where its fields lie.
    bool ReadsAsWritten(std::uint64_t place, TextInFile& stored) const;

    const CMappedFile& m_file;
    const std::uint64_t m_from;
    const std::uint64_t m_to;
    const bool m_hashesWanted;
    std::vector<Record> m_records;
    std::vector<StoredTextHash> m_hashes;
    std::optional<std::size_t> m_lastWindows1252;
    std::uint64_t m_end = 0;
    std::atomic<std::uint64_t> m_first{kNone};
    std::atomic<std::size_t> m_read{0};
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint8_t> m_state{kPending};
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
};
