#include "model/CNoteMatcher.h"

#include "model/CNoteBook.h"
#include "model/HashedKeySort.h"
#include "model/TextHash.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

std::uint64_t Mix(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

// The code page a string goes to the file in; 0 for ASCII, the same bytes in all of them.
std::uint64_t StoredCodePage(const CNoteBook& book, const TextHash& hash, std::optional<TextEncoding> own)
{
    return hash.ascii ? 0 : 1 + static_cast<std::uint64_t>(book.CodePageFor(own));
}

// Pairs the k-th earlier item of a key with the k-th later item of it. Each list holds (key, index)
// of the notes still unpaired.
template <typename Key, typename OnPair>
void PairByKey(std::vector<std::pair<Key, std::int32_t>>& earlier,
               std::vector<std::pair<Key, std::int32_t>>& later, OnPair onPair)
{
    HashedKey::Sort(earlier);
    HashedKey::Sort(later);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < earlier.size() && j < later.size()) {
        if (earlier[i].first < later[j].first)
            ++i;
        else if (later[j].first < earlier[i].first)
            ++j;
        else
            onPair(earlier[i++].second, later[j++].second);
    }
}

// The positions in seq that belong to one longest strictly increasing run.
std::vector<bool> LongestIncreasing(const std::vector<std::int32_t>& seq)
{
    std::vector<std::int32_t> tails; // index into seq of the smallest tail of each length
    std::vector<std::int32_t> before(seq.size(), -1);
    for (std::size_t i = 0; i < seq.size(); ++i) {
        const auto at =
            std::lower_bound(tails.begin(), tails.end(), seq[i],
                             [&seq](std::int32_t t, std::int32_t value) { return seq[t] < value; });
        if (at != tails.begin())
            before[i] = *(at - 1);
        if (at == tails.end())
            tails.push_back(static_cast<std::int32_t>(i));
        else
            *at = static_cast<std::int32_t>(i);
    }
    std::vector<bool> kept(seq.size(), false);
    for (std::int32_t i = tails.empty() ? -1 : tails.back(); i >= 0; i = before[i])
        kept[i] = true;
    return kept;
}

} // namespace

std::vector<NoteFingerprint> CNoteMatcher::Fingerprints(const CNoteBook& book)
{
    std::vector<NoteFingerprint> prints(book.GetCount());
    // Texts still in the file are read without being kept, and trusted as the file was when it
    // was last asked about, once for all of them.
    (void)book.StoredTextsIntact();
    std::string scratch;
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        const TextHash title = TextHash::Of(note.GetTitle());
        const TextHash* read = book.FindReadTextHash(i);
        const TextHash text = read ? *read : TextHash::Of(note.ReadText(scratch));
        NoteFingerprint& print = prints[i];
        print.title = Mix(title.a ^ StoredCodePage(book, title, note.GetTitleCodePage()));
        print.text = Mix(text.a + StoredCodePage(book, text, note.GetTextCodePage()));
        print.content[0] = Mix(print.title * 0x9E3779B97F4A7C15ull ^ print.text);
        print.content[1] = Mix(title.b ^ Mix(text.b + print.content[0]));
    }
    return prints;
}

CNoteMatcher::Matching CNoteMatcher::Match(const std::vector<NoteFingerprint>& earlier,
                                           const std::vector<NoteFingerprint>& later)
{
    Matching m;
    m.laterToEarlier.assign(later.size(), kNone);
    m.earlierToLater.assign(earlier.size(), kNone);
    m.edited.assign(earlier.size(), false);
    m.moved.assign(earlier.size(), false);
    const auto pair = [&m](bool edited) {
        return [&m, edited](std::int32_t e, std::int32_t l) {
            m.earlierToLater[e] = l;
            m.laterToEarlier[l] = e;
            m.edited[e] = edited;
        };
    };

    using Content = std::pair<std::uint64_t, std::uint64_t>;
    std::vector<std::pair<Content, std::int32_t>> earlierContent(earlier.size());
    std::vector<std::pair<Content, std::int32_t>> laterContent(later.size());
    for (std::size_t i = 0; i < earlier.size(); ++i)
        earlierContent[i] = {{earlier[i].content[0], earlier[i].content[1]}, static_cast<std::int32_t>(i)};
    for (std::size_t i = 0; i < later.size(); ++i)
        laterContent[i] = {{later[i].content[0], later[i].content[1]}, static_cast<std::int32_t>(i)};
    PairByKey(earlierContent, laterContent, pair(false));

    // The leftovers, paired by one part of the note: the title, then the text.
    for (std::uint64_t NoteFingerprint::*part : {&NoteFingerprint::title, &NoteFingerprint::text}) {
        std::vector<std::pair<std::uint64_t, std::int32_t>> e;
        std::vector<std::pair<std::uint64_t, std::int32_t>> l;
        for (std::size_t i = 0; i < earlier.size(); ++i)
            if (m.earlierToLater[i] == kNone)
                e.emplace_back(earlier[i].*part, static_cast<std::int32_t>(i));
        for (std::size_t i = 0; i < later.size(); ++i)
            if (m.laterToEarlier[i] == kNone)
                l.emplace_back(later[i].*part, static_cast<std::int32_t>(i));
        PairByKey(e, l, pair(true));
    }

    // The earlier positions of the paired notes, in the later order.
    std::vector<std::int32_t> order;
    order.reserve(later.size());
    for (std::int32_t e : m.laterToEarlier)
        if (e != kNone)
            order.push_back(e);
    const std::vector<bool> kept = LongestIncreasing(order);
    for (std::size_t i = 0; i < order.size(); ++i)
        m.moved[order[i]] = !kept[i];
    return m;
}
