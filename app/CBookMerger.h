#pragma once

#include "model/CNoteBookMerge.h"

#include <functional>
#include <memory>
#include <string>

class CNoteBook;
class QWidget;

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
        // The user gave the merge up: both notebooks are as they were.
        bool cancelled = false;
    };

    // With an empty ancestor a two-way merge that keeps every note of both. A version the reader
    // had to fill out is named to the user, and no note missing from it counts as deleted: theirs
    // merges as against a guessed ancestor, the open notebook two-way. The open notebook's notes
    // are copied into the merged one, which takes its place; the open one is left whole. The reads
    // and the merge run on a worker while the window repaints behind a progress dialog.
    static Outcome Merge(QWidget& window, CNoteBook& open, const std::string& theirs,
                         const std::string& ancestor, CNoteBookMerge::Ancestor kind);

private:
    static std::unique_ptr<CNoteBook> ReadQuietly(const std::string& path);
    static std::unique_ptr<CNoteBook> ReadAsking(const std::string& path);
    // Runs work on a worker, the window's events delivered meanwhile; false when the user pressed
    // Cancel, once the work has ended. The work may stop early once goOn says false.
    using GoOn = std::function<bool()>;
    static bool RunBeside(QWidget& window, const std::function<void(const GoOn& goOn)>& work);
    static std::string ShownName(const CNoteBook& open, const std::string& path);
    static void TellDamaged(const std::string& name);
};
