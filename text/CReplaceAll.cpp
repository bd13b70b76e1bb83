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
    m_serials = std::move(serials);
    m_total = m_serials.empty() ? book.GetCount() : m_serials.size();
    m_next = 0;
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
        if (note && !ReplaceIn(*note, replacer))
            m_outcome.stoppedAt = note->GetSerial();
    }
    return m_next < m_total && m_outcome.stoppedAt < 0;
}

CReplaceAll::Outcome CReplaceAll::Finish(CNoteBook& book)
{
    m_whole.reset();
    std::vector<std::int32_t>().swap(m_serials);
    std::string().swap(m_scratch);
    std::string().swap(m_stored);
    m_previous = {};
    if (m_outcome.notes > 0)
        book.SetModified();
    return m_outcome;
}

void CReplaceAll::Abandon(CNoteBook& book)
{
    m_whole.reset();
    std::size_t skipped = 0;
    Restore(book, skipped);
    Record previous = std::move(m_previous);
    Forget();
    m_record = std::move(previous);
}

void CReplaceAll::Forget()
{
    m_whole.reset();
    m_next = m_total = 0;
    std::vector<std::int32_t>().swap(m_serials);
    m_record = {};
    m_previous = {};
    std::string().swap(m_scratch);
    std::string().swap(m_stored);
}

// A note's title and text change together or not at all.
bool CReplaceAll::ReplaceIn(CNote& note, CTextReplacer& replacer)
{
    std::string title;
    std::size_t titleCount = 0;
    if (!replacer.ReplaceAll(note.GetTitle(), title, titleCount))
        return false;
    const std::size_t editsBefore = m_record.edits.size();
    const std::size_t removedBefore = m_record.removed.size();
    std::string& text = m_scratch;
    std::size_t textCount = 0;
    // A text still in the notebook's file is read into memory only when it changes.
    const std::string_view current = note.ReadText(m_stored);
    if (!replacer.ReplaceAll(current, text, textCount, &m_record.edits, &m_record.removed)) {
        m_record.edits.resize(editsBefore);
        m_record.removed.resize(removedBefore);
        return false;
    }
    if (titleCount + textCount == 0)
        return true;
    NoteStep step{
        note.GetSerial(),      -1, m_record.edits.size() - editsBefore, 0, 0, note.GetTitleCodePage(),
        note.GetTextCodePage()};
    if (titleCount > 0) {
        step.title = static_cast<std::int32_t>(m_record.titles.size());
        m_record.titles.emplace_back(note.GetTitle(), title);
        note.SetTitle(std::move(title));
    }
    const std::string_view now = textCount > 0 ? std::string_view(text) : current;
    step.newTextSize = now.size();
    step.newTextHash = Hash(now);
    if (textCount > 0)
        note.AssignText(text);
    m_record.notes.push_back(step);
    m_outcome.occurrences += static_cast<std::int64_t>(titleCount + textCount);
    ++m_outcome.notes;
    return true;
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
    std::vector<std::int32_t> restored = Restore(book, skipped);
    Forget();
    if (!restored.empty())
        book.SetModified();
    return restored;
}

bool CReplaceAll::IsUnchangedSince(const CNote& note, const NoteStep& step)
{
    if (step.title >= 0 && note.GetTitle() != m_record.titles[static_cast<std::size_t>(step.title)].second)
        return false;
    const std::string_view text = note.ReadText(m_stored);
    return text.size() == step.newTextSize && Hash(text) == step.newTextHash;
}

std::vector<std::int32_t> CReplaceAll::Restore(CNoteBook& book, std::size_t& skipped)
{
    std::vector<std::int32_t> restored;
    skipped = 0;
    const CTextReplacer::Edit* edits = m_record.edits.data();
    std::size_t removed = 0;
    for (const NoteStep& step : m_record.notes) {
        std::size_t taken = 0;
        for (std::size_t i = 0; i < step.edits; ++i)
            taken += edits[i].oldLength;
        CNote* note = book.FindNote(step.serial);
        if (!note || !IsUnchangedSince(*note, step)) {
            ++skipped;
        } else {
            if (step.title >= 0)
                note->SetTitle(std::move(m_record.titles[static_cast<std::size_t>(step.title)].first));
            if (step.edits > 0) {
                m_scratch = CTextReplacer::Revert(note->GetText(), edits, step.edits,
                                                  std::string_view(m_record.removed).substr(removed, taken));
                note->AssignText(m_scratch);
            }
            // The strings are as they were read, so they go back to the file as they came.
            note->SetCodePages(step.titleCodePage, step.textCodePage);
            restored.push_back(step.serial);
        }
        edits += step.edits;
        removed += taken;
    }
    return restored;
}
