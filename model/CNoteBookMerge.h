#pragma once

#include "model/CNoteMatcher.h"

#include <cstddef>
#include <vector>

class CNoteBook;

// Merges two notebooks note by note, as diff3 merges lines, with a note (title and text) as the
// unit. Notes carry no lasting identity in the file, so they are matched by content: equal notes
// first, then a remaining note of the ancestor with a remaining note of the same title (an edited
// text), then of the same text (a new title). Changes to different notes, additions, deletions
// and moves merge cleanly; an order changed on both sides keeps ours. A note changed on both sides,
// or changed on one and deleted on the other, is kept in both versions, theirs right after ours
// and titled "TITLE (changed elsewhere)". Nothing either side holds is dropped unless the other
// side deleted it unchanged.
class CNoteBookMerge
{
public:
    static constexpr const char* kConflictSuffix = " (changed elsewhere)";

    // How sure the merge is that theirs grew from the ancestor. A guessed one (a backup picked by
    // its time for a sync tool's conflict copy) may hold notes theirs never had: a note missing
    // there is then not taken as deleted there, and stays as ours has it.
    enum class Ancestor
    {
        exact,
        guessed
    };

    // Where the merged notes' texts are: in memory of their own, or still in the sides' files, for
    // a caller that keeps both sides for as long as the merged notebook lives (the tool, which
    // then writes them from there a run at a time).
    enum class Texts
    {
        copied,
        inFiles
    };

    struct Result
    {
        // What theirs brought: notes changed, added, deleted and moved.
        std::size_t changes = 0;
        // Notes kept twice, or kept although one side deleted them.
        std::size_t conflicts = 0;
    };

    // Fills merged, an empty notebook, with the merge of ours and theirs against their ancestor.
    // Theirs' strings move into merged, ours' are copied and ours is left whole. Password, view
    // settings, code page, key and path come from ours.
    static Result Merge(const std::vector<NoteFingerprint>& ancestor, CNoteBook& ours, CNoteBook& theirs,
                        CNoteBook& merged, Ancestor kind = Ancestor::exact, Texts texts = Texts::copied);
    // Without an ancestor: every note of both, ours' order first, a note of theirs that differs
    // from one of ours with the same title kept after it as a conflict.
    static Result MergeTwoWay(CNoteBook& ours, CNoteBook& theirs, CNoteBook& merged,
                              Texts texts = Texts::copied);

    // Takes over ours' password, key, view settings, code page, file version and path.
    static void CopySettings(const CNoteBook& from, CNoteBook& to);
};
