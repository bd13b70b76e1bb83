#pragma once

#include <cstddef>
#include <string_view>

// A note's text is UTF-8 in the model, while the editor counts positions in UTF-16 code units and
// holds every line end ("\r\n", "\r" or "\n") as one character. These convert between the two.
// Bytes that are not well-formed UTF-8 count one character each, as the editor shows them.

// The editor position of a byte offset; an offset inside a character or a line end gives that
// character's position, one past the end gives the end.
int CharFromByteOffset(std::string_view text, std::size_t byteOffset);

// The byte offset of an editor position; a position inside a surrogate pair gives the offset of
// that character, one past the end gives the end.
std::size_t ByteFromCharOffset(std::string_view text, int charOffset);
