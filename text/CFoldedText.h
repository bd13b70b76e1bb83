#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A UTF-8 text in its canonical decomposition (NFD), so that "é" typed as one character and as e
// with a combining accent read alike, optionally under case folding ("STRASSE" and "straße" both
// read "strasse"), with the way back from a place in it to the original. A byte that is not
// well-formed UTF-8 stands for itself.
class CFoldedText
{
public:
    enum class Case
    {
        keep,         // letter case matters
        asciiLetters, // A to Z fold to a to z, as the search press always did
        full          // Unicode full case folding
    };

    // Folds the text; the buffers are kept for the next one. The text must outlive the result
    // when it is returned as it is (ASCII with the case kept).
    void Fold(std::string_view text, Case how = Case::full);
    std::string_view Get() const { return m_asIs ? m_source : std::string_view(m_folded); }

    // True when a place of the folded text lies between two characters as the user sees them
    // (extended grapheme clusters) of the original, or it is the end; a match must begin and end on
    // such places. With marks, any place between two code points that stand apart in the folded
    // text will do: a pattern of marks alone finds them on whatever they are on.
    bool StartsCharacter(std::size_t foldedPos, bool marks = false) const;
    // Whether every character of the text extends the one before it (combining marks, vowel signs,
    // the zero width joiner), so that a search for it finds marks.
    static bool OnlyMarks(std::string_view text);
    // Whether the byte offset of a text is a boundary of its extended grapheme clusters.
    static bool IsClusterBoundary(std::string_view text, std::size_t pos);
    // The original byte offset of the character that starts at foldedPos (the end gives the end).
    std::size_t ToOriginal(std::size_t foldedPos) const;
    // The first place a match may begin at whose original offset is at least originalPos.
    std::size_t ToFolded(std::size_t originalPos) const;

private:
    void AppendAscii(std::string_view text, std::size_t from, std::size_t to);
    void AppendSegment(std::string_view text, std::size_t& i);
    void AppendNormalized(std::string_view segment);
    void MarkClusters(std::string_view text);

    Case m_case = Case::full;
    bool m_asIs = false;
    std::string_view m_source;
    std::string m_folded;
    // Per folded byte: the original offset of the character it starts, or kInside; with kJoined
    // when that character does not begin a cluster. Empty for a text of ASCII only, where both
    // offsets agree.
    std::vector<std::uint32_t> m_original;
};
