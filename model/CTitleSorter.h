#pragma once

#include "model/CTextCodec.h"
#include "platform/HugePageAllocator.h"

#include <cstddef>
#include <string>
#include <vector>

// The order of the title sort for many titles at once. Each title becomes a key whose bytes compare
// as the titles do: the bytes the title is stored as, A to Z folded, as unsigned values. The keys
// lie side by side in one block, and the sort compares their first sixteen bytes, held beside each
// title's index, before it looks at the rest.
class CTitleSorter
{
public:
    // The arrays of a sort are filled once and let go: they take huge pages.
    using Keys = std::basic_string<char, std::char_traits<char>, HugePageAllocator<char>>;
    using Places = std::vector<std::size_t, HugePageAllocator<std::size_t>>;

    explicit CTitleSorter(std::size_t titles = 0);

    void Add(const std::string& title, TextEncoding codePage);
    // The places of the titles added, ascending; equal titles keep the order they were added in.
    Places Order() const;

    // The key of one title: a character the code page lacks comes after every byte. Byte 0xFF is
    // written FF 00 and such a character FF 01 and its code point in three bytes.
    static void AppendKey(const std::string& title, TextEncoding codePage, Keys& key);

private:
    struct Entry
    {
        unsigned long long head; // key bytes 0 to 7, big-endian, zero past the key's end
        unsigned long long next; // key bytes 8 to 15
        std::size_t index;
    };

    Entry MakeEntry(std::size_t index) const;
    unsigned FirstByte(std::size_t index) const;
    bool Before(const Entry& a, const Entry& b) const;
    using Entries = std::vector<Entry, HugePageAllocator<Entry>>;
    void SortRange(Entries& entries, std::size_t from, std::size_t to) const;

    Keys m_keys;
    Places m_starts; // where each key begins, and one past the last
};
