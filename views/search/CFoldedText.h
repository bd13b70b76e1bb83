#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A UTF-8 text under Unicode full case folding, so that "STRASSE" and "straße" both read
// "strasse", with the way back from a place in the folded text to the original. A byte that is
// not well-formed UTF-8 stands for itself.
class CFoldedText
{
public:
    // Folds the text; the buffers are kept for the next one.
    void Fold(std::string_view text);
    std::string_view Get() const { return m_folded; }

    // True when a character of the original starts at this place of the folded text, or it is
    // the end; a match must begin and end on such places.
    bool StartsCharacter(std::size_t foldedPos) const;
    // The original byte offset of the character that starts at foldedPos (the end gives the end).
    std::size_t ToOriginal(std::size_t foldedPos) const;

private:
    void AppendAscii(std::string_view text, std::size_t from, std::size_t to);
    void AppendCharacter(std::string_view text, std::size_t& i);

    std::string m_folded;
    // Per folded byte: the original offset of the character it starts, or kInside. Empty for a
    // text of ASCII only, where both offsets agree.
    std::vector<std::uint32_t> m_original;
    std::size_t m_sourceSize = 0;
};
