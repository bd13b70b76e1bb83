#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
};
static_assert(sizeof(SearchHit) <= 16, "hits are stored by the million");

// The search across all titles and texts of a notebook, and where the walk through its hits
// stands. A press with the same text on the same notebook steps to the next hit.
class CNoteSearch
{
public:
    CNoteSearch() = default;
    virtual ~CNoteSearch() = default;

    // Finds every occurrence (A to Z folded only) and returns their number. The end-of-results
    // box is shown when a repeated search passes the last hit.
    int Search(CNoteBook* noteBook, const std::string& text);
    // The hit to show, or null when there is none.
    const SearchHit* GetCurrentHit() const;

    const std::vector<SearchHit>& GetHits() const { return m_hits; }
    std::size_t GetCurrentIndex() const { return m_current; }

    // Equal with A to Z folded, the one fold the title sort uses too.
    static bool SameTextIgnoringCase(const std::string& a, const std::string& b);

private:
    void Collect(CNoteBook& noteBook, const std::string& text);

    std::vector<SearchHit> m_hits;
    std::size_t m_current = 0;
    std::string m_lastText;
    const CNoteBook* m_lastNoteBook = nullptr;
};
