#include "platform/CBatchMemory.h"
#include "platform/HugePages.h"
#include "support/PageMapped.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

// Every slot is its own, writable and apart from the others; after the last one is taken there are no more,
// and each is given back once. The block goes back to the system only when the taker and every slot are gone,
// whichever goes last and on whatever thread.
TEST(BatchMemory, SlotsAreApartAndTheBlockGoesWithTheLastOfThemAndItsTaker)
{
    constexpr std::size_t kSlots = 70000; // more than one huge page of slots
    constexpr std::size_t kSize = 104;    // packed at that, with an alignment of 8
    std::optional<CBatchMemory> room(std::in_place, kSize, kSlots, 8);
    std::vector<char*> slots;
    const auto take = [&](std::size_t count) {
        for (std::size_t n = 0; n < count; ++n) {
            auto* slot = static_cast<char*>(room->Take());
            ASSERT_NE(slot, nullptr) << slots.size();
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(slot) % 8, 0u) << slots.size();
            slots.push_back(slot);
        }
    };
    take(kSlots);
    for (std::size_t i = 0; i < kSlots; ++i)
        std::memset(slots[i], static_cast<int>(i & 0xFF), kSize);
    EXPECT_EQ(slots.back() - slots.front(), static_cast<std::ptrdiff_t>((kSlots - 1) * kSize)) << "no slack";
    EXPECT_EQ(room->Take(), nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(slots.front()) % kHugePageSize, 0u);
    for (std::size_t i = 0; i < kSlots; i += 997)
        for (std::size_t b = 0; b < kSize; ++b)
            ASSERT_EQ(static_cast<unsigned char>(slots[i][b]), i & 0xFF) << i;

    // The taker goes first; the slots keep the block until the last of them, given back on two
    // threads.
    room.reset();
    char* const first = slots.front();
    auto giveBack = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            EXPECT_TRUE(CBatchMemory::GiveBack(slots[i])) << i;
    };
    std::thread other(giveBack, 1, kSlots / 2);
    giveBack(kSlots / 2, kSlots);
    other.join();
    EXPECT_TRUE(PageMapped(first)) << "one slot is still taken";
    EXPECT_TRUE(CBatchMemory::GiveBack(first));
    EXPECT_FALSE(PageMapped(first)) << "the block went back to the system";
    EXPECT_FALSE(CBatchMemory::GiveBack(first)) << "no batch holds it any more";
}

// Memory of the heap and of a batch whose slots are all given back is no batch's; a batch whose
// taker goes before any slot is taken leaves nothing behind.
TEST(BatchMemory, OnlyItsOwnSlotsAreGivenBack)
{
    auto heap = std::make_unique<char[]>(128);
    EXPECT_FALSE(CBatchMemory::GiveBack(heap.get()));

    CBatchMemory room(64, 10);
    void* slot = room.Take();
    ASSERT_NE(slot, nullptr);
    EXPECT_FALSE(CBatchMemory::GiveBack(heap.get())) << "with a batch in place";
    EXPECT_TRUE(CBatchMemory::GiveBack(slot));

    const void* unused = nullptr;
    {
        CBatchMemory empty(64, 10);
        unused = empty.Take();
        ASSERT_TRUE(CBatchMemory::GiveBack(const_cast<void*>(unused)));
        ASSERT_TRUE(PageMapped(unused));
    }
    EXPECT_FALSE(PageMapped(unused));
}
