#pragma once

#include "model/CNote.h"
#include "text/CFoldedText.h"

#include <cstddef>
#include <string>
#include <string_view>

// Finds the text of a search press in one string of a note: A to Z folded, canonically equivalent
// text alike ("é" as one character or as e and a combining accent), overlapping occurrences all
// counted. Strings of ASCII only, most of any notebook, take the byte search and allocate nothing.
class CNoteFinder
{
public:
    void SetPattern(const std::string& pattern);

    // Each text is a whole string: a terminator follows it, as it does a std::string's characters.
    std::size_t Count(std::string_view text);
    // The same for an ASCII text still enciphered in the notebook's file.
    std::size_t Count(const CNote::StoredAscii& text) const;
    // The first occurrence at or after the byte offset from: its offset, or -1; length gets its
    // length in bytes, which may differ from the pattern's. The last string searched is kept, so
    // stepping through one string from occurrence to occurrence reads it once: it must not change
    // in between (SetPattern forgets it).
    int Find(std::string_view text, int from, int& length);
    bool Contains(std::string_view text)
    {
        int length = 0;
        return Find(text, 0, length) >= 0;
    }

private:
    // Folds the text unless it is the one folded last.
    void Prepare(std::string_view text);

    std::string m_key; // the pattern decomposed and folded
    bool m_keyAscii = true;
    bool m_keyMarks = false; // marks alone, found on whatever they are on
    // An ASCII key has no more occurrences in a text beyond ASCII than the bytes show, unless it
    // holds a letter that a character decomposes to alone: the Kelvin sign, the Greek question
    // mark and varia are K, ";" and "`".
    bool m_keyNeedsNormalizing = false;
    CFoldedText m_folded;
    const char* m_foldedData = nullptr;
    std::size_t m_foldedSize = 0;
    std::size_t m_lastOriginal = 0; // the last occurrence found in it, both ways
    std::size_t m_lastFolded = 0;
};
