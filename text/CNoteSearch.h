#pragma once

#include "platform/HugePageArray.h"
#include "text/CNoteFinder.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CNote;
class CNoteBook;

// One occurrence: in a note's title, or at a byte offset of its text.
struct SearchHit
{
    enum Kind : std::int32_t
    {
        Title = 1,
        Text = 2
    };

    std::int32_t kind;
    std::int32_t position;
    std::int32_t serial;
    std::int32_t length; // kind 2: bytes of the text the occurrence spans
};

// The search across all titles and texts of a notebook, and where the walk through its
// occurrences stands. A press with the same text on the same notebook steps to the next one. In
// order, a note's title counts once when it holds the text, then every occurrence in its text,
// overlapping ones included. Occurrences are counted, never stored: only the one shown is kept,
// and a press with nothing changed since the last one counts nothing again.
class CNoteSearch
{
public:
    // Counts every occurrence (A to Z folded only, canonically equivalent text alike) and returns their
    // number. The end-of-results box is shown when a repeated search passes the last one.
    int Search(CNoteBook* noteBook, const std::string& text);
    // The occurrence to show, or null when there is none.
    const SearchHit* GetCurrentHit() const { return m_count > 0 ? &m_current : nullptr; }
    // Its place among all occurrences, from 0.
    std::size_t GetCurrentIndex() const { return m_index; }

    // Equal with A to Z folded, the one fold the title sort uses too.
    static bool SameTextIgnoringCase(const std::string& a, const std::string& b);

private:
    // Counts every occurrence and makes the one with this place the current one; the first one
    // when there are no more than the place.
    void CountAndLocate(const CNoteBook& noteBook, std::size_t place);
    // Makes the occurrence after the current one current; false when the current one is the last.
    bool StepForward(const CNoteBook& noteBook);
    void LocateFirst(const CNoteBook& noteBook);
    // Makes the first occurrence at or after a place current: in the note at noteIndex, its title
    // when asked and its text from textFrom, then the notes after it. False when there is none.
    bool LocateFrom(const CNoteBook& noteBook, std::size_t noteIndex, bool withTitle, int textFrom);
    void SetCurrent(const CNote& note, std::size_t noteIndex, SearchHit::Kind kind, int position, int length);

    // The order the count visits the notes in, kept while the notes keep their places.
    const HugePageArray<std::uint32_t>& FileOrder(const CNoteBook& noteBook);

    CNoteFinder m_finder;
    HugePageArray<std::uint32_t> m_fileOrder;
    std::uint64_t m_fileOrderBook = 0;
    std::uint64_t m_fileOrderSignature = 0;
    std::string m_lastText;
    std::uint64_t m_lastNoteBook = 0;
    std::uint64_t m_countedAt = 0;
    std::size_t m_count = 0;
    std::size_t m_index = 0;
    std::size_t m_noteIndex = 0;
    SearchHit m_current{};
};
