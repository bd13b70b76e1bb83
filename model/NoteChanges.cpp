#include "model/NoteChanges.h"

namespace {

std::uint64_t g_changes = 0;

} // namespace

std::uint64_t NoteChangeCount()
{
    return g_changes;
}

void CountNoteChange()
{
    ++g_changes;
}
