#include "model/CNoteBookMerge.h"

#include "model/CNoteBook.h"
#include "model/CTextCodec.h"
#include "model/HashedKeySort.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

constexpr std::int32_t kNone = CNoteMatcher::kNone;

enum class Side : std::uint8_t
{
    ours,
    theirs
};

// The merged order as a linked list over a vector, so that a note moves or is inserted at once.
// A conflict's second version (its trailer) travels with the first.
class MergedOrder
{
public:
    struct Item
    {
        Side side;
        std::int32_t index;
        bool conflictCopy;
        std::int32_t next;
        std::int32_t prev;
        std::int32_t trailer;
    };

    explicit MergedOrder(std::size_t room) { m_items.reserve(room); }

    std::int32_t Append(Side side, std::int32_t index) { return InsertAfter(m_tail, side, index, false); }
    std::int32_t AddTrailer(std::int32_t item, Side side, std::int32_t index)
    {
        const std::int32_t trailer = InsertAfter(item, side, index, true);
        m_items[item].trailer = trailer;
        return trailer;
    }
    // After is kNone for the front.
    std::int32_t InsertAfter(std::int32_t after, Side side, std::int32_t index, bool conflictCopy)
    {
        const auto id = static_cast<std::int32_t>(m_items.size());
        m_items.push_back({side, index, conflictCopy, kNone, kNone, kNone});
        Link(after, id, id);
        return id;
    }
    void MoveAfter(std::int32_t after, std::int32_t item)
    {
        const std::int32_t last = Last(item);
        if (after == item || after == last)
            return;
        Unlink(item, last);
        Link(after, item, last);
    }
    // The item itself, or its trailer when it has one.
    std::int32_t Last(std::int32_t item) const
    {
        return m_items[item].trailer == kNone ? item : m_items[item].trailer;
    }
    std::int32_t First() const { return m_head; }
    const Item& At(std::int32_t item) const { return m_items[item]; }

private:
    void Link(std::int32_t after, std::int32_t first, std::int32_t last)
    {
        const std::int32_t next = after == kNone ? m_head : m_items[after].next;
        m_items[first].prev = after;
        m_items[last].next = next;
        (after == kNone ? m_head : m_items[after].next) = first;
        (next == kNone ? m_tail : m_items[next].prev) = last;
    }
    void Unlink(std::int32_t first, std::int32_t last)
    {
        const std::int32_t prev = m_items[first].prev;
        const std::int32_t next = m_items[last].next;
        (prev == kNone ? m_head : m_items[prev].next) = next;
        (next == kNone ? m_tail : m_items[next].prev) = prev;
    }

    std::vector<Item> m_items;
    std::int32_t m_head = kNone;
    std::int32_t m_tail = kNone;
};

class ThreeWay
{
public:
    ThreeWay(const std::vector<NoteFingerprint>& ancestor, CNoteBook& ours, CNoteBook& theirs,
             bool keepTheirDeletions, CNoteBookMerge::Texts texts)
        : m_keepTheirDeletions(keepTheirDeletions), m_texts(texts), m_ours(ours), m_theirs(theirs),
          m_oursPrints(CNoteMatcher::Fingerprints(ours)), m_theirsPrints(CNoteMatcher::Fingerprints(theirs)),
          m_oursMatch(CNoteMatcher::Match(ancestor, m_oursPrints)),
          m_theirsMatch(CNoteMatcher::Match(ancestor, m_theirsPrints)),
          m_order(ours.GetCount() + theirs.GetCount()), m_itemOfTheirs(theirs.GetCount(), kNone),
          m_keepTheirs(theirs.GetCount(), false), m_theirsIsCopy(theirs.GetCount(), false),
          m_ourAddedFree(ours.GetCount(), false)
    {
    }

    CNoteBookMerge::Result Run(bool pairTitles, CNoteBook& merged)
    {
        PlaceOurs();
        PairAdditions(pairTitles);
        PlaceTheirs();
        Fill(merged);
        return m_result;
    }

private:
    // Ours in its order, each note as the merge decides it.
    void PlaceOurs()
    {
        for (std::size_t o = 0; o < m_ours.GetCount(); ++o) {
            const std::int32_t b = m_oursMatch.laterToEarlier[o];
            const auto ourIndex = static_cast<std::int32_t>(o);
            if (b == kNone) {
                m_order.Append(Side::ours, ourIndex);
                continue;
            }
            const std::int32_t t = m_theirsMatch.earlierToLater[b];
            const bool oursEdited = m_oursMatch.edited[b];
            if (t == kNone) {
                // Deleted there: gone, unless we changed it or theirs may never have had it.
                if (oursEdited) {
                    m_order.Append(Side::ours, ourIndex);
                    ++m_result.conflicts;
                } else if (m_keepTheirDeletions) {
                    m_order.Append(Side::ours, ourIndex);
                } else {
                    ++m_result.changes;
                }
                continue;
            }
            const bool theirsEdited = m_theirsMatch.edited[b];
            std::int32_t item;
            if (theirsEdited && !oursEdited) {
                item = m_order.Append(Side::theirs, t);
                ++m_result.changes;
            } else {
                item = m_order.Append(Side::ours, ourIndex);
                if (oursEdited && theirsEdited && !m_oursPrints[o].SameContent(m_theirsPrints[t])) {
                    m_order.AddTrailer(item, Side::theirs, t);
                    ++m_result.conflicts;
                }
            }
            m_itemOfTheirs[t] = item;
        }
    }

