#include "model/CTitleSorter.h"

#include "model/CaseFold.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <limits>

namespace {

// Below this many titles a second thread costs more than it saves.
constexpr std::size_t kParallelFrom = 1 << 16;
// A run this short is sorted by comparing its keys.
constexpr std::size_t kCompareBelow = 32;
// A run this long is offered to the other thread.
constexpr std::size_t kShareFrom = 1 << 12;
// How many entries ahead a key is fetched while the entries are reloaded.
constexpr std::size_t kFetchAhead = 8;

// The bytes a Windows-1252 title is stored as, one at a time, folded; a character the code page
// lacks comes after every byte.
class StoredBytes
{
public:
    explicit StoredBytes(const std::string& utf8) : m_text(utf8) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }

    unsigned Next()
    {
        const auto byte = static_cast<unsigned char>(m_text[m_pos]);
        char32_t codePoint;
        if (byte < 0x80 || !CTextCodec::DecodeUtf8(m_text, m_pos, codePoint)) {
            ++m_pos;
            return FoldCase(byte);
        }
        const int stored = CTextCodec::Windows1252Byte(codePoint);
        return stored >= 0 ? static_cast<unsigned>(stored) : 0x100 + codePoint;
    }

private:
    const std::string& m_text;
    std::size_t m_pos = 0;
};

void AppendSymbol(unsigned symbol, CTitleSorter::Keys& key)
{
    if (symbol < 0xFF) {
        key += static_cast<char>(symbol);
    } else if (symbol == 0xFF) {
        key += "\xFF";
        key += '\0';
    } else {
        const unsigned codePoint = symbol - 0x100;
        key += "\xFF\x01";
        key += static_cast<char>(0x80 | (codePoint >> 14));
        key += static_cast<char>(0x80 | ((codePoint >> 7) & 0x7F));
        key += static_cast<char>(0x80 | (codePoint & 0x7F));
    }
}

// Whether a title stored in the code page is its own key, once folded.
bool IsOwnKey(const std::string& title, TextEncoding codePage)
{
    if (codePage == TextEncoding::windows1252)
        return CTextCodec::IsAscii(title);
    return std::memchr(title.data(), 0xFF, title.size()) == nullptr;
}

// A to Z folded in each of eight bytes at once.
std::uint64_t FoldEight(std::uint64_t bytes)
{
    constexpr std::uint64_t kEach = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x80 * kEach;
    const std::uint64_t low = bytes & ~kHigh;
    const std::uint64_t fromA = low + (0x80 - 'A') * kEach;
    const std::uint64_t pastZ = low + (0x80 - 'Z' - 1) * kEach;
    const std::uint64_t upper = fromA & ~pastZ & ~bytes & kHigh;
    return bytes | (upper >> 2);
}

// The eight key bytes from depth, folded, as one number that compares as they do.
std::uint64_t ChunkAt(std::string_view key, std::size_t depth)
{
    std::uint64_t word = 0;
    if (depth < key.size())
        std::memcpy(&word, key.data() + depth, std::min<std::size_t>(key.size() - depth, 8));
    return __builtin_bswap64(FoldEight(word));
}

