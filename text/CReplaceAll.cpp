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
    m_notes.clear();
    Outcome outcome;
    const CWholeMapping whole = CFileOrder::MappedForPass(book);
    const std::size_t count = serials.empty() ? book.GetCount() : serials.size();
    for (std::size_t i = 0; i < count; ++i) {
        CNote* note = serials.empty() ? book.GetNoteAtIndex(i) : book.FindNote(serials[i]);
        if (note && !ReplaceIn(*note, replacer, outcome)) {
            outcome.stoppedAt = note->GetSerial();
            break;
        }
    }
    std::string().swap(m_scratch);
    if (outcome.notes > 0)
        book.SetModified();
    return outcome;
}

// A note's title and text change together or not at all.
bool CReplaceAll::ReplaceIn(CNote& note, CTextReplacer& replacer, Outcome& outcome)
{
    NoteStep step{note.GetSerial(), {}, {}, false, {}, {}, 0, 0};
    std::string title;
    std::size_t titleCount = 0;
    if (!replacer.ReplaceAll(note.GetTitle(), title, titleCount))
        return false;
    std::string& text = m_scratch;
    std::size_t textCount = 0;
    // A text still in the notebook's file is read into memory only when it changes.
    const std::string_view current = note.ReadText(m_stored);
    if (!replacer.ReplaceAll(current, text, textCount, &step.edits, &step.removed))
        return false;
    if (titleCount + textCount == 0)
        return true;
    if (titleCount > 0) {
        step.titleChanged = true;
        step.oldTitle = note.GetTitle();
        step.newTitle = title;
        note.SetTitle(std::move(title));
    }
    if (textCount > 0) {
        step.newTextSize = text.size();
        step.newTextHash = Hash(text);
        note.AssignText(text);
    } else {
        step.newTextSize = current.size();
        step.newTextHash = Hash(current);
    }
    step.edits.shrink_to_fit();
    step.removed.shrink_to_fit();
    m_notes.push_back(std::move(step));
    outcome.occurrences += static_cast<std::int64_t>(titleCount + textCount);
    ++outcome.notes;
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
    std::vector<std::int32_t> restored;
    skipped = 0;
    for (NoteStep& step : m_notes) {
        CNote* note = book.FindNote(step.serial);
        const bool unchanged = note && note->GetText().size() == step.newTextSize &&
                               Hash(note->GetText()) == step.newTextHash &&
                               (!step.titleChanged || note->GetTitle() == step.newTitle);
        if (!unchanged) {
            ++skipped;
            continue;
        }
        if (step.titleChanged)
            note->SetTitle(std::move(step.oldTitle));
        if (!step.edits.empty()) {
            m_scratch = CTextReplacer::Revert(note->GetText(), step.edits, step.removed);
            note->AssignText(m_scratch);
        }
        restored.push_back(step.serial);
    }
    m_notes.clear();
    std::string().swap(m_scratch);
    if (!restored.empty())
        book.SetModified();
    return restored;
}
