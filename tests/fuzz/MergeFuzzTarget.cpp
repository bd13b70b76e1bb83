#include "fuzz/MergeFuzzTarget.h"

#include "fuzz/FuzzScratch.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookMerge.h"
#include "support/NoteBookBytes.h"

#include <set>
#include <string>

namespace {

struct MergeFiles
{
    std::string base; // empty: no ancestor
    std::string ours;
    std::string theirs;
};

bool Split(std::string_view input, const FuzzScratch& scratch, MergeFiles& files)
{
    const std::size_t first = input.find(kMergeSideBreak);
    if (first == std::string_view::npos)
        return false;
    const std::size_t second = input.find(kMergeSideBreak, first + kMergeSideBreak.size());
    if (second == std::string_view::npos)
        return false;
    const std::string_view base = input.substr(0, first);
    files.base = base.empty() ? std::string() : scratch.Write("base.pelm", base);
    const std::size_t oursAt = first + kMergeSideBreak.size();
    files.ours = scratch.Write("ours.pelm", input.substr(oursAt, second - oursAt));
    files.theirs = scratch.Write("theirs.pelm", input.substr(second + kMergeSideBreak.size()));
    return true;
}

// A merge of two files read afresh, with the result and the notes it made.
struct Merged
{
    CNoteBookMerge::Result result;
    FuzzNotes notes;
};

Merged MergeAgain(const std::vector<NoteFingerprint>* ancestor, const std::string& ours,
                  const std::string& theirs, CNoteBookMerge::Ancestor kind = CNoteBookMerge::Ancestor::exact)
{
    CNoteBook mine;
    CNoteBook other;
    FuzzCheck(mine.ReadFile(ours) && other.ReadFile(theirs), "a side that opened once opens again");
    CNoteBook merged;
    Merged m;
    m.result = ancestor ? CNoteBookMerge::Merge(*ancestor, mine, other, merged, kind)
                        : CNoteBookMerge::MergeTwoWay(mine, other, merged);
    m.notes = NotesOf(merged);
    return m;
}

bool Unchanged(const Merged& m)
{
    return m.result.changes == 0 && m.result.conflicts == 0;
}

// A note new on one side, or changed there, is in the merge: ours as it is, theirs as it is or
// titled as a conflict's copy. Only a deletion on one side of a note the other left alone drops one.
void CheckNothingLost(const FuzzNotes& base, const FuzzNotes& ours, const FuzzNotes& theirs,
                      const FuzzNotes& merged)
{
    const std::set<FuzzNotes::value_type> before(base.begin(), base.end());
    const std::set<FuzzNotes::value_type> after(merged.begin(), merged.end());
    for (const auto& note : ours)
        if (before.count(note) == 0)
            FuzzCheck(after.count(note) == 1, "a note new or changed in ours is kept");
    for (const auto& [title, text] : theirs)
        if (before.count({title, text}) == 0)
            FuzzCheck(after.count({title, text}) == 1 ||
                          after.count({title + CNoteBookMerge::kConflictSuffix, text}) == 1,
                      "a note new or changed in theirs is kept");
    FuzzCheck(merged.size() <= ours.size() + theirs.size(), "the merge holds no note neither side has");
}

// What the tool writes reads back as it was, and once read, saves to the same bytes again. (The
// first save's bytes differ in the notes' serial numbers, which count every note made meanwhile.)
void CheckSaved(CNoteBook& merged, const FuzzScratch& scratch)
{
    const CNote* unstorable = nullptr;
    if (merged.FindUnstorable(unstorable))
        return; // the tool writes nothing then
    // Saved plain: an encrypted save would derive a key at full cost each time.
    merged.SetSecret(nullptr);
    const std::string first = scratch.File("merged.pelm");
    const std::string second = scratch.File("again.pelm");
    FuzzCheck(merged.WriteFile(first), "the merge can be saved");
    CNoteBook again;
    FuzzCheck(again.ReadFile(first), "the saved merge can be read");
    FuzzCheck(SameNotes(merged, again), "the merge's notes survive a save");
    FuzzCheck(again.WriteFile(second), "the merge read back can be saved");
    CNoteBook third;
    FuzzCheck(third.ReadFile(second) && third.WriteFile(first), "the merge saves again");
    FuzzCheck(NoteBookBytes::Load(first) == NoteBookBytes::Load(second), "the merge saves to the same bytes");
}

// A side merged with itself, or against an ancestor the other side left as it was, is that side.
void CheckIdentities(const MergeFiles& files, const std::vector<NoteFingerprint>& ancestor,
                     const std::vector<NoteFingerprint>& oursPrints, const FuzzNotes& ours,
                     const FuzzNotes& theirs)
{
    const Merged self = MergeAgain(&oursPrints, files.ours, files.ours);
    FuzzCheck(self.notes == ours && Unchanged(self), "ours merged with itself is ours");
    const Merged twoWay = MergeAgain(nullptr, files.theirs, files.theirs);
    FuzzCheck(twoWay.notes == theirs && Unchanged(twoWay), "theirs merged two-way with itself is theirs");
    if (files.base.empty())
        return;
    const Merged onlyOurs = MergeAgain(&ancestor, files.ours, files.base);
    FuzzCheck(onlyOurs.notes == ours && Unchanged(onlyOurs), "ours against an unchanged theirs is ours");
    const Merged onlyTheirs = MergeAgain(&ancestor, files.base, files.theirs);
    FuzzCheck(onlyTheirs.notes == theirs && onlyTheirs.result.conflicts == 0,
              "theirs against an unchanged ours is theirs");
}

// With an ancestor only guessed, a note theirs lacks is not taken as deleted there: the merge keeps
// what the merge with the exact ancestor keeps, and perhaps more, with the same conflicts.
void CheckGuessed(const MergeFiles& files, const std::vector<NoteFingerprint>& ancestor, const Merged& exact)
{
    const Merged guessed = MergeAgain(&ancestor, files.ours, files.theirs, CNoteBookMerge::Ancestor::guessed);
    const std::set<FuzzNotes::value_type> kept(guessed.notes.begin(), guessed.notes.end());
    for (const auto& note : exact.notes)
        FuzzCheck(kept.count(note) == 1, "a guessed ancestor keeps what the exact one keeps");
    FuzzCheck(guessed.notes.size() >= exact.notes.size() &&
                  guessed.result.conflicts == exact.result.conflicts,
              "a guessed ancestor finds the same conflicts");
}

} // namespace

