#pragma once

#include <cstddef>
#include <cstdint>

// A zero-terminated text that either owns its block or looks at text that belongs to someone
// else. The search lays it over each note's title and text without copying; it reads borrowed text
// and never writes it.
class CTextString
{
public:
    CTextString() = default;
    ~CTextString();
    CTextString(const CTextString&) = delete;
    CTextString& operator=(const CTextString&) = delete;

    void Free();
    // Takes text of the given length (or measured, for -1); fails on null text or when occupied.
    bool Attach(char* text, int length = -1, bool owns = false);
    char* Detach();
    // A writable block with room for n characters and a terminator, or null without memory.
    char* Reserve(int n);
    // The first position at or after start where pattern matches, or -1. Ignoring case folds
    // only A to Z.
    int Find(const char* pattern, int start, bool ignoreCase) const;
    // How many positions Find reports when stepped from each position it returns to the next
    // byte: overlapping occurrences count. Counts without visiting them one by one. With
    // beyondAscii, also says whether the text read holds a byte of 0x80 or more (true may also
    // mean a byte after an embedded terminator); an empty pattern reads nothing and says false.
    int Count(const char* pattern, bool ignoreCase, bool* beyondAscii = nullptr) const;
    // Count over length bytes of text, each first added the byte of shifts at its place: a cipher's
    // key stream lined up with the text, so that enciphered text is counted without a copy. The
    // text holds no terminator.
    static int CountShifted(const char* text, std::size_t length, const std::uint8_t* shifts,
                            const char* pattern, bool ignoreCase);
    // The first position in such a text where pattern matches, or -1.
    static int FindShifted(const char* text, std::size_t length, const std::uint8_t* shifts,
                           const char* pattern, bool ignoreCase);

    // The widest vector instructions Find and Count use: the processor's own at most. A test asks
    // for fewer, so that the paths other processors take are run on this one too.
    enum class Instructions
    {
        Sse2,
        Avx2,
        Avx512
    };
    static void UseAtMost(Instructions widest);
    // Whether the processor has these instructions and they are not above that setting: other
    // passes over texts go the same widths.
    static bool Uses(Instructions instructions);

    const char* GetData() const { return m_data; }
    int GetCapacity() const { return m_capacity; }
    bool Owns() const { return m_owns; }

private:
    char* m_data = nullptr;
    int m_capacity = 0;
    bool m_owns = false;
};