int CompareFolded(std::string_view x, std::string_view y)
{
    const std::size_t common = std::min(x.size(), y.size());
    for (std::size_t k = 0; k < common; ++k) {
        const unsigned a = FoldCase(static_cast<unsigned char>(x[k]));
        const unsigned b = FoldCase(static_cast<unsigned char>(y[k]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
}

std::uint32_t LengthOf(std::string_view key)
{
    return static_cast<std::uint32_t>(
        std::min<std::size_t>(key.size(), std::numeric_limits<std::uint32_t>::max()));
}

std::size_t FirstOf(std::uint64_t chunk, std::uint32_t length)
{
    return length == 0 ? 0 : 1 + static_cast<std::size_t>(chunk >> 56);
}

} // namespace

CTitleSorter::CTitleSorter(std::size_t count, const TitleAt& titleAt) : m_keys(count), m_spare(count)
{
    const std::size_t parts = count < kParallelFrom ? 1 : 2;
    const std::size_t partSize = (count + parts - 1) / parts;
    m_parts.resize(parts);
    for (std::size_t p = 0; p < parts; ++p) {
        m_parts[p].first = std::min(count, p * partSize);
        m_parts[p].end = std::min(count, m_parts[p].first + partSize);
    }
    OnEveryPart([&](Part& part) { FindKeys(part, titleAt); });
}

void CTitleSorter::AppendKey(const std::string& title, TextEncoding codePage, Keys& key)
{
    if (codePage == TextEncoding::windows1252 && !CTextCodec::IsAscii(title)) {
        StoredBytes bytes(title);
        while (!bytes.AtEnd())
            AppendSymbol(bytes.Next(), key);
        return;
    }
    for (const char c : title)
        AppendSymbol(FoldCase(static_cast<unsigned char>(c)), key);
}

// Each title's key, and its entry in place order with its first eight bytes.
void CTitleSorter::FindKeys(Part& part, const TitleAt& titleAt)
{
    for (std::size_t i = part.first; i < part.end; ++i) {
        const Title title = titleAt(i);
        std::string_view key = *title.text;
        if (!IsOwnKey(*title.text, title.codePage)) {
            const std::size_t at = part.made.size();
            AppendKey(*title.text, title.codePage, part.made);
            part.madeAt.emplace_back(i, at);
            key = std::string_view(part.made).substr(at);
        }
        m_keys[i] = key;
        m_spare[i] = {ChunkAt(key, 0), static_cast<std::uint32_t>(i), LengthOf(key)};
        ++part.firsts[FirstOf(m_spare[i].chunk, m_spare[i].length)];
        part.longest = std::max(part.longest, key.size());
    }
    // The made keys' block has stopped moving.
    for (const auto& [index, at] : part.madeAt)
        m_keys[index] = std::string_view(part.made.data() + at, m_keys[index].size());
}

// The part's entries to the places where their first bytes begin in entries, in place order.
void CTitleSorter::Deal(const Part& part, Entries& entries) const
{
    Counts next = part.dealAt;
    for (std::size_t i = part.first; i < part.end; ++i)
        entries[next[FirstOf(m_spare[i].chunk, m_spare[i].length)]++] = m_spare[i];
}

CTitleSorter::Places CTitleSorter::Order()
{
    const std::size_t n = m_spare.size();
    std::vector<CSegmentQueue::Segment> buckets;
    std::size_t begins = 0;
    for (std::size_t b = 0; b < 257; ++b) {
        const std::size_t from = begins;
        for (Part& part : m_parts) {
            part.dealAt[b] = begins;
            begins += part.firsts[b];
        }
        // Keys that end at once are all empty: equal, and already in place order.
        if (b > 0 && begins - from > 1)
            buckets.push_back({from, begins - from, 1});
    }
    Entries entries(n);
    OnEveryPart([&](Part& part) { Deal(part, entries); });

    bool longKey = false;
    for (const Part& part : m_parts)
        longKey = longKey || part.longest >= std::numeric_limits<std::uint32_t>::max();
    if (longKey) {
        SortByKeys(entries.data(), n, 0);
    } else {
        CSegmentQueue queue(std::move(buckets));
        if (m_parts.size() > 1) {
            auto other = std::async(std::launch::async, [&] { SortShare(entries, queue); });
            SortShare(entries, queue);
            other.get();
        } else {
            SortShare(entries, queue);
        }
    }
    // The entries in place order are no longer needed: their memory takes the order.
    Places order = Places::Reusing(std::move(m_spare), n);
    OnEveryPart([&](Part& part) { Read(part, entries, order); });
    return order;
}

void CTitleSorter::Read(const Part& part, const Entries& entries, Places& order)
{
    for (std::size_t i = part.first; i < part.end; ++i)
        order[i] = entries[i].index;
}

void CTitleSorter::SortShare(Entries& entries, CSegmentQueue& queue)
{
    CSegmentQueue::Segment segment{};
    while (queue.Take(segment)) {
        SortSegment(segment, entries, queue);
        queue.Done();
    }
}

// The segment's entries agree in their first depth key bytes; it is split by the next bytes until
// its runs are short enough to compare, the long ones offered to the other thread.
void CTitleSorter::SortSegment(const CSegmentQueue::Segment& segment, Entries& entries, CSegmentQueue& queue)
{
    std::vector<CSegmentQueue::Segment> mine{segment};
    while (!mine.empty()) {
        CSegmentQueue::Segment next = mine.back();
        mine.pop_back();
        if (next.count >= kCompareBelow)
            while (!Split(next, entries, mine, queue)) {
            }
        else
            SortShort(entries.data() + next.from, next.count, next.depth);
    }
}

// Deals the segment's entries out by the first key byte they do not share: true once done, false
// when they share every byte they carry and the segment only goes deeper. Keys that end there are
// equal and keep their order; every other run longer than one is handed on.
bool CTitleSorter::Split(CSegmentQueue::Segment& segment, Entries& entries,
                         std::vector<CSegmentQueue::Segment>& mine, CSegmentQueue& queue)
{
    Entry* const first = entries.data() + segment.from;
    if (segment.depth % 8 == 0)
        Reload(first, segment.count, segment.depth);
    const std::size_t chunkEnd = segment.depth - segment.depth % 8 + 8;
    const std::size_t depth = SharedDepth(first, segment.count, segment.depth);
    if (depth == chunkEnd) {
        segment.depth = depth;
        return false;
    }
    const unsigned shift = 56 - 8 * static_cast<unsigned>(depth % 8);
    const auto digit = [&](const Entry& entry) {
        return entry.length <= depth ? 0 : 1 + static_cast<std::size_t>((entry.chunk >> shift) & 0xFF);
    };
    Counts counts{};
    for (std::size_t i = 0; i < segment.count; ++i)
        ++counts[digit(first[i])];
    // Keys that all end here are equal.
    if (counts[0] == segment.count)
        return true;
    Counts at{};
    for (std::size_t b = 1; b < 257; ++b)
        at[b] = at[b - 1] + counts[b - 1];
    Entry* const spare = m_spare.data() + segment.from;
    Counts next = at;
    for (std::size_t i = 0; i < segment.count; ++i)
        spare[next[digit(first[i])]++] = first[i];
    std::memcpy(first, spare, segment.count * sizeof(Entry));
    for (std::size_t b = 1; b < 257; ++b) {
        if (counts[b] < 2)
            continue;
        const CSegmentQueue::Segment run{segment.from + at[b], counts[b], depth + 1};
        if (run.count >= kShareFrom)
            queue.Give(run);
        else
            mine.push_back(run);
    }
    return true;
}

// How deep the entries' keys agree, from depth to the end of the chunks they carry or to where
// the shortest key ends.
std::size_t CTitleSorter::SharedDepth(const Entry* entries, std::size_t count, std::size_t depth)
{
    std::uint64_t differs = 0;
    std::uint32_t shortest = entries[0].length;
    for (std::size_t i = 1; i < count; ++i) {
        differs |= entries[i].chunk ^ entries[0].chunk;
        shortest = std::min(shortest, entries[i].length);
    }
    const std::size_t chunkFrom = depth - depth % 8;
    const std::size_t agreed = differs == 0 ? 8 : static_cast<std::size_t>(__builtin_clzll(differs)) / 8;
    return std::max(depth, std::min<std::size_t>(chunkFrom + agreed, shortest));
}

// Each entry takes the eight key bytes from depth; the keys lie anywhere, so they are fetched a
// few entries ahead.
void CTitleSorter::Reload(Entry* entries, std::size_t count, std::size_t depth) const
{
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 2 * kFetchAhead < count)
            __builtin_prefetch(&m_keys[entries[i + 2 * kFetchAhead].index]);
        if (i + kFetchAhead < count)
            __builtin_prefetch(m_keys[entries[i + kFetchAhead].index].data() + depth);
        entries[i].chunk = ChunkAt(m_keys[entries[i].index], depth);
    }
}

