#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the import makes of a text file's bytes: UTF-8 as it is; UTF-16 and UTF-32 when a
// byte-order mark says so; UTF-8 with a few bytes of the Windows code page in it (an old line
// pasted into a new file) as UTF-8 with only those bytes read as Windows-1252; a file of the
// Windows code page alone as Windows-1252. A file with NUL bytes and no such mark is no text.
struct ImportedText
{
    enum Kind
    {
        utf8,
        utf16,
        utf32,
        windows1252,
        mixed, // UTF-8, and `windows1252Bytes` bytes that were not
        binary,
        badUnicode // a byte-order mark, but what follows is not what it promises
    };

    Kind kind = utf8;
    std::string text; // UTF-8
    std::size_t windows1252Bytes = 0;

    bool Imported() const { return kind != binary && kind != badUnicode; }
};

ImportedText DecodeImportedText(std::string_view bytes);
