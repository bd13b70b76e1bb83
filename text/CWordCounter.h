#pragma once

#include <cstdint>
#include <string_view>

// Counts the words of a text handed over in pieces, in any cut: a word is a run of bytes other than
// blanks and line ends, as wc counts them, so a word cut between two pieces counts once.
class CWordCounter
{
public:
    void Add(std::string_view piece);
    std::uint64_t Words() const { return m_words; }

private:
    std::uint64_t m_words = 0;
    bool m_inWord = false;
};