    // What theirs holds that ours lacks: notes added there (one of the same added here is the
    // same note), and notes edited there that we deleted.
    void PairAdditions(bool pairTitles)
    {
        std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, std::int32_t>> ourAdded;
        std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, std::int32_t>> theirAdded;
        for (std::size_t t = 0; t < m_theirs.GetCount(); ++t) {
            const std::int32_t b = m_theirsMatch.laterToEarlier[t];
            if (b == kNone) {
                const NoteFingerprint& p = m_theirsPrints[t];
                theirAdded.push_back({{p.content[0], p.content[1]}, static_cast<std::int32_t>(t)});
                m_keepTheirs[t] = true;
            } else if (m_oursMatch.earlierToLater[b] == kNone) {
                if (m_theirsMatch.edited[b]) {
                    m_keepTheirs[t] = true;
                    m_theirsIsCopy[t] = true;
                    ++m_result.conflicts;
                }
            }
        }
        for (std::size_t o = 0; o < m_ours.GetCount(); ++o)
            if (m_oursMatch.laterToEarlier[o] == kNone) {
                const NoteFingerprint& p = m_oursPrints[o];
                ourAdded.push_back({{p.content[0], p.content[1]}, static_cast<std::int32_t>(o)});
            }
        std::vector<std::int32_t> itemOfOurs;
        if (!ourAdded.empty() && !theirAdded.empty())
            IndexOurItems(itemOfOurs);
        auto same = [&](std::int32_t o, std::int32_t t) {
            m_itemOfTheirs[t] = itemOfOurs[o];
            m_keepTheirs[t] = false;
        };
        PairAddedByKey(ourAdded, theirAdded, same);
        if (!pairTitles)
            return;
        // Without an ancestor a note of the same title is the same note, changed.
        std::vector<std::pair<std::uint64_t, std::int32_t>> ourTitles;
        std::vector<std::pair<std::uint64_t, std::int32_t>> theirTitles;
        for (const auto& [key, o] : ourAdded)
            if (m_ourAddedFree[o])
                ourTitles.emplace_back(m_oursPrints[o].title, o);
        for (const auto& [key, t] : theirAdded)
            if (m_keepTheirs[t])
                theirTitles.emplace_back(m_theirsPrints[t].title, t);
        PairAddedByKey(ourTitles, theirTitles, [&](std::int32_t o, std::int32_t t) {
            const std::int32_t item = itemOfOurs[o];
            m_order.AddTrailer(item, Side::theirs, t);
            m_itemOfTheirs[t] = item;
            m_keepTheirs[t] = false;
            ++m_result.conflicts;
        });
    }

