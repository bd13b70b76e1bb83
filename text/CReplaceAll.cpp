#include "text/CReplaceAll.h"

#include "model/CFileOrder.h"
#include "model/CNoteBook.h"

#include <functional>
#include <string_view>

namespace {

std::size_t Hash(std::string_view text)
{
    return std::hash<std::string_view>()(text);
}

void PutNumber(std::string& out, std::size_t n)
{
    while (n >= 0x80) {
        out += static_cast<char>((n & 0x7f) | 0x80);
        n >>= 7;
    }
    out += static_cast<char>(n);
}

std::size_t TakeNumber(const std::string& in, std::size_t& at)
{
    std::size_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(in[at++]);
        n |= static_cast<std::size_t>(byte & 0x7f) << shift;
        if (byte < 0x80)
            return n;
    }
}

} // namespace

CReplaceAll::Outcome CReplaceAll::Run(CNoteBook& book, CTextReplacer& replacer,
                                      const std::vector<std::int32_t>& serials)
{
    Start(book, serials);
    while (Continue(book, replacer, m_total)) {
    }
    return Finish(book);
}

void CReplaceAll::Start(const CNoteBook& book, std::vector<std::int32_t> serials)
{
    m_previous = std::move(m_record);
    m_record = {};
    m_lastRemoved.clear();
    m_sweepAfter = book.GetTextFileCount() > 0;
    m_serials = std::move(serials);
    m_total = m_serials.empty() ? book.GetCount() : m_serials.size();
    m_next = 0;
    m_passing = true;
    m_undoing = false;
    m_outcome = {};
    // Every listed note holds an occurrence, so most of them change.
    m_record.notes.reserve(m_serials.size());
    m_whole.emplace(CFileOrder::MappedForPass(book));
}

bool CReplaceAll::Continue(CNoteBook& book, CTextReplacer& replacer, std::size_t notes)
{
    const std::size_t end = std::min(m_total, m_next + notes);
    for (; m_next < end && m_outcome.stoppedAt < 0; ++m_next) {
        CNote* note = m_serials.empty() ? book.GetNoteAtIndex(m_next) : book.FindNote(m_serials[m_next]);
        if (note && !ReplaceIn(book, *note, replacer))
            m_outcome.stoppedAt = note->GetSerial();
    }
    return m_next < m_total && m_outcome.stoppedAt < 0;
}

CReplaceAll::Outcome CReplaceAll::Finish(CNoteBook& book)
{
    m_spill.Settle(book);
    // Texts this pass changed again no longer read from the files an earlier one left.
    if (m_sweepAfter)
        book.SweepTextFiles();
    EndPass();
    m_previous = {};
    m_record.edits.shrink_to_fit();
    m_record.removed.shrink_to_fit();
    if (m_outcome.notes > 0)
        book.SetModified();
    return m_outcome;
}

void CReplaceAll::EndPass()
{
    m_passing = false;
    m_next = m_total = 0;
    m_spill.Abandon();
    m_whole.reset();
    std::vector<std::int32_t>().swap(m_serials);
    std::vector<CTextReplacer::Edit>().swap(m_noteEdits);
    std::string().swap(m_scratch);
    std::string().swap(m_stored);
}

void CReplaceAll::Forget()
{
    EndPass();
    m_undoing = false;
    m_record = {};
    m_previous = {};
    m_restored = {};
}

// A note's title and text change together or not at all.
bool CReplaceAll::ReplaceIn(CNoteBook& book, CNote& note, CTextReplacer& replacer)
{
    std::string title;
    std::size_t titleCount = 0;
    if (!replacer.ReplaceAll(note.GetTitle(), title, titleCount))
        return false;
    const std::size_t removedBefore = m_record.removed.size();
    std::string& text = m_scratch;
    std::size_t textCount = 0;
    m_noteEdits.clear();
    // A text still in the notebook's file is read into memory only when it changes.
    const std::string_view current = note.ReadText(m_stored);
    if (!replacer.ReplaceAll(current, text, textCount, &m_noteEdits, &m_record.removed)) {
        m_record.removed.resize(removedBefore);
        return false;
    }
    if (titleCount + textCount == 0)
        return true;
    const std::size_t editsBefore = m_record.edits.size();
    Keep(m_noteEdits, removedBefore);
    NoteStep step{note.GetSerial(),      -1, m_record.edits.size() - editsBefore, 0, note.GetTitleCodePage(),
                  note.GetTextCodePage()};
    if (titleCount > 0) {
        step.title = static_cast<std::int32_t>(m_record.titles.size());
        m_record.titles.emplace_back(note.GetTitle(), title);
        note.SetTitle(std::move(title));
    }
    step.newTextHash = Hash(textCount > 0 ? std::string_view(text) : current);
    if (textCount > 0)
        m_spill.Assign(book, note, text, current);
    m_record.notes.push_back(step);
    m_outcome.occurrences += static_cast<std::int64_t>(titleCount + textCount);
    ++m_outcome.notes;
    return true;
}

