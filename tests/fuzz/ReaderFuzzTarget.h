#pragma once

#include "fuzz/FuzzChecks.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Reads one input as a notebook file and aborts when the reader breaks a promise: a failed read
// leaves an empty notebook, a successful one stays within the bound on notes and memory, and what
// it read comes back unchanged through a save and a second read. Locked inputs open with
// kFuzzPassword, encrypted ones with it as their passphrase. Returns whether the input opened.
bool FuzzNoteBookReader(const std::uint8_t* data, std::size_t size);

// Well-formed notebooks of every layout, plain and encrypted (at libsodium's least cost), the
// starting points for mutation.
std::vector<std::string> ReaderSeeds();

// One random damage of the kind real files and hostile ones show: flipped bytes, a length field
// set to an extreme, a cut, bytes inserted or removed.
std::string MutateNoteBook(std::string bytes, std::mt19937& rng);
