#pragma once

#include "text/CFuzzyMatcher.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CNoteBook;

// One title Go to Note offers.
struct TitleMatch
{
    int score;
    std::size_t index; // the note's place in the notebook
};

// The titles of a notebook that best match what was typed. The titles are copied side by side
// once, half for each core, so that a key reads them in one sweep instead of visiting a million
// notes; only the best few matches are ever kept, so the memory a key takes does not grow with
// the titles matched.
class CTitleFinder
{
public:
    // Takes the notebook's titles for the keys that follow; the notebook must not change until
    // the next Load or Release.
    void Load(const CNoteBook& book);
    void Release();

    // The best `limit` matches, best first; equal scores keep the notebook's order. With nothing
    // typed, the first `limit` notes in the notebook's order.
    std::vector<TitleMatch> Find(std::string_view pattern, std::size_t limit);

private:
    struct Block
    {
        std::size_t first = 0; // the place of its first title in the notebook
        std::string titles;
        std::vector<std::size_t> ends;
        std::vector<std::uint64_t> masks; // CFuzzyMatcher::CharacterMask of each title
    };
    static void Fill(Block& block, const CNoteBook& book, std::size_t from, std::size_t to);
    static std::vector<TitleMatch> Scan(const Block& block, CFuzzyMatcher& matcher, std::size_t limit);

    std::size_t m_count = 0;
    std::array<Block, 2> m_blocks;
    CFuzzyMatcher m_matcher;
    CFuzzyMatcher m_helperMatcher; // the second core's
};
