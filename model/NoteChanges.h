#pragma once

#include <cstdint>

// A process-wide count of changes to notes and to the order of notebooks: work that depends on
// their contents (the search's count) can tell whether anything changed since it last looked.
std::uint64_t NoteChangeCount();
void CountNoteChange();
