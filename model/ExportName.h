#pragma once

#include <cstddef>
#include <string>

// The file name a note gets on export: its position (from 1, padded to the width of the count),
// then its title made safe for any file system, then ".txt". The position keeps equal titles apart.
std::string ExportName(std::size_t position, std::size_t count, const std::string& title);
