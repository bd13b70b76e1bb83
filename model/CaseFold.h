#pragma once

// The case folding of the title sort and the text search, as the Windows program's runtime did it
// in its default locale: A to Z fold to a to z; every other byte stands for itself.
constexpr unsigned char FoldCase(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// The other case of a letter of a to z or A to Z; any other byte itself.
constexpr unsigned char OtherCase(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - ('a' - 'A'));
    return FoldCase(c);
}
