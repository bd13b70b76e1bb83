#include "text/CNoteSearch.h"

#include "model/CFileOrder.h"
#include "model/CNoteBook.h"
#include "model/CaseFold.h"
#include "model/NoteChanges.h"
#include "platform/HugePageAllocator.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <vector>

namespace {

// Filled once a press and let go: at a million notes, fresh memory worth avoiding page by page.
using Counts = std::vector<std::uint32_t, HugePageAllocator<std::uint32_t>>;

// The occurrences in each note, its title counting once. The scan is bound by reading memory, so
// both cores share it while the window waits; neither changes anything. They take the notes in
// runs from one counter, so that a core the system lends elsewhere for a moment holds nobody up.
// The notes are visited in the order their texts lie in the file; a sorted list's would read each
// text with a call of its own.
Counts CountPerNote(const CNoteBook& noteBook, const CNoteFinder& finder,
                    const HugePageArray<std::uint32_t>& fileOrder)
{
    Counts counts(noteBook.GetCount());
    constexpr std::size_t kRun = 2048;
    std::atomic<std::size_t> nextRun{0};
    const auto noteAt = [&](std::size_t visit) {
        return fileOrder.size() == 0 ? visit : static_cast<std::size_t>(fileOrder[visit]);
    };
    // Notes sorted or moved lie anywhere in memory: the next ones are fetched while this one is
    // scanned.
    // A text still in the notebook's file is counted where it lies when it is ASCII, and
    // deciphered into scratch otherwise; neither is kept.
    const auto countRange = [&](CNoteFinder& find, std::string& scratch, std::size_t from, std::size_t to) {
        for (std::size_t visit = from; visit < to; ++visit) {
            if (visit + 8 < to)
                __builtin_prefetch(noteBook.GetNoteAtIndex(noteAt(visit + 8)));
            if (visit + 4 < to) {
                const CNote& ahead = *noteBook.GetNoteAtIndex(noteAt(visit + 4));
                __builtin_prefetch(ahead.GetTitle().data());
                if (!ahead.HasStoredText())
                    __builtin_prefetch(ahead.GetText().data());
            }
            const std::size_t i = noteAt(visit);
            const CNote& note = *noteBook.GetNoteAtIndex(i);
            CNote::StoredAscii stored;
            const std::size_t inText =
                note.ViewStoredAscii(stored) ? find.Count(stored) : find.Count(note.ReadText(scratch));
            counts[i] = (find.Contains(note.GetTitle()) ? 1u : 0u) + static_cast<std::uint32_t>(inText);
        }
    };
    const auto countRuns = [&] {
        CNoteFinder find = finder; // each thread folds into its own buffers
        std::string scratch;
        for (;;) {
            const std::size_t from = nextRun.fetch_add(kRun, std::memory_order_relaxed);
            if (from >= counts.size())
                return;
            countRange(find, scratch, from, std::min(from + kRun, counts.size()));
        }
    };
    if (counts.size() <= kRun) {
        countRuns();
        return counts;
    }
    auto helper = std::async(std::launch::async, countRuns);
    countRuns();
    helper.get();
    return counts;
}

} // namespace

bool CNoteSearch::SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(static_cast<unsigned char>(x)) == FoldCase(static_cast<unsigned char>(y));
           });
}

int CNoteSearch::Search(CNoteBook* noteBook, const std::string& text)
{
    const std::uint64_t identity = noteBook ? noteBook->GetIdentity() : 0;
    const bool repeat = identity == m_lastNoteBook && SameTextIgnoringCase(text, m_lastText);
    m_lastNoteBook = identity;
    m_lastText = text;
    m_finder.SetPattern(text);
    if (!noteBook) {
        m_count = m_index = 0;
        return 0;
    }
    // The same occurrences as last time when nothing changed: the repeat test folds as the match does.
    const bool unchanged = repeat && m_countedAt == noteBook->GetChangeCount();
    const std::size_t next = repeat ? m_index + 1 : 0;
    if (!unchanged) {
        // Asked once per count: texts still in a file another program changed then read as lost.
        noteBook->StoredTextsIntact();
        CountAndLocate(*noteBook, next);
    } else if (m_count > 0 && !StepForward(*noteBook))
        LocateFirst(*noteBook);
    m_countedAt = noteBook->GetChangeCount();

    if (m_count > 0 && repeat && next >= m_count)
        AfxMessageBox("End of search results reached.  Starting over", MB_OK | MB_ICONINFORMATION);
    return static_cast<int>(m_count);
}

void CNoteSearch::CountAndLocate(const CNoteBook& noteBook, std::size_t place)
{
    const Counts counts = CountPerNote(noteBook, m_finder, FileOrder(noteBook));
    m_count = 0;
    std::size_t located = counts.size();
    std::size_t before = 0; // occurrences ahead of the located note
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (located == counts.size() && m_count + counts[i] > place) {
            located = i;
            before = m_count;
        }
        m_count += counts[i];
    }
    if (m_count == 0)
        return;
    if (located == counts.size()) {
        LocateFirst(noteBook);
        return;
    }
    LocateFrom(noteBook, located, true, 0);
    for (m_index = before; m_index < place;)
        if (!StepForward(noteBook))
            break;
}

const HugePageArray<std::uint32_t>& CNoteSearch::FileOrder(const CNoteBook& noteBook)
{
    const std::uint64_t signature = CFileOrder::Signature(noteBook);
    // The count is in the signature too; asked again since an order of another length would
    // visit notes that are not there.
    if (noteBook.GetIdentity() != m_fileOrderBook || signature != m_fileOrderSignature ||
        (m_fileOrder.size() != 0 && m_fileOrder.size() != noteBook.GetCount())) {
        m_fileOrder = CFileOrder::Of(noteBook);
        m_fileOrderBook = noteBook.GetIdentity();
        m_fileOrderSignature = signature;
    }
    return m_fileOrder;
}

bool CNoteSearch::StepForward(const CNoteBook& noteBook)
{
    const int from = m_current.kind == SearchHit::Title ? 0 : m_current.position + 1;
    if (!LocateFrom(noteBook, m_noteIndex, false, from))
        return false;
    ++m_index;
    return true;
}

void CNoteSearch::LocateFirst(const CNoteBook& noteBook)
{
    LocateFrom(noteBook, 0, true, 0);
    m_index = 0;
}

bool CNoteSearch::LocateFrom(const CNoteBook& noteBook, std::size_t noteIndex, bool withTitle, int textFrom)
{
    for (std::size_t i = noteIndex; i < noteBook.GetCount(); ++i, withTitle = true, textFrom = 0) {
        const CNote& note = *noteBook.GetNoteAtIndex(i);
        if (withTitle && m_finder.Contains(note.GetTitle())) {
            SetCurrent(note, i, SearchHit::Title, 0, 0);
            return true;
        }
        int length = 0;
        const int at = m_finder.Find(note.GetText(), textFrom, length);
        if (at >= 0) {
            SetCurrent(note, i, SearchHit::Text, at, length);
            return true;
        }
    }
    return false;
}

void CNoteSearch::SetCurrent(const CNote& note, std::size_t noteIndex, SearchHit::Kind kind, int position,
                             int length)
{
    m_current = {kind, position, note.GetSerial(), length};
    m_noteIndex = noteIndex;
}