    template <typename Key, typename OnPair>
    void PairAddedByKey(std::vector<std::pair<Key, std::int32_t>> ours,
                        std::vector<std::pair<Key, std::int32_t>> theirs, OnPair onPair)
    {
        HashedKey::Sort(ours);
        HashedKey::Sort(theirs);
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < ours.size()) {
            if (j == theirs.size() || ours[i].first < theirs[j].first) {
                m_ourAddedFree[ours[i++].second] = true;
            } else if (theirs[j].first < ours[i].first) {
                ++j;
            } else {
                m_ourAddedFree[ours[i].second] = false;
                onPair(ours[i++].second, theirs[j++].second);
            }
        }
    }

    void IndexOurItems(std::vector<std::int32_t>& itemOfOurs) const
    {
        itemOfOurs.assign(m_ours.GetCount(), kNone);
        for (std::int32_t item = m_order.First(); item != kNone; item = m_order.At(item).next)
            if (m_order.At(item).side == Side::ours)
                itemOfOurs[m_order.At(item).index] = item;
    }

    // Theirs in its order: a note moved there (and not here) follows the note it follows there, a
    // note only theirs holds goes in after it.
    void PlaceTheirs()
    {
        std::int32_t anchor = kNone;
        for (std::size_t t = 0; t < m_theirs.GetCount(); ++t) {
            const auto theirIndex = static_cast<std::int32_t>(t);
            const std::int32_t item = m_itemOfTheirs[t];
            if (item != kNone) {
                const std::int32_t b = m_theirsMatch.laterToEarlier[t];
                if (b != kNone && m_theirsMatch.moved[b] && !m_oursMatch.moved[b]) {
                    m_order.MoveAfter(anchor, item);
                    ++m_result.changes;
                }
                anchor = m_order.Last(item);
            } else if (m_keepTheirs[t]) {
                anchor = m_order.InsertAfter(anchor, Side::theirs, theirIndex, m_theirsIsCopy[t]);
                if (!m_theirsIsCopy[t])
                    ++m_result.changes;
            }
        }
    }

    void Fill(CNoteBook& merged)
    {
        CNoteBookMerge::CopySettings(m_ours, merged);
        // Numbered 1 to N as a notebook read from its file is, so that a merge that takes one side
        // whole writes that side's bytes.
        CNote::ResetSerials();
        (void)m_ours.StoredTextsIntact();
        (void)m_theirs.StoredTextsIntact();
        merged.Reserve(m_ours.GetCount() + m_theirs.GetCount());
        for (std::int32_t id = m_order.First(); id != kNone; id = m_order.At(id).next) {
            const MergedOrder::Item& item = m_order.At(id);
            CNote& from = *(item.side == Side::ours ? m_ours : m_theirs).GetNoteAtIndex(item.index);
            CNote& to = *merged.AddNote(true, false);
            // Ours stays whole, so that a merge given up leaves the open notebook as it was.
            const bool move = item.side == Side::theirs;
            to.Title() = move ? std::move(from.Title()) : from.GetTitle();
            // A text still in its file stays there, or is read into the new note; the file was
            // asked about above.
            if (from.HasStoredText() && m_texts == CNoteBookMerge::Texts::inFiles)
                to.SetStoredText(from.GetStoredText());
            else if (from.HasStoredText())
                from.ReadText(to.Text());
            else
                to.Text() = move ? std::move(from.Text()) : from.GetText();
            if (item.side == Side::ours)
                to.SetCodePages(from.GetTitleCodePage(), from.GetTextCodePage());
            else
                to.SetCodePages(StoredIn(m_theirs, to.GetTitle(), from.GetTitleCodePage()),
                                StoredTextIn(m_theirs, to, from.GetTextCodePage()));
            if (item.conflictCopy)
                to.Title() += CNoteBookMerge::kConflictSuffix;
        }
    }

    // A string from theirs keeps the code page it goes to the file in there.
    static std::optional<TextEncoding> StoredIn(const CNoteBook& book, const std::string& text,
                                                std::optional<TextEncoding> own)
    {
        if (!own && CTextCodec::IsAscii(text))
            return std::nullopt;
        return book.CodePageFor(own);
    }

    // A text still in a file is ASCII when it has no code page.
    static std::optional<TextEncoding> StoredTextIn(const CNoteBook& book, const CNote& note,
                                                    std::optional<TextEncoding> own)
    {
        if (!own && note.HasStoredText() && !note.GetStoredText().codePage)
            return std::nullopt;
        return StoredIn(book, note.GetText(), own);
    }

    const bool m_keepTheirDeletions;
    const CNoteBookMerge::Texts m_texts;
    CNoteBook& m_ours;
    CNoteBook& m_theirs;
    std::vector<NoteFingerprint> m_oursPrints;
    std::vector<NoteFingerprint> m_theirsPrints;
    CNoteMatcher::Matching m_oursMatch;
    CNoteMatcher::Matching m_theirsMatch;
    MergedOrder m_order;
    std::vector<std::int32_t> m_itemOfTheirs;
    std::vector<bool> m_keepTheirs;
    std::vector<bool> m_theirsIsCopy;
    std::vector<bool> m_ourAddedFree;
    CNoteBookMerge::Result m_result;
};

} // namespace

CNoteBookMerge::Result CNoteBookMerge::Merge(const std::vector<NoteFingerprint>& ancestor, CNoteBook& ours,
                                             CNoteBook& theirs, CNoteBook& merged, Ancestor kind, Texts texts)
{
    return ThreeWay(ancestor, ours, theirs, kind == Ancestor::guessed, texts).Run(false, merged);
}

CNoteBookMerge::Result CNoteBookMerge::MergeTwoWay(CNoteBook& ours, CNoteBook& theirs, CNoteBook& merged,
                                                   Texts texts)
{
    return ThreeWay({}, ours, theirs, true, texts).Run(true, merged);
}

void CNoteBookMerge::CopySettings(const CNoteBook& from, CNoteBook& to)
{
    // A change of code page the user asked for and not yet saved is kept as such.
    const TextEncoding encoding = from.GetEncoding();
    const TextEncoding other =
        encoding == TextEncoding::utf8 ? TextEncoding::windows1252 : TextEncoding::utf8;
    const bool recode = from.CodePageFor(other) != other;
    to.SetEncoding(recode ? other : encoding);
    if (recode)
        to.ChangeEncoding(encoding);
    to.SetPassword(from.GetPassword());
    to.SetSecret(from.GetSecret());
    to.GetViewSettings() = from.GetViewSettings();
    to.SetFileVersion(from.GetFileVersion());
    if (from.GetPath().HasPath())
        to.GetPath().SetPath(from.GetPath().GetPath());
}