void CTitleSorter::SortShort(Entry* entries, std::size_t count, std::size_t depth) const
{
    if (depth % 8 == 0)
        Reload(entries, count, depth);
    SortByKeys(entries, count, depth);
}

// The entries agree in their first depth key bytes and carry the eight from the multiple of eight
// below: those decide, else the rest of the keys, else the place.
void CTitleSorter::SortByKeys(Entry* entries, std::size_t count, std::size_t depth) const
{
    const std::size_t chunkFrom = depth - depth % 8;
    std::sort(entries, entries + count, [this, chunkFrom](const Entry& a, const Entry& b) {
        if (a.chunk != b.chunk)
            return a.chunk < b.chunk;
        const std::string_view x = m_keys[a.index];
        const std::string_view y = m_keys[b.index];
        const int order =
            CompareFolded(x.substr(std::min(chunkFrom, x.size())), y.substr(std::min(chunkFrom, y.size())));
        return order != 0 ? order < 0 : a.index < b.index;
    });
}

template <typename Work> void CTitleSorter::OnEveryPart(const Work& work)
{
    std::vector<std::future<void>> others;
    for (std::size_t p = 1; p < m_parts.size(); ++p)
        others.push_back(std::async(std::launch::async, [&work, this, p] { work(m_parts[p]); }));
    work(m_parts[0]);
    for (auto& other : others)
        other.get();
}
