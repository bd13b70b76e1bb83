#pragma once

#include <cstddef>

// Room for many objects of one size made together, such as the notes of a large notebook as it is
// read: one block from the system, in huge pages where it has them, instead of a small piece of the
// heap for each. Fresh memory is otherwise handed out a page of 4 KB at a time at its first touch,
// which costs a virtual machine more than reading the notebook. Each slot is given back on its own,
// on any thread; the block goes back to the system with the last of its slots and its taker.
class CBatchMemory
{
public:
    // Room for slots objects of slotSize bytes, each at a multiple of alignment (a power of two):
    // as the heap aligns unless the objects need less, when the slots lie closer.
    CBatchMemory(std::size_t slotSize, std::size_t slots, std::size_t alignment = alignof(std::max_align_t));
    // Takes no more slots; the block stays while any slot is taken.
    ~CBatchMemory();
    CBatchMemory(const CBatchMemory&) = delete;
    CBatchMemory& operator=(const CBatchMemory&) = delete;

    // The next free slot, or null when all are taken or the system gave no block.
    void* Take();
    // Gives back a slot taken from any batch; false when p lies in none, as for memory of the heap.
    static bool GiveBack(void* p);

    // The block a batch takes its slots from; opaque outside.
    struct Block;

private:
    Block* m_block = nullptr;
};
