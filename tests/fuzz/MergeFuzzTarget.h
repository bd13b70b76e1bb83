#pragma once

#include "fuzz/FuzzChecks.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Between the ancestor, ours and theirs in one input.
inline constexpr std::string_view kMergeSideBreak = "\n=pelmora merge side=\n";

// Reads one input as the three notebooks of a merge, as `pelmora-tool merge` reads them (an empty
// ancestor merges two-way), and aborts when the merge breaks a promise: a note new or changed on
// one side is kept; the merge saves and reads back, then saves to the same bytes; a side merged
// with itself or with an unchanged ancestor comes back as it was; a guessed ancestor keeps what
// the exact one keeps. Returns whether the three opened and merged.
bool FuzzNoteBookMerge(const std::uint8_t* data, std::size_t size);