void CReplaceAll::Keep(const std::vector<CTextReplacer::Edit>& edits, std::size_t removedFrom)
{
    std::string& removed = m_record.removed;
    std::size_t end = 0;
    std::size_t read = removedFrom;
    std::size_t kept = removedFrom;
    for (const CTextReplacer::Edit& edit : edits) {
        const std::string_view taken = std::string_view(removed).substr(read, edit.oldLength);
        read += edit.oldLength;
        const bool repeated = taken == m_lastRemoved;
        if (!repeated) {
            m_lastRemoved.assign(taken);
            removed.replace(kept, taken.size(), m_lastRemoved);
            kept += taken.size();
        }
        PutNumber(m_record.edits, edit.start - end);
        PutNumber(m_record.edits, edit.newLength);
        PutNumber(m_record.edits, edit.oldLength * 2 + (repeated ? 1 : 0));
        end = edit.start + edit.newLength;
    }
    removed.resize(kept);
}

void CReplaceAll::Unpack(const NoteStep& step)
{
    m_noteEdits.clear();
    m_noteRemoved.clear();
    std::size_t& at = m_undo.edits;
    const std::size_t stop = at + step.editBytes;
    std::size_t end = 0;
    while (at < stop) {
        CTextReplacer::Edit edit{};
        edit.start = end + TakeNumber(m_record.edits, at);
        edit.newLength = TakeNumber(m_record.edits, at);
        const std::size_t old = TakeNumber(m_record.edits, at);
        edit.oldLength = old / 2;
        if (old % 2 == 0) {
            m_undo.lastRemoved.assign(m_record.removed, m_undo.removed, edit.oldLength);
            m_undo.removed += edit.oldLength;
        }
        m_noteRemoved += m_undo.lastRemoved;
        end = edit.start + edit.newLength;
        m_noteEdits.push_back(edit);
    }
}

CReplaceAll::Outcome CReplaceAll::Count(const CNoteBook& book, CTextMatcher& matcher)
{
    Outcome outcome;
    std::string scratch;
    const CWholeMapping whole = CFileOrder::MappedForPass(book);
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        std::int64_t found = 0;
        const auto count = [&found](std::size_t, std::size_t) {
            ++found;
            return true;
        };
        if (!matcher.ForEachMatch(note.GetTitle(), count) ||
            !matcher.ForEachMatch(note.ReadText(scratch), count)) {
            outcome.stoppedAt = note.GetSerial();
            break;
        }
        outcome.occurrences += found;
        outcome.notes += found > 0;
    }
    return outcome;
}

std::vector<std::int32_t> CReplaceAll::Undo(CNoteBook& book, std::size_t& skipped)
{
    StartUndo(book);
    while (ContinueUndo(book, m_record.notes.size())) {
    }
    return FinishUndo(book, skipped);
}

void CReplaceAll::StartUndo(CNoteBook& book)
{
    // A pass cancelled: the notes of its last batch take their new texts first.
    m_spill.Settle(book);
    m_undoing = true;
    m_undo = {};
    m_restored.clear();
    m_skipped = 0;
}

bool CReplaceAll::IsUnchangedSince(const CNote& note, std::string_view text, const NoteStep& step)
{
    if (step.title >= 0 && note.GetTitle() != m_record.titles[static_cast<std::size_t>(step.title)].second)
        return false;
    return Hash(text) == step.newTextHash;
}

bool CReplaceAll::ContinueUndo(CNoteBook& book, std::size_t notes)
{
    const std::size_t end = std::min(m_record.notes.size(), m_undo.note + notes);
    for (; m_undo.note < end; ++m_undo.note) {
        const NoteStep& step = m_record.notes[m_undo.note];
        Unpack(step);
        CNote* note = book.FindNote(step.serial);
        const std::string_view current = note ? note->ReadText(m_stored) : std::string_view();
        if (!note || !IsUnchangedSince(*note, current, step)) {
            ++m_skipped;
            continue;
        }
        if (step.title >= 0)
            note->SetTitle(std::move(m_record.titles[static_cast<std::size_t>(step.title)].first));
        if (!m_noteEdits.empty()) {
            m_scratch = CTextReplacer::Revert(current, m_noteEdits.data(), m_noteEdits.size(), m_noteRemoved);
            note->AssignText(m_scratch, current);
        }
        // The strings are as they were read, so they go back to the file as they came.
        note->SetCodePages(step.titleCodePage, step.textCodePage);
        m_restored.push_back(step.serial);
    }
    return m_undo.note < m_record.notes.size();
}

std::vector<std::int32_t> CReplaceAll::FinishUndo(CNoteBook& book, std::size_t& skipped)
{
    std::vector<std::int32_t> restored = std::move(m_restored);
    skipped = m_skipped;
    // The texts put back are in memory again.
    book.SweepTextFiles();
    if (m_passing) {
        Record previous = std::move(m_previous);
        Forget();
        m_record = std::move(previous);
        return restored;
    }
    Forget();
    if (!restored.empty())
        book.SetModified();
    return restored;
}
