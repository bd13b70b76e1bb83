#pragma once

#include "platform/CWholeMapping.h"
#include "text/CTextMatcher.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CNote;
class CNoteBook;

// One occurrence: bytes of the note's title (line 0) or of its text (line from 1).
struct FindAllOccurrence
{
    std::uint32_t start;
    std::uint32_t end;
    std::uint32_t line;

    bool InTitle() const { return line == 0; }
};

// One matching note and what its row shows. Only this is kept per note, so the results stay small
// whatever the number of occurrences; a note's other occurrences are found again when asked for.
struct FindAllResult
{
    std::int32_t serial;
    std::int32_t index; // the note's place in the notebook
    std::int32_t count; // occurrences in title and text
    FindAllOccurrence first;
};
static_assert(sizeof(FindAllResult) <= 24, "a result is kept for every matching note");

// Every note of a notebook that holds a pattern, in notebook order, found a few notes at a time so
// that a window stays responsive. Each step matches on both cores while its caller waits, so
// nothing changes a note meanwhile. The notebook must not change order or membership while a search
// runs or its results are used; a change of one note's title or text is taken in with Refresh.
class CFindAll
{
public:
    // The text a search reads for a note: by default the note's own, read into scratch while it is
    // still in the notebook's file; the window gives the open note's unsaved typing instead. Step
    // calls it on two threads at once, for different notes, while its caller waits: it must only
    // read. A text still in the file as ASCII, which no editor holds, is counted where it lies
    // without asking.
    using TextSource = std::function<std::string_view(const CNote&, std::string& scratch)>;
    using Clock = std::chrono::steady_clock;

    enum class State
    {
        Idle,
        Running,
        Finished,
        LimitReached // a regular expression ran away on one note; the search stopped there
    };

    explicit CFindAll(TextSource textOf = {});

    // Drops the results and starts from the first note; false, with the matcher's error, for a bad
    // regular expression.
    bool Start(const std::string& pattern, const CTextMatcher::Options& options);
    // Searches on until the notebook's end or the deadline; at least one note per call.
    State Step(const CNoteBook& book, Clock::time_point deadline);
    void Clear();

    State GetState() const { return m_state; }
    const CTextMatcher& GetMatcher() const { return m_matcher; }
    // In blocks, so that growing never holds the results twice.
    using Results = std::deque<FindAllResult>;
    const Results& GetResults() const { return m_results; }
    std::int64_t GetOccurrenceCount() const { return m_occurrences; }
    // The note where the match limit stopped the search, or -1.
    std::int32_t GetStoppedAt() const { return m_stoppedAt; }

    // Every occurrence in the note, title first; false when the match limit cut the list short.
    bool FindOccurrences(const CNote& note, std::vector<FindAllOccurrence>& occurrences);
    // The first occurrence in the note as it is now; false when there is none.
    bool FindFirst(const CNote& note, FindAllOccurrence& first);
    // The text the search reads for the note; scratch may hold it.
    std::string_view TextOf(const CNote& note, std::string& scratch) const;

    // What an edit of one note does to the results: its row changes, comes or goes.
    struct Change
    {
        enum Kind
        {
            None,
            Changed,
            Inserted,
            Removed
        } kind = None;
        int row = -1;
        FindAllResult result{};
    };
    // Matches the note again; a note the running search has yet to reach needs nothing.
    Change PlanRefresh(const CNoteBook& book, std::int32_t serial);
    void ApplyRefresh(const Change& change);

private:
    // Notes [from, to) that one core matches, done up to reached. Their results wait here until
    // every note before them is in, so that the results stay in notebook order.
    struct Run
    {
        std::size_t from;
        std::size_t reached;
        std::size_t to;
        std::vector<FindAllResult> found;
        std::int64_t occurrences = 0;
        bool limitReached = false; // at the note reached
    };
    // What the threads of one step share.
    struct StepWork;

    // False when the match limit stopped it; count 0 means no occurrence.
    bool MatchNote(CTextMatcher& matcher, const CNote& note, std::int32_t index, FindAllResult& result) const;
    bool MatchNote(const CNote& note, std::int32_t index, FindAllResult& result)
    {
        return MatchNote(m_matcher, note, index, result);
    }
    // One thread's share of a step: runs taken in turn until the deadline, the end or the limit.
    void MatchRuns(StepWork& work, CTextMatcher& matcher, std::vector<Run>& taken) const;
    // Moves the results of the runs done, in order, to m_results.
    void TakeInRuns(const CNoteBook& book);
    // Forgets what the runs ahead found from the note at index on: it has changed.
    void ForgetAheadFrom(std::size_t index);
    void MapFileWhenOutOfOrder(const CNoteBook& book);

    TextSource m_textOf;
    CTextMatcher m_matcher;
    CTextMatcher m_helperMatcher; // the second core's: a matcher folds into buffers of its own
    State m_state = State::Idle;
    std::size_t m_next = 0;    // the first note whose result is not in m_results
    std::size_t m_claimed = 0; // the first note no run holds
    std::deque<Run> m_runs;    // [m_next, m_claimed), in order
    Results m_results;
    std::int64_t m_occurrences = 0;
    std::int32_t m_stoppedAt = -1;
    std::optional<CWholeMapping> m_whole; // judged at this search's first step, kept while it runs
};
