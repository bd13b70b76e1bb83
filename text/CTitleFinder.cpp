#include "text/CTitleFinder.h"

#include "model/CNote.h"
#include "model/CNoteBook.h"

#include <algorithm>
#include <future>
#include <queue>

namespace {

// Below this many notes a second thread costs more than it saves.
constexpr std::size_t kTwoCoresFrom = 20000;
constexpr std::size_t kReservedPerTitle = 48;

// Better first: the higher score, then the earlier note.
bool Better(const TitleMatch& a, const TitleMatch& b)
{
    return a.score != b.score ? a.score > b.score : a.index < b.index;
}

// The best `limit` seen, the worst of them on top so that it is the one to give way.
class CBestMatches
{
public:
    explicit CBestMatches(std::size_t limit) : m_limit(limit) {}

    void Offer(const TitleMatch& match)
    {
        if (m_heap.size() < m_limit) {
            m_heap.push(match);
        } else if (Better(match, m_heap.top())) {
            m_heap.pop();
            m_heap.push(match);
        }
    }
    // Full of matches that nothing after them can beat, since a tie goes to the earlier note.
    bool IsFullAt(int best) const { return m_heap.size() == m_limit && m_heap.top().score >= best; }
    std::vector<TitleMatch> Take()
    {
        std::vector<TitleMatch> matches;
        matches.reserve(m_heap.size());
        for (; !m_heap.empty(); m_heap.pop())
            matches.push_back(m_heap.top());
        return matches;
    }

private:
    std::size_t m_limit;
    std::priority_queue<TitleMatch, std::vector<TitleMatch>, decltype(&Better)> m_heap{&Better};
};

} // namespace

void CTitleFinder::Load(const CNoteBook& book)
{
    m_count = book.GetCount();
    if (m_count < kTwoCoresFrom) {
        Fill(m_blocks[0], book, 0, m_count);
        Fill(m_blocks[1], book, m_count, m_count);
        return;
    }
    const std::size_t half = m_count / 2;
    auto helper = std::async(std::launch::async, [&] { Fill(m_blocks[1], book, half, m_count); });
    Fill(m_blocks[0], book, 0, half);
    helper.get();
}

void CTitleFinder::Release()
{
    m_count = 0;
    m_blocks = {};
}

void CTitleFinder::Fill(Block& block, const CNoteBook& book, std::size_t from, std::size_t to)
{
    block.first = from;
    block.titles.clear();
    block.ends.clear();
    block.masks.clear();
    // Room for titles of a usual length at once: what is not written takes no memory.
    block.titles.reserve((to - from) * kReservedPerTitle);
    block.ends.reserve(to - from);
    block.masks.reserve(to - from);
    for (std::size_t i = from; i < to; ++i) {
        const std::string& title = book.GetNoteAtIndex(i)->GetTitle();
        block.titles += title;
        block.masks.push_back(CFuzzyMatcher::CharacterMask(title));
        block.ends.push_back(block.titles.size());
    }
}

std::vector<TitleMatch> CTitleFinder::Scan(const Block& block, CFuzzyMatcher& matcher, std::size_t limit)
{
    CBestMatches best(limit);
    const int bestPossible = matcher.BestPossible();
    const std::uint64_t wanted = matcher.GetPatternMask();
    const std::string_view titles = block.titles;
    for (std::size_t i = 0; i < block.ends.size() && !best.IsFullAt(bestPossible); ++i) {
        if ((block.masks[i] & wanted) != wanted)
            continue;
        const std::size_t start = i == 0 ? 0 : block.ends[i - 1];
        const int score = matcher.Score(titles.substr(start, block.ends[i] - start));
        if (score != CFuzzyMatcher::kNoMatch)
            best.Offer({score, block.first + i});
    }
    return best.Take();
}

std::vector<TitleMatch> CTitleFinder::Find(std::string_view pattern, std::size_t limit)
{
    m_matcher.SetPattern(pattern);
    std::vector<TitleMatch> matches;
    if (m_matcher.IsEmpty()) {
        for (std::size_t i = 0; i < std::min(m_count, limit); ++i)
            matches.push_back({0, i});
        return matches;
    }
    if (m_blocks[1].ends.empty()) {
        matches = Scan(m_blocks[0], m_matcher, limit);
    } else {
        m_helperMatcher.SetPattern(pattern);
        auto helper =
            std::async(std::launch::async, [&] { return Scan(m_blocks[1], m_helperMatcher, limit); });
        matches = Scan(m_blocks[0], m_matcher, limit);
        const std::vector<TitleMatch> second = helper.get();
        matches.insert(matches.end(), second.begin(), second.end());
    }
    std::sort(matches.begin(), matches.end(), Better);
    if (matches.size() > limit)
        matches.resize(limit);
    return matches;
}
