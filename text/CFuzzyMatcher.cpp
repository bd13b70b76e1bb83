#include "text/CFuzzyMatcher.h"

#include "model/CTextCodec.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>

namespace {

constexpr int kMatch = 16;
constexpr int kWordStart = 10;
constexpr int kTitleStart = 4;
constexpr int kConsecutive = 8;
constexpr int kGapOpen = 4;
constexpr int kGapExtend = 1;
constexpr int kLeadingLimit = 10;

// A letter's marks belong to its unit: "e" and a combining acute are one character, as "é" is.
bool IsMark(char32_t c)
{
    const auto mask = U_GET_GC_MASK(static_cast<UChar32>(c));
    return (mask & (U_GC_MN_MASK | U_GC_MC_MASK | U_GC_ME_MASK)) != 0;
}

// A unit of up to eight bytes is its bytes; a longer one (a letter under many marks) a hash of them
// with the top bit set, which no packed unit has since UTF-8 never ends a character with 0xFF.
std::uint64_t Pack(std::string_view bytes)
{
    std::uint64_t unit = 0;
    if (bytes.size() <= 8) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            unit |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
        return unit;
    }
    unit = 1469598103934665603ull;
    for (const char c : bytes)
        unit = (unit ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return unit | (1ull << 63);
}

// A title of ASCII is matched on its own bytes, folded as they are read.
constexpr std::array<unsigned char, 256> kAsciiFold = [] {
    std::array<unsigned char, 256> fold{};
    for (int c = 0; c < 256; ++c)
        fold[c] = static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
    return fold;
}();

struct AsciiTitle
{
    std::string_view bytes;

    std::size_t size() const { return bytes.size(); }
    std::uint64_t operator[](std::size_t i) const { return kAsciiFold[static_cast<unsigned char>(bytes[i])]; }
};

// Letters and digits have a bit each, the rest of ASCII share the others. A byte beyond ASCII
// may fold to anything, so it sets them all.
std::uint64_t MaskBit(std::uint64_t unit)
{
    if (unit >= 0x80)
        return ~std::uint64_t{0};
    if (unit >= 'a' && unit <= 'z')
        return std::uint64_t{1} << (unit - 'a');
    if (unit >= '0' && unit <= '9')
        return std::uint64_t{1} << (26 + unit - '0');
    return std::uint64_t{1} << (36 + unit % 28);
}

// The mask bit of every byte, folded first, looked up rather than worked out for each title.
const std::array<std::uint64_t, 256> kByteMask = [] {
    std::array<std::uint64_t, 256> masks{};
    for (int c = 0; c < 256; ++c)
        masks[c] = MaskBit(kAsciiFold[c]);
    return masks;
}();

template <typename Title> bool IsWordStart(const Title& units, std::size_t i)
{
    if (i == 0)
        return true;
    const std::uint64_t before = units[i - 1];
    return before < 0x80 && !((before >= 'a' && before <= 'z') || (before >= '0' && before <= '9'));
}

} // namespace

void CFuzzyMatcher::SetPattern(std::string_view pattern)
{
    SplitUnits(pattern, m_pattern);
    // Blanks typed between words only say where a word starts; the match looks at letters.
    m_pattern.erase(std::remove(m_pattern.begin(), m_pattern.end(), std::uint64_t{' '}), m_pattern.end());
    m_asciiPattern = std::all_of(m_pattern.begin(), m_pattern.end(), [](Unit unit) { return unit < 0x80; });
    m_patternMask = 0;
    for (const Unit unit : m_pattern)
        if (unit < 0x80)
            m_patternMask |= MaskBit(unit);
}

std::uint64_t CFuzzyMatcher::CharacterMask(std::string_view text)
{
    std::uint64_t mask = 0;
    for (const char c : text)
        mask |= kByteMask[static_cast<unsigned char>(c)];
    return mask;
}

int CFuzzyMatcher::BestPossible() const
{
    return static_cast<int>(m_pattern.size()) * (kMatch + kWordStart + kTitleStart);
}

// Most titles are ASCII and most do not hold the pattern: those are turned down on their bytes.
int CFuzzyMatcher::Score(std::string_view title)
{
    if (m_asciiPattern && !MayHoldAsciiPattern(title))
        return kNoMatch;
    if (CTextCodec::IsAscii(title))
        return ScoreUnits(AsciiTitle{title});
    SplitUnits(title, m_title);
    return ScoreUnits(m_title);
}

