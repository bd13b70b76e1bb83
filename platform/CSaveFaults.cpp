#include "platform/CSaveFaults.h"

#include <atomic>

namespace {

std::atomic<unsigned> g_faults{CSaveFaults::none};

} // namespace

bool CSaveFaults::Has(Fault fault)
{
    return (g_faults.load(std::memory_order_relaxed) & fault) != 0;
}

void CSaveFaults::Set(unsigned faults)
{
    g_faults.store(faults, std::memory_order_relaxed);
}
