#pragma once

#include "model/CSegmentQueue.h"
#include "model/CTextCodec.h"
#include "platform/HugePageAllocator.h"
#include "platform/HugePageArray.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The order of the title sort for many titles at once. Each title has a key whose bytes, A to Z
// folded, compare as the titles do: the bytes the title is stored as, as unsigned values. Most
// titles are stored as they stand and are their own keys; the others get one made. The keys are
// ordered a byte at a time from the first, each entry carrying eight key bytes beside it, so that
// a key itself is read once for every eight bytes the sort goes down; a few keys left sharing a
// beginning are compared whole. Two threads find the keys and share the sort.
class CTitleSorter
{
public:
    // The arrays of a sort are filled once and let go: they take huge pages.
    using Keys = std::basic_string<char, std::char_traits<char>, HugePageAllocator<char>>;
    using Places = HugePageArray<std::uint32_t>;
    struct Title
    {
        const std::string* text;
        TextEncoding codePage;
    };
    // The title at a place; asked from two threads at once. The titles stay as they are until the
    // order is made.
    using TitleAt = std::function<Title(std::size_t)>;

    CTitleSorter(std::size_t count, const TitleAt& titleAt);

    // The places of the titles, ascending; equal titles keep the order they were given in. Once.
    Places Order();
    // Once the order is made, the memory the keys took, for size values of T (up to as many bytes
    // as a string_view each): the caller's next array need not be fresh memory.
    template <typename T> HugePageArray<T> TakeKeysMemory(std::size_t size)
    {
        return HugePageArray<T>::Reusing(std::move(m_keys), size);
    }

    // The key of one title, folded: a character the code page lacks comes after every byte. Byte
    // 0xFF is written FF 00 and such a character FF 01 and its code point in three bytes of seven
    // bits each, above 0x7F, so that folding the key leaves it as it is.
    static void AppendKey(const std::string& title, TextEncoding codePage, Keys& key);

private:
    // A title in the sort. The chunk is eight key bytes from a multiple of eight, folded, as one
    // big-endian number, zero past the key's end. A notebook holds fewer than 2^31 notes; a key
    // of 2^32 - 1 bytes or more has every key compared whole.
    struct Entry
    {
        std::uint64_t chunk;
        std::uint32_t index;
        std::uint32_t length;
    };
    using Entries = HugePageArray<Entry>;
    using KeyViews = HugePageArray<std::string_view>;
    // 0 for a key that ends before the byte, else 1 + the byte.
    using Counts = std::array<std::size_t, 257>;
    // The titles of a run of places, looked at by one thread.
    struct Part
    {
        std::size_t first = 0;
        std::size_t end = 0;
        Keys made; // the keys of titles not stored as they stand
        std::vector<std::pair<std::size_t, std::size_t>> madeAt; // their places and where they begin
        Counts firsts{};                                         // of the first byte
        Counts dealAt{};                                         // where its entries of each first byte go
        std::size_t longest = 0;
    };

    void FindKeys(Part& part, const TitleAt& titleAt);
    void Deal(const Part& part, Entries& entries) const;
    static void Read(const Part& part, const Entries& entries, Places& order);
    void SortShare(Entries& entries, CSegmentQueue& queue);
    void SortSegment(const CSegmentQueue::Segment& segment, Entries& entries, CSegmentQueue& queue);
    bool Split(CSegmentQueue::Segment& segment, Entries& entries, std::vector<CSegmentQueue::Segment>& mine,
               CSegmentQueue& queue);
    static std::size_t SharedDepth(const Entry* entries, std::size_t count, std::size_t depth);
    void Reload(Entry* entries, std::size_t count, std::size_t depth) const;
    void SortShort(Entry* entries, std::size_t count, std::size_t depth) const;
    void SortByKeys(Entry* entries, std::size_t count, std::size_t depth) const;
    template <typename Work> void OnEveryPart(const Work& work);

    KeyViews m_keys;
    std::vector<Part> m_parts;
    Entries m_spare; // the entries in place order, then room to deal them out
};
