#include "model/CNoteBook.h"
#include "model/CNoteBookMerge.h"
#include "model/HashedKeySort.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>

namespace {

using Note = std::pair<std::string, std::string>;
using Notes = std::vector<Note>;

void Fill(CNoteBook& book, const Notes& notes)
{
    for (const auto& [title, text] : notes) {
        CNote* note = book.AddNote(true, false);
        note->Title() = title;
        note->Text() = text;
    }
}

Notes Contents(const CNoteBook& book)
{
    Notes notes;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        notes.emplace_back(book.GetNoteAtIndex(i)->GetTitle(), book.GetNoteAtIndex(i)->GetText());
    return notes;
}

struct Merged
{
    Notes notes;
    CNoteBookMerge::Result result;
};

Merged Merge3(const Notes& base, const Notes& ours, const Notes& theirs,
              CNoteBookMerge::Ancestor kind = CNoteBookMerge::Ancestor::exact)
{
    CNoteBook b, o, t, m;
    Fill(b, base);
    Fill(o, ours);
    Fill(t, theirs);
    const CNoteBookMerge::Result result = CNoteBookMerge::Merge(CNoteMatcher::Fingerprints(b), o, t, m, kind);
    // Numbered as a notebook read from its file, whatever the sides were.
    for (std::size_t i = 0; i < m.GetCount(); ++i)
        EXPECT_EQ(m.GetNoteAtIndex(i)->GetSerial(), static_cast<std::int32_t>(i + 1));
    return {Contents(m), result};
}

const std::string kCopy = CNoteBookMerge::kConflictSuffix;

} // namespace

TEST(NoteBookMerge, ChangesToDifferentNotesAddsDeletionsAndMovesMergeCleanly)
{
    const Notes base = {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}};
    // Ours: edits a, deletes c, adds x after b. Theirs: edits e's text, retitles d, moves b to the end,
    // adds y at the front.
    const Notes ours = {{"a", "1 mine"}, {"b", "2"}, {"x", "new here"}, {"d", "4"}, {"e", "5"}};
    const Notes theirs = {{"y", "new there"}, {"a", "1"},        {"c", "3"},
                          {"D", "4"},         {"e", "5 theirs"}, {"b", "2"}};
    const Merged merged = Merge3(base, ours, theirs);
    EXPECT_EQ(merged.notes, (Notes{{"y", "new there"},
                                   {"a", "1 mine"},
                                   {"x", "new here"},
                                   {"D", "4"},
                                   {"e", "5 theirs"},
                                   {"b", "2"}}));
    EXPECT_EQ(merged.result.conflicts, 0u);
    // y added, D retitled, e edited, b moved.
    EXPECT_EQ(merged.result.changes, 4u);
}

TEST(NoteBookMerge, ANoteChangedOnBothSidesOrChangedAndDeletedIsKeptTwice)
{
    const Notes base = {{"plan", "v1"}, {"list", "eggs"}, {"gone", "x"}, {"kept", "k"}};
    const Notes ours = {{"plan", "v2 ours"}, {"list", "eggs"}, {"kept", "k edited"}};
    const Notes theirs = {{"plan", "v2 theirs"}, {"gone", "x edited"}, {"list", "eggs"}};
    const Merged merged = Merge3(base, ours, theirs);
    EXPECT_EQ(merged.notes, (Notes{{"plan", "v2 ours"},
                                   {"plan" + kCopy, "v2 theirs"},
                                   {"gone" + kCopy, "x edited"},
                                   {"list", "eggs"},
                                   {"kept", "k edited"}}));
    EXPECT_EQ(merged.result.conflicts, 3u);

    // The same change on both sides is no conflict.
    const Merged same = Merge3(base, ours, ours);
    EXPECT_EQ(same.notes, ours);
    EXPECT_EQ(same.result.conflicts, 0u);
}

TEST(NoteBookMerge, ASortOnOneSideIsAReorderingNotAConflict)
{
    Notes base;
    for (int i = 0; i < 200; ++i)
        base.emplace_back("t" + std::to_string((i * 37) % 200 + 1000), "text " + std::to_string(i));
    Notes sorted = base;
    std::sort(sorted.begin(), sorted.end());
    Notes edited = base;
    edited[10].second = "edited here";
    edited.erase(edited.begin() + 50);

    const Merged merged = Merge3(base, edited, sorted);
    Notes expected = edited;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(merged.notes, expected);
    EXPECT_EQ(merged.result.conflicts, 0u);

    // And the other way round: ours sorted keeps ours' order with their edit in it.
    const Merged other = Merge3(base, sorted, edited);
    EXPECT_EQ(other.notes, expected);
}

