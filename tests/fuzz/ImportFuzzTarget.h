#pragma once

#include "fuzz/FuzzChecks.h"

#include <cstddef>
#include <cstdint>

// Reads one input as a text file being imported, as `pelmora-tool import` reads it: the bytes up to
// the first line break name the file, the rest is what it holds. Aborts when the import breaks a
// promise: what it makes is UTF-8 without NUL, gives back the file's bytes in the encoding it was
// read in (or keeps their number, for a file of mixed code pages), a refused file is named in a
// notice, and the note saves after a notebook's own notes and reads back as it went in. Returns
// whether the file became a note.
bool FuzzTextImport(const std::uint8_t* data, std::size_t size);
