#pragma once

#include <cstdint>
#include <string_view>

// Two independent 64-bit hashes of a string, and whether it is ASCII: an ASCII string is stored
// alike in every code page.
struct TextHash
{
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    bool ascii = false;

    static TextHash Of(std::string_view s);
};

// A text's hash as it was read, with the place of its record in the notebook's file: it holds
// while the note's text is still the one stored there.
struct StoredTextHash
{
    std::uint64_t body = 0;
    TextHash hash;
};
