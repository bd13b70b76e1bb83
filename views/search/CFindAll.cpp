#include "views/search/CFindAll.h"

#include "model/CNoteBook.h"
#include "views/search/TextLines.h"

#include <algorithm>

CFindAll::CFindAll(TextSource textOf) : m_textOf(std::move(textOf)) {}

std::string_view CFindAll::TextOf(const CNote& note) const
{
    return m_textOf ? m_textOf(note) : std::string_view(note.GetText());
}

bool CFindAll::Start(const std::string& pattern, const CTextMatcher::Options& options)
{
    Clear();
    if (!m_matcher.Compile(pattern, options))
        return false;
    m_state = State::Running;
    return true;
}

void CFindAll::Clear()
{
    m_state = State::Idle;
    m_next = 0;
    m_results.clear();
    m_results.shrink_to_fit();
    m_occurrences = 0;
    m_stoppedAt = -1;
}

CFindAll::State CFindAll::Step(const CNoteBook& book, Clock::time_point deadline)
{
    if (m_state != State::Running)
        return m_state;
    const std::size_t count = book.GetCount();
    do {
        if (m_next >= count) {
            m_state = State::Finished;
            m_results.shrink_to_fit(); // the growth's spare room would hold as much again
            break;
        }
        const CNote& note = *book.GetNoteAtIndex(m_next);
        FindAllResult result;
        if (!MatchNote(note, static_cast<std::int32_t>(m_next), result)) {
            m_stoppedAt = note.GetSerial();
            m_state = State::LimitReached;
            break;
        }
        ++m_next;
        if (result.count > 0) {
            m_results.push_back(result);
            m_occurrences += result.count;
        }
    } while (Clock::now() < deadline);
    return m_state;
}

bool CFindAll::MatchNote(const CNote& note, std::int32_t index, FindAllResult& result)
{
    result = FindAllResult{note.GetSerial(), index, 0, {}};
    const bool inTitle = m_matcher.ForEachMatch(note.GetTitle(), [&](std::size_t start, std::size_t end) {
        if (result.count++ == 0)
            result.first = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end), 0};
        return true;
    });
    const std::string_view text = TextOf(note);
    const bool inText = inTitle && m_matcher.ForEachMatch(text, [&](std::size_t start, std::size_t end) {
        if (result.count++ == 0)
            result.first = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end),
                            static_cast<std::uint32_t>(LineNumberAt(text, start))};
        return true;
    });
    return inTitle && inText;
}

bool CFindAll::FindOccurrences(const CNote& note, std::vector<FindAllOccurrence>& occurrences)
{
    occurrences.clear();
    const bool inTitle = m_matcher.ForEachMatch(note.GetTitle(), [&](std::size_t start, std::size_t end) {
        occurrences.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end), 0});
        return true;
    });
    if (!inTitle)
        return false;
    const std::string_view text = TextOf(note);
    // Lines are counted on from the previous occurrence, so the note is read once.
    std::size_t counted = 0;
    int line = 1;
    return m_matcher.ForEachMatch(text, [&](std::size_t start, std::size_t end) {
        line += LineNumberAt(text.substr(counted), start - counted) - 1;
        counted = start;
        occurrences.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end),
                               static_cast<std::uint32_t>(line)});
        return true;
    });
}

bool CFindAll::FindFirst(const CNote& note, FindAllOccurrence& first)
{
    FindAllResult result;
    MatchNote(note, 0, result);
    first = result.first;
    return result.count > 0;
}

CFindAll::Change CFindAll::PlanRefresh(const CNoteBook& book, std::int32_t serial)
{
    Change change;
    const std::ptrdiff_t index = book.IndexOf(serial);
    const bool searched =
        m_state == State::Finished || (m_state == State::Running && static_cast<std::size_t>(index) < m_next);
    if (index < 0 || !searched)
        return change;
    const auto it = std::lower_bound(m_results.begin(), m_results.end(), index,
                                     [](const FindAllResult& r, std::ptrdiff_t i) { return r.index < i; });
    change.row = static_cast<int>(it - m_results.begin());
    const bool listed = it != m_results.end() && it->serial == serial;
    const bool matches = MatchNote(*book.GetNoteAtIndex(static_cast<std::size_t>(index)),
                                   static_cast<std::int32_t>(index), change.result) &&
                         change.result.count > 0;
    if (listed)
        change.kind = matches ? Change::Changed : Change::Removed;
    else if (matches)
        change.kind = Change::Inserted;
    return change;
}

void CFindAll::ApplyRefresh(const Change& change)
{
    const auto at = m_results.begin() + change.row;
    switch (change.kind) {
    case Change::Changed:
        m_occurrences += change.result.count - at->count;
        *at = change.result;
        break;
    case Change::Inserted:
        m_occurrences += change.result.count;
        m_results.insert(at, change.result);
        break;
    case Change::Removed:
        m_occurrences -= at->count;
        m_results.erase(at);
        break;
    case Change::None:
        break;
    }
}