bool FuzzNoteBookMerge(const std::uint8_t* data, std::size_t size)
{
    static const FuzzScratch scratch;
    AnswerPromptsForFuzzing();
    MergeFiles files;
    if (!Split(std::string_view(reinterpret_cast<const char*>(data), size), scratch, files))
        return false;
    // The ancestor is needed only as fingerprints, as in the tool.
    std::vector<NoteFingerprint> ancestor;
    FuzzNotes base;
    if (!files.base.empty()) {
        CNoteBook book;
        if (!book.ReadFile(files.base))
            return false;
        ancestor = CNoteMatcher::Fingerprints(book);
        base = NotesOf(book);
    }
    CNoteBook ours;
    CNoteBook theirs;
    if (!ours.ReadFile(files.ours) || !theirs.ReadFile(files.theirs))
        return false;
    const FuzzNotes ourNotes = NotesOf(ours);
    const FuzzNotes theirNotes = NotesOf(theirs);
    const std::vector<NoteFingerprint> oursPrints = CNoteMatcher::Fingerprints(ours);
    CNoteBook merged;
    Merged exact;
    exact.result = files.base.empty() ? CNoteBookMerge::MergeTwoWay(ours, theirs, merged)
                                      : CNoteBookMerge::Merge(ancestor, ours, theirs, merged);
    exact.notes = NotesOf(merged);
    CheckNothingLost(base, ourNotes, theirNotes, exact.notes);
    CheckSaved(merged, scratch);
    CheckIdentities(files, ancestor, oursPrints, ourNotes, theirNotes);
    if (!files.base.empty())
        CheckGuessed(files, ancestor, exact);
    return true;
}