// False when the title's bytes cannot hold the pattern; only an ASCII title is sure to fold byte for
// byte, so any other is left to the full match.
bool CFuzzyMatcher::MayHoldAsciiPattern(std::string_view title) const
{
    std::size_t p = 0;
    bool ascii = true;
    for (const char c : title) {
        const auto byte = static_cast<unsigned char>(c);
        ascii = ascii && byte < 0x80;
        if (p < m_pattern.size() && kAsciiFold[byte] == m_pattern[p])
            ++p;
    }
    return p == m_pattern.size() || !ascii;
}

// An ASCII text folds byte for byte; any other goes through Find All's folding.
void CFuzzyMatcher::SplitUnits(std::string_view text, std::vector<Unit>& units)
{
    units.clear();
    if (CTextCodec::IsAscii(text)) {
        for (std::size_t i = 0; i < text.size(); ++i)
            units.push_back(AsciiTitle{text}[i]);
        return;
    }
    m_folded.Fold(text, CFoldedText::Case::full);
    const std::string_view folded = m_folded.Get();
    std::size_t start = 0;
    for (std::size_t i = 0; i < folded.size();) {
        std::size_t next = i;
        char32_t c = 0;
        if (!CTextCodec::DecodeUtf8(folded, next, c)) {
            next = i + 1;
            c = 0xFFFD;
        }
        if (i > start && !IsMark(c)) {
            units.push_back(Pack(folded.substr(start, i - start)));
            start = i;
        }
        i = next;
    }
    if (start < folded.size())
        units.push_back(Pack(folded.substr(start)));
}

// Two placings of the typed characters, each in one pass: the shortest window that holds them, and
// one that takes word starts and runs wherever the rest still fits after them. The better counts.
template <typename Title> int CFuzzyMatcher::ScoreUnits(const Title& title)
{
    if (m_pattern.empty())
        return 0;
    std::size_t p = 0;
    std::size_t end = 0;
    for (std::size_t i = 0; i < title.size() && p < m_pattern.size(); ++i)
        if (title[i] == m_pattern[p]) {
            ++p;
            end = i;
        }
    if (p < m_pattern.size())
        return kNoMatch;
    PlaceInShortestWindow(title, end);
    const int shortest = ScorePlaces(title);
    PlaceAtWordStarts(title);
    return std::max(shortest, ScorePlaces(title));
}

// Back from the end of the first placing to the latest start that still holds them all, then
// forward again.
template <typename Title> void CFuzzyMatcher::PlaceInShortestWindow(const Title& title, std::size_t end)
{
    std::size_t start = end;
    std::size_t p = m_pattern.size();
    for (std::size_t i = end + 1; i-- > 0 && p > 0;)
        if (title[i] == m_pattern[p - 1]) {
            --p;
            start = i;
        }
    m_places.clear();
    for (std::size_t i = start; m_places.size() < m_pattern.size(); ++i)
        if (title[i] == m_pattern[m_places.size()])
            m_places.push_back(i);
}

template <typename Title> void CFuzzyMatcher::PlaceAtWordStarts(const Title& title)
{
    m_latest.assign(m_pattern.size(), 0);
    std::size_t p = m_pattern.size();
    for (std::size_t i = title.size(); i-- > 0 && p > 0;)
        if (title[i] == m_pattern[p - 1])
            m_latest[--p] = i;
    m_places.clear();
    std::size_t from = 0;
    for (std::size_t k = 0; k < m_pattern.size(); ++k) {
        std::size_t chosen = m_latest[k];
        std::size_t first = m_latest[k];
        for (std::size_t i = m_latest[k] + 1; i-- > from;)
            if (title[i] == m_pattern[k]) {
                first = i;
                if (IsWordStart(title, i) || (k > 0 && i == from))
                    chosen = i;
            }
        if (!IsWordStart(title, chosen) && !(k > 0 && chosen == from))
            chosen = first;
        m_places.push_back(chosen);
        from = chosen + 1;
    }
}

// A letter of a run gets the bonus of the run's first letter, so a whole word typed counts as a
// word start throughout.
template <typename Title> int CFuzzyMatcher::ScorePlaces(const Title& title) const
{
    int score = -static_cast<int>(std::min<std::size_t>(m_places.front(), kLeadingLimit));
    int runBonus = 0;
    for (std::size_t k = 0; k < m_places.size(); ++k) {
        const std::size_t i = m_places[k];
        int bonus = IsWordStart(title, i) ? kWordStart + (i == 0 ? kTitleStart : 0) : 0;
        if (k > 0 && i == m_places[k - 1] + 1) {
            bonus = std::max({bonus, runBonus, kConsecutive});
        } else if (k > 0) {
            score -= kGapOpen + kGapExtend * static_cast<int>(i - m_places[k - 1] - 2);
            runBonus = bonus;
        } else {
            runBonus = bonus;
        }
        score += kMatch + bonus;
    }
    return std::max(score, 0);
}
