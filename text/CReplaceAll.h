#pragma once

#include "model/CTextCodec.h"
#include "platform/CWholeMapping.h"
#include "text/CTextReplacer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CNote;
class CNoteBook;

// Replace All over a notebook as one step that can be taken back. Only what was replaced is kept
// for that, not the notes' old texts, so the notebook is never held twice. The pass can go a few
// notes at a time (Start, Continue, then Finish or Abandon), so that the window stays alive.
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
    // The same in parts. The notebook and the replacer stay unchanged by anyone else until Finish
    // or Abandon.
    void Start(const CNoteBook& book, std::vector<std::int32_t> serials = {});
    // Replaces in up to `notes` more notes; false once every note is done or a regular expression
    // ran away.
    bool Continue(CNoteBook& book, CTextReplacer& replacer, std::size_t notes);
    std::size_t GetDone() const { return m_next; }
    std::size_t GetTotal() const { return m_total; }
    // The pass ends and can be undone.
    Outcome Finish(CNoteBook& book);
    // The pass ends with every note it changed put back as it was; the step before it can still
    // be undone.
    void Abandon(CNoteBook& book);

    // How many occurrences there are, without changing anything.
    static Outcome Count(const CNoteBook& book, CTextMatcher& matcher);

    bool CanUndo() const { return !m_record.notes.empty(); }
    // Puts the notes back. A note edited since, or deleted, is left as it is and counted in
    // skipped. Returns the serials of the notes put back.
    std::vector<std::int32_t> Undo(CNoteBook& book, std::size_t& skipped);
    void Forget();

private:
    // One changed note. Its edits and the bytes they took out follow those of the note before,
    // so a note costs no allocations of its own.
    struct NoteStep
    {
        std::int32_t serial;
        std::int32_t title; // in titles, or -1 when the title stayed
        std::size_t edits;
        std::size_t newTextSize;
        std::size_t newTextHash;
        std::optional<TextEncoding> titleCodePage;
        std::optional<TextEncoding> textCodePage;
    };
    bool ReplaceIn(CNote& note, CTextReplacer& replacer);
    // Puts back what can be; returns the serials put back.
    std::vector<std::int32_t> Restore(CNoteBook& book, std::size_t& skipped);
    bool IsUnchangedSince(const CNote& note, const NoteStep& step);

    std::vector<std::int32_t> m_serials; // the notes of the pass; none for every note
    std::size_t m_next = 0;
    std::size_t m_total = 0;
    Outcome m_outcome;
    std::optional<CWholeMapping> m_whole; // while a pass reads a file out of its order

    struct Record
    {
        std::vector<NoteStep> notes;
        std::vector<CTextReplacer::Edit> edits;
        std::string removed;
        std::vector<std::pair<std::string, std::string>> titles; // old and new
    };
    Record m_record;
    Record m_previous;     // the step a pass under way takes the place of
    std::string m_scratch; // one note's new text, its room kept from note to note
    std::string m_stored;  // one note's text as read from the notebook's file
};
