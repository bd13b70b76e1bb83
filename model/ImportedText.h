#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the import makes of a text file's bytes: UTF-8 as it is, its byte-order mark included;
// UTF-16 and UTF-32 by their byte-order mark, or without one by the shape of their units; UTF-8
// with a few bytes of the Windows code page in it (an old line pasted into a new file) as UTF-8
// with only those bytes read as Windows-1252; any other file in the code page a charset detector
// finds most likely, which the user is told. A file with NUL bytes that is no UTF-16 or UTF-32
// is no text.
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
        badUnicode,  // a byte-order mark, but what follows is not what it promises
        legacy,      // another code page, named in `encoding`
        badEncoding, // not text in the encoding the user named
    };

    Kind kind = utf8;
    std::string text; // UTF-8
    std::size_t windows1252Bytes = 0;
    std::string encoding = "UTF-8"; // what the bytes were read as
    std::size_t mark = 0;           // bytes of a UTF-16 or UTF-32 byte-order mark left out
    bool guessed = false;           // the encoding is the likeliest, not a certain one

    bool Imported() const { return kind != binary && kind != badUnicode && kind != badEncoding; }
    // What the user is told of the file at path; empty when it was plainly what it was read as.
    std::string Notice(const std::string& path) const;
};

// The bytes decoded as said above, or in the encoding named (any name ICU knows: "windows-1251",
// "Shift_JIS") when it is not empty.
ImportedText DecodeImportedText(std::string_view bytes, const std::string& encoding = {});
// Whether ICU can read text in the encoding of that name.
bool KnownTextEncoding(const std::string& encoding);
