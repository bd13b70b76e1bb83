#pragma once

#include <cstddef>
#include <string_view>

// Lines of a note's text, which ends them with "\r\n", "\n" or "\r" alike.

// The number of the line that holds the byte at pos, from 1.
int LineNumberAt(std::string_view text, std::size_t pos);

// The line that holds the byte at pos, without its line end.
std::string_view LineAround(std::string_view text, std::size_t pos);
