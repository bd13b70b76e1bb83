#pragma once

#include "model/CNoteBookMerge.h"

#include <memory>
#include <string>

class CNoteBook;

// Merges another version of a notebook file into the open notebook. The other versions are read
// with the open notebook's password or passphrase and without a word to the window, whose view
// settings stay as they are.
class CBookMerger
{
public:
    struct Outcome
    {
        // Null when a version could not be read; the reader has said why.
        std::unique_ptr<CNoteBook> merged;
        CNoteBookMerge::Result result;
    };

    // With an empty ancestor a two-way merge that keeps every note of both. A version the reader
    // had to fill out is named to the user, and no note missing from it counts as deleted: theirs
    // merges as against a guessed ancestor, the open notebook two-way. The open notebook's notes
    // move into the merged one, which takes its place; on failure it is left whole.
    static Outcome Merge(CNoteBook& open, const std::string& theirs, const std::string& ancestor,
                         CNoteBookMerge::Ancestor kind);

private:
    static std::unique_ptr<CNoteBook> ReadLike(const CNoteBook& open, const std::string& path);
    static std::string ShownName(const CNoteBook& open, const std::string& path);
    static void TellDamaged(const std::string& name);
};