TEST(NoteBookMerge, StringsKeepTheirCodePagesAndTheNotebookItsSettingsFromOurs)
{
    CNoteBook base, ours, theirs, merged;
    Fill(base, {{"caf\xC3\xA9", "old"}, {"plain", "p"}});
    Fill(ours, {{"caf\xC3\xA9", "old"}, {"plain", "p edited"}});
    Fill(theirs, {{"caf\xC3\xA9", "new \xC3\xA9t\xC3\xA9"}, {"plain", "p"}});
    for (CNoteBook* book : {&base, &ours, &theirs})
        book->GetNoteAtIndex(0)->SetCodePages(TextEncoding::windows1252, std::nullopt);
    theirs.SetEncoding(TextEncoding::windows1252);
    ours.SetPassword("secret");
    ours.GetViewSettings().m_bWordWrap = true;
    theirs.SetPassword("other");
    ours.GetPath().SetPath("/tmp/ours.pelm");

    CNoteBookMerge::Merge(CNoteMatcher::Fingerprints(base), ours, theirs, merged);
    ASSERT_EQ(merged.GetCount(), 2u);
    const CNote& cafe = *merged.GetNoteAtIndex(0);
    EXPECT_EQ(cafe.GetText(), "new \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(cafe.GetTitleCodePage(), TextEncoding::windows1252);
    // Their text was stored in their notebook's code page and stays in it.
    EXPECT_EQ(cafe.GetTextCodePage(), TextEncoding::windows1252);
    EXPECT_EQ(merged.GetEncoding(), TextEncoding::utf8);
    EXPECT_EQ(merged.GetPassword(), "secret");
    EXPECT_TRUE(merged.GetViewSettings().m_bWordWrap);
    EXPECT_EQ(merged.GetPath().GetPath(), "/tmp/ours.pelm");

    // A string that differs only in its code page is a different note.
    CNoteBook b2, o2, t2, m2;
    Fill(b2, {{"caf\xC3\xA9", "x"}});
    Fill(o2, {{"caf\xC3\xA9", "x"}});
    Fill(t2, {{"caf\xC3\xA9", "x"}});
    t2.GetNoteAtIndex(0)->SetCodePages(TextEncoding::windows1252, std::nullopt);
    CNoteBookMerge::Merge(CNoteMatcher::Fingerprints(b2), o2, t2, m2);
    ASSERT_EQ(m2.GetCount(), 1u);
    EXPECT_EQ(m2.GetNoteAtIndex(0)->GetTitleCodePage(), TextEncoding::windows1252);
}

// Sides read from their files keep their texts there: the merge reads each without keeping it, and
// merges what the same notes in memory merge, each string in the code page it had.
TEST(NoteBookMerge, SidesWhoseTextsStayInTheirFilesMergeAsInMemoryAndKeepThemThere)
{
    // Texts longer than a string keeps in itself, so that reading leaves them in the file.
    const std::string l = " and words enough to be stored";
    // Longer than a pass copies at a time, and short enough to be kept.
    const Note kept[] = {{"long", std::string(300 * 1024, 'x') + "\xC3\xA9"}, {"short", "kept"}};
    const Notes base = {{"a", "one" + l},  {"b", "two" + l}, {"caf\xC3\xA9", "na\xC3\xAFve" + l},
                        {"d", "four" + l}, kept[0],          kept[1]};
    const Notes ours = {{"a", "one, ours" + l}, {"b", "two" + l}, {"caf\xC3\xA9", "na\xC3\xAFve" + l},
                        {"e", "new" + l},       kept[0],          kept[1]};
    const Notes theirs = {
        {"b", "two" + l},    {"a", "one" + l}, {"caf\xC3\xA9", "na\xC3\xAFve \xC3\xA9t\xC3\xA9" + l},
        {"f", "theirs" + l}, kept[0],          kept[1]};
    TempDir dir;
    std::vector<std::unique_ptr<CNoteBook>> read;
    std::vector<std::vector<NoteFingerprint>> prints; // each text read and hashed after the read
    for (const Notes* notes : {&base, &ours, &theirs}) {
        CNoteBook written;
        Fill(written, *notes);
        written.SetEncoding(TextEncoding::windows1252);
        const std::string path = dir.File(std::to_string(read.size()) + ".pelm");
        ASSERT_TRUE(written.WriteFile(path));
        read.push_back(std::make_unique<CNoteBook>());
        ASSERT_TRUE(read.back()->ReadFile(path));
        ASSERT_TRUE(read.back()->GetNoteAtIndex(0)->HasStoredText());
        prints.push_back(CNoteMatcher::Fingerprints(*read.back()));
    }
    std::vector<bool> stored;
    for (const auto& book : read)
        for (std::size_t i = 0; i < book->GetCount(); ++i)
            stored.push_back(book->GetNoteAtIndex(i)->HasStoredText());
    CNoteBook merged;
    const CNoteBookMerge::Result result =
        CNoteBookMerge::Merge(CNoteMatcher::Fingerprints(*read[0]), *read[1], *read[2], merged);
    const Merged inMemory = Merge3(base, ours, theirs);
    EXPECT_EQ(Contents(merged), inMemory.notes);
    EXPECT_EQ(result.conflicts, inMemory.result.conflicts);
    std::vector<bool> storedAfter;
    for (const auto& book : read)
        for (std::size_t i = 0; i < book->GetCount(); ++i)
            storedAfter.push_back(book->GetNoteAtIndex(i)->HasStoredText());
    EXPECT_EQ(storedAfter, stored) << "no text of the sides is kept in memory";
    for (std::size_t i = 0; i < merged.GetCount(); ++i) {
        if (merged.GetNoteAtIndex(i)->GetTitle() == "caf\xC3\xA9") {
            EXPECT_EQ(merged.GetNoteAtIndex(i)->GetTextCodePage(), TextEncoding::windows1252);
        }
    }

    // Left in the sides' files, the texts are written from there as the copies are. The first merge
    // took theirs' strings: the sides are read again for each, hashed as they are read.
    const auto readSides = [&] {
        for (std::size_t i = 0; i < read.size(); ++i) {
            read[i] = std::make_unique<CNoteBook>();
            read[i]->HashTextsOnRead();
            ASSERT_TRUE(read[i]->ReadFile(dir.File(std::to_string(i) + ".pelm")));
        }
    };
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ASSERT_TRUE(merged.WriteFile(dir.File("copied.pelm")));
    readSides();
    // The hashes the read took are those the texts give, in every code page.
    for (std::size_t b = 0; b < read.size(); ++b) {
        const std::vector<NoteFingerprint> fromRead = CNoteMatcher::Fingerprints(*read[b]);
        ASSERT_EQ(fromRead.size(), prints[b].size());
        for (std::size_t i = 0; i < fromRead.size(); ++i)
            EXPECT_TRUE(fromRead[i].SameContent(prints[b][i]) && fromRead[i].text == prints[b][i].text) << i;
    }
    CNoteBook inFiles;
    CNoteBookMerge::Merge(CNoteMatcher::Fingerprints(*read[0]), *read[1], *read[2], inFiles,
                          CNoteBookMerge::Ancestor::exact, CNoteBookMerge::Texts::inFiles);
    ASSERT_TRUE(inFiles.WriteFile(dir.File("in-files.pelm")));
    EXPECT_EQ(bytes(dir.File("in-files.pelm")), bytes(dir.File("copied.pelm")));
    read[0]->GetNoteAtIndex(0)->Text() = read[0]->GetNoteAtIndex(1)->GetText();
    EXPECT_EQ(CNoteMatcher::Fingerprints(*read[0])[0].text, prints[0][1].text) << "edited since: hashed anew";

    // Theirs written over in place before the save: its texts are gone, and nothing is written in
    // their stead.
    readSides();
    CNoteBook again;
    CNoteBookMerge::Merge(CNoteMatcher::Fingerprints(*read[0]), *read[1], *read[2], again,
                          CNoteBookMerge::Ancestor::exact, CNoteBookMerge::Texts::inFiles);
    {
        std::string changed = bytes(dir.File("2.pelm"));
        for (std::size_t i = 200; i < changed.size(); ++i)
            changed[i] = static_cast<char>(changed[i] ^ 0x5A);
        std::fstream out(dir.File("2.pelm"), std::ios::in | std::ios::out | std::ios::binary);
        out.write(changed.data(), static_cast<std::streamsize>(changed.size()));
    }
    MessageBoxRecorder boxes;
    EXPECT_FALSE(again.WriteFile(dir.File("in-files.pelm")));
    EXPECT_EQ(bytes(dir.File("in-files.pelm")), bytes(dir.File("copied.pelm")));
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(NoteBookMerge, AGuessedAncestorNeverTakesANoteOfOursAsDeletedThere)
{
    // The guess holds k, which the copy never had; ours keeps k unchanged.
    const Notes base = {{"a", "1"}, {"k", "kept"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}};
    const Notes ours = {{"a", "1 mine"}, {"k", "kept"}, {"b", "2"}, {"d", "4 mine"}, {"e", "5"}};
    const Notes theirs = {{"n", "new there"}, {"a", "1"}, {"b", "2 theirs"},
                          {"c", "3"},         {"e", "5"}, {"d", "4 theirs"}};

    const Merged exact = Merge3(base, ours, theirs);
    EXPECT_EQ(std::count(exact.notes.begin(), exact.notes.end(), Note{"k", "kept"}), 0)
        << "an exact ancestor takes k as deleted there";

    // Everything else merges as with an exact ancestor: their addition, their edit, their move,
    // a note changed on both sides kept twice, and our deletion of c.
    const Merged guessed = Merge3(base, ours, theirs, CNoteBookMerge::Ancestor::guessed);
    EXPECT_EQ(guessed.notes, (Notes{{"n", "new there"},
                                    {"a", "1 mine"},
                                    {"k", "kept"},
                                    {"b", "2 theirs"},
                                    {"e", "5"},
                                    {"d", "4 mine"},
                                    {"d" + kCopy, "4 theirs"}}));
    EXPECT_EQ(guessed.result.conflicts, 1u);
    EXPECT_EQ(guessed.result.changes, exact.result.changes - 1) << "k's deletion is no change";
}

TEST(NoteBookMerge, TwoWayKeepsEveryNoteOfBoth)
{
    CNoteBook ours, theirs, merged;
    Fill(ours, {{"a", "1"}, {"b", "2"}, {"c", "3"}});
    Fill(theirs, {{"a", "1"}, {"n", "new"}, {"b", "2 changed"}, {"c", "3"}});
    const CNoteBookMerge::Result result = CNoteBookMerge::MergeTwoWay(ours, theirs, merged);
    EXPECT_EQ(Contents(merged),
              (Notes{{"a", "1"}, {"n", "new"}, {"b", "2"}, {"b" + kCopy, "2 changed"}, {"c", "3"}}));
    EXPECT_EQ(result.conflicts, 1u);
}

namespace {

// A random edit script: edits, retitles, deletions, insertions, moves and now and then a sort.
void RandomEdits(Notes& notes, std::mt19937& rng, int steps, const std::string& tag)
{
    for (int s = 0; s < steps; ++s) {
        const auto pick = [&] {
            return std::uniform_int_distribution<std::size_t>(0, notes.size() - 1)(rng);
        };
        const int op = std::uniform_int_distribution<int>(0, 20)(rng);
        if (notes.empty() || op < 4) {
            const std::size_t at = notes.empty() ? 0 : pick();
            notes.insert(notes.begin() + static_cast<std::ptrdiff_t>(at),
                         {"n" + std::to_string(rng() % 30), tag + std::to_string(s)});
        } else if (op < 9) {
            notes[pick()].second += " " + tag + std::to_string(s);
        } else if (op < 11) {
            notes[pick()].first += tag;
        } else if (op < 14) {
            notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(pick()));
        } else if (op < 20) {
            const std::size_t from = pick();
            const Note note = notes[from];
            notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(from));
            notes.insert(notes.begin() + static_cast<std::ptrdiff_t>(notes.empty() ? 0 : pick()), note);
        } else {
            std::stable_sort(notes.begin(), notes.end(),
                             [](const Note& a, const Note& b) { return a.first < b.first; });
        }
    }
}

std::map<Note, int> Count(const Notes& notes)
{
    std::map<Note, int> counts;
    for (const Note& note : notes)
        ++counts[note];
    return counts;
}

} // namespace

