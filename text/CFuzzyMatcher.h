#pragma once

#include "text/CFoldedText.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Go to Note's match of what was typed against a title: the typed characters appear in the title
// in order, with case and the composed and decomposed forms of a letter folded as Find All folds
// them. Matches at the starts of words and matches that follow each other score highest, so that
// "gn" puts "garden notes" before "signal".
class CFuzzyMatcher
{
public:
    static constexpr int kNoMatch = -1;

    void SetPattern(std::string_view pattern);
    bool IsEmpty() const { return m_pattern.empty(); }
    // The title's score, higher is better, or kNoMatch when the characters are not all in it in order.
    int Score(std::string_view title);
    // Which characters a text holds, roughly: a title whose mask lacks a bit of the pattern's cannot
    // match it, so most titles are turned down on one word each.
    static std::uint64_t CharacterMask(std::string_view text);
    std::uint64_t GetPatternMask() const { return m_patternMask; }
    // No title scores more than this: the whole pattern at the start of a title.
    int BestPossible() const;

private:
    // One character as the match compares it: the folded bytes of a letter and its marks.
    using Unit = std::uint64_t;

    void SplitUnits(std::string_view text, std::vector<Unit>& units);
    bool MayHoldAsciiPattern(std::string_view title) const;
    template <typename Title> int ScoreUnits(const Title& title);
    template <typename Title> void PlaceInShortestWindow(const Title& title, std::size_t end);
    template <typename Title> void PlaceAtWordStarts(const Title& title);
    template <typename Title> int ScorePlaces(const Title& title) const;

    std::vector<Unit> m_pattern;
    bool m_asciiPattern = true;
    std::uint64_t m_patternMask = 0;
    std::vector<Unit> m_title;
    std::vector<std::size_t> m_places; // where each typed character matched
    std::vector<std::size_t> m_latest; // the last place each can match with the rest still after it
    CFoldedText m_folded;
};
