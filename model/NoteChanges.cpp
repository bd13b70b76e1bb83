#include "model/NoteChanges.h"

#include <atomic>

namespace {

// Notebooks are filled on workers while the window looks at the count.
std::atomic<std::uint64_t> g_changes{0};

} // namespace

std::uint64_t NoteChangeCount()
{
    return g_changes.load(std::memory_order_relaxed);
}

void CountNoteChange()
{
    g_changes.fetch_add(1, std::memory_order_relaxed);
}