TEST(NoteBookMerge, RandomEditScriptsLoseNothingAndOneUnchangedSideGivesTheOther)
{
    std::mt19937 rng(20261209);
    for (int round = 0; round < 300; ++round) {
        Notes base;
        const int size = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int i = 0; i < size; ++i)
            base.emplace_back("n" + std::to_string(rng() % 30), "base " + std::to_string(rng() % 8));
        Notes ours = base;
        Notes theirs = base;
        RandomEdits(ours, rng, std::uniform_int_distribution<int>(0, 8)(rng), "o");
        RandomEdits(theirs, rng, std::uniform_int_distribution<int>(0, 8)(rng), "t");

        EXPECT_EQ(Merge3(base, ours, base).notes, ours) << "round " << round;
        EXPECT_EQ(Merge3(base, base, theirs).notes, theirs) << "round " << round;

        // Every note that either side added or changed is there (a conflict copy by its title
        // without the mark), and every note both kept unchanged.
        const Merged merged = Merge3(base, ours, theirs);
        Notes unmarked = merged.notes;
        for (Note& note : unmarked)
            if (note.first.size() > kCopy.size() &&
                note.first.compare(note.first.size() - kCopy.size(), kCopy.size(), kCopy) == 0)
                note.first.resize(note.first.size() - kCopy.size());
        const std::map<Note, int> have = Count(unmarked);
        const std::map<Note, int> inBase = Count(base);
        const std::map<Note, int> inOurs = Count(ours);
        const std::map<Note, int> inTheirs = Count(theirs);
        for (const auto* side : {&inOurs, &inTheirs})
            for (const auto& [note, count] : *side) {
                const auto b = inBase.find(note);
                const int fresh = count - (b == inBase.end() ? 0 : b->second);
                const auto h = have.find(note);
                EXPECT_GE(h == have.end() ? 0 : h->second, fresh) << "round " << round << ": " << note.first;
            }
        for (const auto& [note, count] : inBase) {
            const auto o = inOurs.find(note);
            const auto t = inTheirs.find(note);
            const int both =
                std::min({count, o == inOurs.end() ? 0 : o->second, t == inTheirs.end() ? 0 : t->second});
            const auto h = have.find(note);
            EXPECT_GE(h == have.end() ? 0 : h->second, both) << "round " << round << ": " << note.first;
        }
        // A guessed ancestor keeps every note the exact one keeps, and no change there gives ours.
        EXPECT_EQ(Merge3(base, ours, base, CNoteBookMerge::Ancestor::guessed).notes, ours)
            << "round " << round;
        const std::map<Note, int> guessed =
            Count(Merge3(base, ours, theirs, CNoteBookMerge::Ancestor::guessed).notes);
        for (const auto& [note, count] : Count(merged.notes)) {
            const auto g = guessed.find(note);
            EXPECT_GE(g == guessed.end() ? 0 : g->second, count) << "round " << round << ": " << note.first;
        }
        // Two-way: every note of both.
        CNoteBook o, t, m;
        Fill(o, ours);
        Fill(t, theirs);
        CNoteBookMerge::MergeTwoWay(o, t, m);
        Notes two = Contents(m);
        for (Note& note : two)
            if (note.first.size() > kCopy.size() &&
                note.first.compare(note.first.size() - kCopy.size(), kCopy.size(), kCopy) == 0)
                note.first.resize(note.first.size() - kCopy.size());
        const std::map<Note, int> twoCount = Count(two);
        for (const auto* side : {&inOurs, &inTheirs})
            for (const auto& [note, count] : *side)
                EXPECT_GE(twoCount.count(note) ? twoCount.at(note) : 0, count) << "round " << round;
    }
}

// The matcher's keys are sorted as std::sort sorts them, below and above the size the buckets start
// at, with repeated keys kept in index order and keys that all share their leading bits.
TEST(NoteBookMerge, HashedKeysSortAsStdSortDoesForAnyKeys)
{
    std::mt19937_64 rng(20261210);
    using Pairs = std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, std::int32_t>>;
    const std::vector<std::function<std::uint64_t()>> keys = {
        [&] { return rng(); },
        [&] { return rng() % 50; },
        [&] { return 0xFFFF000000000000ull | rng() % 1000; },
    };
    for (std::size_t size : {0, 1, 4095, 4096, 70000})
        for (const auto& key : keys) {
            Pairs items(size);
            for (std::size_t i = 0; i < size; ++i)
                items[i] = {{key(), rng() % 3}, static_cast<std::int32_t>(i)};
            Pairs expected = items;
            std::sort(expected.begin(), expected.end());
            HashedKey::Sort(items);
            EXPECT_EQ(items, expected) << size;
        }
}
