#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CNoteBook;

// A note reduced to hashes of its title and text, each with the code page it is stored in: enough
// to tell notes apart and to pair the two versions of an edited note, so that an older version of
// a notebook need not stay in memory to be compared.
struct NoteFingerprint
{
    std::uint64_t content[2];
    std::uint64_t title;
    std::uint64_t text;

    bool SameContent(const NoteFingerprint& other) const
    {
        return content[0] == other.content[0] && content[1] == other.content[1];
    }
};

// Pairs the notes of a later version of a notebook with those of an earlier one. Notes have no
// lasting identity in the file, so they are matched by content: equal notes first (the k-th of
// equal ones with the k-th), then a remaining earlier note with a remaining later note of the same
// title (its text edited), then of the same text (retitled). A note left over was added or
// deleted. Sorting keeps it at n log n for any number of notes.
class CNoteMatcher
{
public:
    static constexpr std::int32_t kNone = -1;

    struct Matching
    {
        // For each later note, the earlier note it is, or kNone when it was added.
        std::vector<std::int32_t> laterToEarlier;
        // For each earlier note, the later note it became, or kNone when it was deleted.
        std::vector<std::int32_t> earlierToLater;
        // Per earlier note: its later version differs (edited or retitled).
        std::vector<bool> edited;
        // Per earlier note: it changed place. The notes that kept their places are the longest run
        // whose order both versions share, so one note moved is one move, and a sort moves many.
        std::vector<bool> moved;
    };

    static std::vector<NoteFingerprint> Fingerprints(const CNoteBook& book);
    static Matching Match(const std::vector<NoteFingerprint>& earlier,
                          const std::vector<NoteFingerprint>& later);
};
