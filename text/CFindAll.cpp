#include "text/CFindAll.h"

#include "model/CFileOrder.h"
#include "model/CNoteBook.h"
#include "text/TextLines.h"

#include <algorithm>
#include <atomic>
#include <future>

namespace {

// Runs of notes small enough that the two cores end a step close together and the first results
// come at once, large enough that the shared counter costs nothing.
constexpr std::size_t kRun = 128;
// Asking the clock costs about as much as matching a short note: it is asked after this many, or
// sooner after long ones, each counting one for every kNoteWorth bytes of text.
constexpr std::size_t kClockEvery = 16;
constexpr std::size_t kNoteWorth = 4096;

// Adds count occurrences to a note's result. The first of them, from start to end, becomes the
// note's first when it has none yet, on the line lineOf gives: asked only then.
template <typename LineOf>
void Add(FindAllResult& result, std::size_t count, std::size_t start, std::size_t end, const LineOf& lineOf)
{
    if (count > 0 && result.count == 0)
        result.first = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end),
                        static_cast<std::uint32_t>(lineOf())};
    result.count += static_cast<std::int32_t>(count);
}

// A title's occurrences stand on line 0.
int TitleLine()
{
    return 0;
}

} // namespace

CFindAll::CFindAll(TextSource textOf) : m_textOf(std::move(textOf)) {}

std::string_view CFindAll::TextOf(const CNote& note, std::string& scratch) const
{
    return m_textOf ? m_textOf(note, scratch) : note.ReadText(scratch);
}

bool CFindAll::Start(const std::string& pattern, const CTextMatcher::Options& options)
{
    Clear();
    if (!m_matcher.Compile(pattern, options) || !m_helperMatcher.Compile(pattern, options))
        return false;
    m_state = State::Running;
    return true;
}

void CFindAll::Clear()
{
    m_state = State::Idle;
    m_next = 0;
    m_claimed = 0;
    m_runs.clear();
    m_results.clear();
    m_results.shrink_to_fit();
    m_occurrences = 0;
    m_stoppedAt = -1;
    m_whole.reset();
}

void CFindAll::MapFileWhenOutOfOrder(const CNoteBook& book)
{
    if (!m_whole)
        m_whole.emplace(CFileOrder::MappedForPass(book));
}

struct CFindAll::StepWork
{
    const CNoteBook& book;
    std::size_t count;
    CFindAll::Clock::time_point deadline;
    std::vector<Run*> unfinished; // runs of earlier steps, taken first
    std::size_t claimed;          // where fresh runs begin
    std::atomic<std::size_t> nextWork{0};
    std::atomic<bool> stop{false};   // the deadline or the match limit
    std::atomic<bool> ranOut{false}; // no note left to take
};

void CFindAll::MatchRuns(StepWork& work, CTextMatcher& matcher, std::vector<Run>& taken) const
{
    // At least one note a thread and step, whatever the deadline, so that the run the results go on
    // with, the first one taken, always gains one.
    bool matchedOne = false;
    std::size_t unclocked = kClockEvery; // short notes' worth matched since the clock was asked
    const auto timeUp = [&] {
        if (!matchedOne || !(work.stop.load(std::memory_order_relaxed) || Clock::now() >= work.deadline))
            return false;
        work.stop = true;
        return true;
    };
    while (!timeUp()) {
        const std::size_t item = work.nextWork.fetch_add(1, std::memory_order_relaxed);
        Run* run = nullptr;
        if (item < work.unfinished.size()) {
            run = work.unfinished[item];
        } else {
            const std::size_t from = work.claimed + (item - work.unfinished.size()) * kRun;
            if (from >= work.count) {
                work.ranOut = true;
                return;
            }
            taken.push_back(Run{from, from, std::min(from + kRun, work.count), {}});
            run = &taken.back();
        }
        for (; run->reached < run->to; ++run->reached) {
            if (unclocked >= kClockEvery) {
                unclocked = 0;
                if (timeUp())
                    return;
            }
            FindAllResult result;
            const CNote& note = *work.book.GetNoteAtIndex(run->reached);
            if (!MatchNote(matcher, note, static_cast<std::int32_t>(run->reached), result)) {
                run->limitReached = true;
                work.stop = true;
                return;
            }
            matchedOne = true;
            unclocked += 1 + note.GetTextSize() / kNoteWorth;
            if (result.count > 0) {
                run->found.push_back(result);
                run->occurrences += result.count;
            }
        }
    }
}

