#pragma once

#include "text/CTextReplacer.h"

#include <cstdint>
#include <string>
#include <vector>

class CNote;
class CNoteBook;

// Replace All over a notebook as one step that can be taken back. Only what was replaced is kept
// for that, not the notes' old texts, so the notebook is never held twice.
class CReplaceAll
{
public:
    struct Outcome
    {
        std::int64_t occurrences = 0;
        std::int64_t notes = 0;
        // The note where a regular expression ran away, or -1. The notes before it stay replaced.
        std::int32_t stoppedAt = -1;
    };

    // Replaces in the titles and texts of the notes with these serials (every note when empty),
    // marking each changed note edited. Takes the place of an earlier step.
    Outcome Run(CNoteBook& book, CTextReplacer& replacer, const std::vector<std::int32_t>& serials = {});
    // How many occurrences there are, without changing anything.
    static Outcome Count(const CNoteBook& book, CTextMatcher& matcher);

    bool CanUndo() const { return !m_notes.empty(); }
    // Puts the notes back. A note edited since, or deleted, is left as it is and counted in
    // skipped. Returns the serials of the notes put back.
    std::vector<std::int32_t> Undo(CNoteBook& book, std::size_t& skipped);
    void Forget() { m_notes.clear(); }

private:
    struct NoteStep
    {
        std::int32_t serial;
        std::string oldTitle;
        std::string newTitle;
        bool titleChanged;
        std::vector<CTextReplacer::Edit> edits;
        std::string removed;
        std::size_t newTextSize;
        std::size_t newTextHash;
    };
    bool ReplaceIn(CNote& note, CTextReplacer& replacer, Outcome& outcome);

    std::vector<NoteStep> m_notes;
    std::string m_scratch; // one note's new text, its room kept from note to note
    std::string m_stored;  // one note's text as read from the notebook's file
};
