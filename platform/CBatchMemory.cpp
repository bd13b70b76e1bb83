#include "platform/CBatchMemory.h"

#include "platform/HugePages.h"

#include <atomic>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#define PELMORA_ASAN 1
#endif

struct CBatchMemory::Block
{
    char* start = nullptr;
    std::size_t bytes = 0;
    std::size_t slotSize = 0;
    std::size_t slots = 0;
    // The taker's alone.
    std::size_t taken = 0;
    // Slots taken and not given back, and one for the taker while it lives.
    std::atomic<std::size_t> holds{1};
};

namespace {

// The blocks by where they start. Never destroyed: notes are given back on the disposer's thread
// while the process ends.
struct Registry
{
    std::shared_mutex mutex;
    std::map<std::uintptr_t, CBatchMemory::Block*> blocks;
    // The blocks' number, read without the lock: the heap's notes, given back while there is no
    // batch, take no lock.
    std::atomic<std::size_t> count{0};
};

Registry& TheRegistry()
{
    static Registry* const registry = new Registry;
    return *registry;
}

void Unmap(CBatchMemory::Block* block)
{
    Registry& registry = TheRegistry();
    {
        std::unique_lock lock(registry.mutex);
        registry.blocks.erase(reinterpret_cast<std::uintptr_t>(block->start));
        registry.count.fetch_sub(1);
    }
#if defined(PELMORA_ASAN)
    __lsan_unregister_root_region(block->start, block->bytes);
    ASAN_UNPOISON_MEMORY_REGION(block->start, block->bytes);
#endif
    ::munmap(block->start, block->bytes);
    delete block;
}

void Drop(CBatchMemory::Block* block)
{
    if (block->holds.fetch_sub(1, std::memory_order_acq_rel) == 1)
        Unmap(block);
}

} // namespace

CBatchMemory::CBatchMemory(std::size_t slotSize, std::size_t slots, std::size_t alignment)
{
    slotSize = (slotSize + alignment - 1) / alignment * alignment;
    if (slotSize == 0 || slots == 0 || slots > (SIZE_MAX - kHugePageSize) / slotSize)
        return;
    const std::size_t bytes = (slotSize * slots + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
    auto* start = static_cast<char*>(MapForHugePages(bytes));
    if (!start)
        return;
    m_block = new Block;
    m_block->start = start;
    m_block->bytes = bytes;
    m_block->slotSize = slotSize;
    m_block->slots = slots;
#if defined(PELMORA_ASAN)
    // The slots hold the only pointers to memory of the heap; the leak checker reads them, and a
    // slot is poisoned until it is taken and after it is given back.
    __lsan_register_root_region(start, bytes);
    ASAN_POISON_MEMORY_REGION(start, bytes);
#endif
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    registry.blocks.emplace(reinterpret_cast<std::uintptr_t>(start), m_block);
    registry.count.fetch_add(1);
}

CBatchMemory::~CBatchMemory()
{
    if (m_block)
        Drop(m_block);
}

void* CBatchMemory::Take()
{
    if (!m_block)
        return nullptr;
    const std::size_t taken = m_block->taken;
    if (taken == m_block->slots)
        return nullptr;
    m_block->taken = taken + 1;
    char* slot = m_block->start + taken * m_block->slotSize;
    m_block->holds.fetch_add(1, std::memory_order_relaxed);
#if defined(PELMORA_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(slot, m_block->slotSize);
#endif
    return slot;
}

bool CBatchMemory::GiveBack(void* p)
{
    Registry& registry = TheRegistry();
    if (registry.count.load(std::memory_order_acquire) == 0)
        return false;
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    Block* block = nullptr;
    {
        std::shared_lock lock(registry.mutex);
        auto after = registry.blocks.upper_bound(at);
        if (after == registry.blocks.begin())
            return false;
        block = std::prev(after)->second;
        if (at >= reinterpret_cast<std::uintptr_t>(block->start) + block->bytes)
            return false;
    }
#if defined(PELMORA_ASAN)
    ASAN_POISON_MEMORY_REGION(p, block->slotSize);
#endif
    Drop(block);
    return true;
}