CFindAll::State CFindAll::Step(const CNoteBook& book, Clock::time_point deadline)
{
    if (m_state != State::Running)
        return m_state;
    MapFileWhenOutOfOrder(book);
    StepWork work{book, book.GetCount(), deadline, {}, m_claimed};
    for (Run& run : m_runs) {
        if (run.limitReached)
            work.claimed = work.count; // nothing after a runaway note counts
        else if (run.reached < run.to)
            work.unfinished.push_back(&run);
    }
    // Each thread keeps the runs it takes; the second core only when there is enough for two.
    std::vector<Run> mine;
    std::vector<Run> helpers;
    if (work.count > m_next + kRun) {
        auto helper = std::async(std::launch::async, [&] { MatchRuns(work, m_helperMatcher, helpers); });
        MatchRuns(work, m_matcher, mine);
        helper.get();
    } else {
        MatchRuns(work, m_matcher, mine);
    }
    for (std::vector<Run>* taken : {&mine, &helpers})
        for (Run& run : *taken)
            m_runs.push_back(std::move(run));
    std::sort(m_runs.begin(), m_runs.end(), [](const Run& a, const Run& b) { return a.from < b.from; });
    m_claimed = m_runs.empty() ? m_next : std::max(m_claimed, m_runs.back().to);
    TakeInRuns(book);
    if (m_state == State::Running && work.ranOut && m_runs.empty())
        m_state = State::Finished;
    if (m_state != State::Running)
        m_whole.reset();
    return m_state;
}

void CFindAll::TakeInRuns(const CNoteBook& book)
{
    while (!m_runs.empty() && m_runs.front().from == m_next) {
        Run& run = m_runs.front();
        m_results.insert(m_results.end(), run.found.begin(), run.found.end());
        m_occurrences += run.occurrences;
        run.found.clear();
        run.occurrences = 0;
        m_next = run.from = run.reached;
        if (run.limitReached) {
            m_stoppedAt = book.GetNoteAtIndex(run.reached)->GetSerial();
            m_state = State::LimitReached;
            m_runs.clear();
            return;
        }
        if (run.reached < run.to)
            return;
        m_runs.pop_front();
    }
}

void CFindAll::ForgetAheadFrom(std::size_t index)
{
    while (!m_runs.empty() && m_runs.back().from > index)
        m_runs.pop_back();
    if (m_runs.empty() || index >= m_runs.back().to) {
        m_claimed = m_runs.empty() ? m_next : m_runs.back().to;
        return;
    }
    Run& run = m_runs.back();
    while (!run.found.empty() && static_cast<std::size_t>(run.found.back().index) >= index) {
        run.occurrences -= run.found.back().count;
        run.found.pop_back();
    }
    run.reached = std::min(run.reached, index);
    run.limitReached = false;
    m_claimed = run.to;
}

bool CFindAll::MatchNote(CTextMatcher& matcher, const CNote& note, std::int32_t index,
                         FindAllResult& result) const
{
    result = FindAllResult{note.GetSerial(), index, 0, {}};
    CTextMatcher::Tally tally;
    bool inTitle = true;
    if (matcher.TallyAscii(note.GetTitle(), tally))
        Add(result, tally.count, tally.start, tally.end, TitleLine);
    else
        inTitle = matcher.ForEachMatch(note.GetTitle(), [&](std::size_t start, std::size_t end) {
            Add(result, 1, start, end, TitleLine);
            return true;
        });
    if (matcher.TallyStored(note, tally)) {
        Add(result, tally.count, tally.start, tally.end, [&] { return tally.line; });
        return inTitle;
    }
    // A text still in the file is read for the search only; each thread has its own place for it.
    thread_local std::string scratch;
    const std::string_view text = TextOf(note, scratch);
    const bool inText = inTitle && matcher.ForEachMatch(text, [&](std::size_t start, std::size_t end) {
        Add(result, 1, start, end, [&] { return LineNumberAt(text, start); });
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
    std::string scratch;
    const std::string_view text = TextOf(note, scratch);
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
    if (index >= 0 && m_state == State::Running && !searched)
        ForgetAheadFrom(static_cast<std::size_t>(index));
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
