#pragma once

#include "model/CTextCodec.h"
#include "model/CTextSpill.h"
#include "platform/CWholeMapping.h"
#include "text/CTextReplacer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CNote;
class CNoteBook;

// Replace All over a notebook as one step that can be taken back. Only what was replaced is kept
// for that, not the notes' old texts, so the notebook is never held twice. Both the pass and its
// undoing can go a few notes at a time, so that a window stays alive: Start, Continue, then Finish;
// or StartUndo, ContinueUndo, then FinishUndo, which puts back a pass under way as if it never
// began.
class CReplaceAll
{
public:
    // Changed texts leave memory for a file of the process's own a batch of this many bytes at a
    // time.
    explicit CReplaceAll(std::size_t spillBatch = CTextSpill::kBatchBytes) : m_spill(spillBatch) {}

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
    // The same in parts. The notebook and the replacer stay unchanged by anyone else until the
    // pass is finished or undone.
    void Start(const CNoteBook& book, std::vector<std::int32_t> serials = {});
    // Replaces in up to `notes` more notes; false once every note is done or a regular expression
    // ran away.
    bool Continue(CNoteBook& book, CTextReplacer& replacer, std::size_t notes);
    Outcome Finish(CNoteBook& book);
    // Notes done and to do by the pass or the undoing under way.
    std::size_t GetDone() const { return m_undoing ? m_undo.note : m_next; }
    std::size_t GetTotal() const { return m_undoing ? m_record.notes.size() : m_total; }

    // How many occurrences there are, without changing anything.
    static Outcome Count(const CNoteBook& book, CTextMatcher& matcher);

    bool CanUndo() const { return !m_record.notes.empty(); }
    // Puts the notes back. A note edited since, or deleted, is left as it is and counted in
    // skipped. Returns the serials of the notes put back.
    std::vector<std::int32_t> Undo(CNoteBook& book, std::size_t& skipped);
    void StartUndo(CNoteBook& book);
    // Puts back up to `notes` more notes; false once all are.
    bool ContinueUndo(CNoteBook& book, std::size_t notes);
    // After a finished pass nothing is left to undo; after a pass under way, the step before it
    // can be undone again.
    std::vector<std::int32_t> FinishUndo(CNoteBook& book, std::size_t& skipped);
    void Forget();

private:
    // One changed note. Its edits and the bytes they took out follow those of the note before,
    // so a note costs no allocations of its own.
    struct NoteStep
    {
        std::int32_t serial;
        std::int32_t title; // in titles, or -1 when the title stayed
        std::size_t editBytes;
        std::size_t newTextHash;
        std::optional<TextEncoding> titleCodePage;
        std::optional<TextEncoding> textCodePage;
    };
    struct Record
    {
        std::vector<NoteStep> notes;
        // Each edit as three numbers of seven bits a byte: the distance from the end of the edit
        // before in the new text, its new length, and its old length doubled, plus one when it
        // took out the same bytes as the edit before it. Mostly three bytes an edit.
        std::string edits;
        // What the edits took out, each only where it differs from the edit before: a word
        // replaced a million times is kept once.
        std::string removed;
        std::vector<std::pair<std::string, std::string>> titles; // old and new
    };
    // Where an undoing has got to in the record.
    struct UndoPlace
    {
        std::size_t note = 0;
        std::size_t edits = 0;
        std::size_t removed = 0;
        std::string lastRemoved;
    };

    bool ReplaceIn(CNoteBook& book, CNote& note, CTextReplacer& replacer);
    void Keep(const std::vector<CTextReplacer::Edit>& edits, std::size_t removedFrom);
    // The note's edits, and what they took out into m_noteRemoved.
    void Unpack(const NoteStep& step);
    bool IsUnchangedSince(const CNote& note, std::string_view text, const NoteStep& step);
    void EndPass();

    std::vector<std::int32_t> m_serials; // the notes of the pass; none for every note
    std::size_t m_next = 0;
    std::size_t m_total = 0;
    bool m_passing = false;
    Outcome m_outcome;
    std::optional<CWholeMapping> m_whole; // while a pass reads a file out of its order
    CTextSpill m_spill;                   // the pass's changed texts
    bool m_sweepAfter = false;            // files of earlier passes' texts to let go of

    Record m_record;
    Record m_previous; // the step a pass under way takes the place of
    bool m_undoing = false;
    UndoPlace m_undo;
    std::vector<std::int32_t> m_restored;
    std::size_t m_skipped = 0;

    std::string m_lastRemoved;                    // by the pass's last edit
    std::vector<CTextReplacer::Edit> m_noteEdits; // one note's, unpacked
    std::string m_noteRemoved;                    // what they took out
    std::string m_scratch;                        // one note's new text, its room kept from note to note
    std::string m_stored;                         // one note's text as read from the notebook's file
};
