#include "platform/HugePageAllocator.h"
#include "platform/HugePageArray.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <vector>

// Arrays that grow past the size taken from the system and shrink below it again move between the
// two kinds of block with every element kept; each block goes back the way it came, which the
// sanitizer build would report otherwise.
TEST(HugePageAllocator, ArraysGrowAndShrinkAcrossTheSystemsBlocks)
{
    std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>> numbers;
    for (std::uint64_t i = 0; i < 1000000; ++i)
        numbers.push_back(i * 2654435761u);
    for (std::uint64_t i = 0; i < numbers.size(); i += 997)
        ASSERT_EQ(numbers[i], i * 2654435761u) << i;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(numbers.data()) % kHugePageSize, 0u)
        << "a block from the system starts where a huge page can";
    numbers.resize(1000);
    numbers.shrink_to_fit();
    ASSERT_EQ(numbers.size(), 1000u);
    for (std::uint64_t i = 0; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], i * 2654435761u) << i;

    using Bytes = std::basic_string<char, std::char_traits<char>, HugePageAllocator<char>>;
    Bytes text;
    std::string expected;
    for (int i = 0; text.size() < (5u << 20); ++i) {
        const std::string piece = "line " + std::to_string(i) + "\n";
        text += Bytes(piece.data(), piece.size());
        expected += piece;
    }
    EXPECT_EQ(std::string(text.data(), text.size()), expected);
}

// A block of any length from the system starts on a huge page's boundary, where the system would
// align only whole huge pages, and is all there to write.
TEST(HugePageAllocator, BlocksStartWhereAHugePageCan)
{
    HugePageAllocator<char> allocator;
    for (const std::size_t bytes :
         {kHugePageSize, (std::size_t{3} << 20) + 4096, (std::size_t{5} << 20) + 12345}) {
        char* block = allocator.allocate(bytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kHugePageSize, 0u) << bytes;
        block[0] = 1;
        block[bytes - 1] = 2;
        EXPECT_EQ(block[0] + block[bytes - 1], 3) << bytes;
        allocator.deallocate(block, bytes);
    }
}

// An array's block taken over for values of another type goes back whole when the new array
// does: the part beyond the new values too. A block too small for them leaves the old array as it
// was and gives a fresh one.
TEST(HugePageArray, ABlockReusedForAnotherTypeGoesBackWhole)
{
    struct Wide
    {
        std::uint64_t a, b;
    };
    constexpr std::size_t kCount = 1 << 20; // 16 MB of Wide
    auto* tail = static_cast<void*>(nullptr);
    {
        HugePageArray<Wide> done(kCount);
        done[kCount - 1] = {1, 2};
        tail = &done[kCount - 1];
        const void* start = done.data();
        HugePageArray<std::uint32_t> reused = HugePageArray<std::uint32_t>::Reusing(std::move(done), kCount);
        EXPECT_EQ(static_cast<const void*>(reused.data()), start);
        EXPECT_EQ(done.size(), 0u);
        EXPECT_EQ(done.data(), nullptr);
    }
    const auto page = reinterpret_cast<std::uintptr_t>(tail) & ~std::uintptr_t{4095};
    EXPECT_EQ(::msync(reinterpret_cast<void*>(page), 4096, MS_ASYNC), -1)
        << "the block's end is still mapped";
    EXPECT_EQ(errno, ENOMEM);

    HugePageArray<std::uint32_t> small(100);
    const void* kept = small.data();
    HugePageArray<Wide> fresh = HugePageArray<Wide>::Reusing(std::move(small), 100);
    EXPECT_EQ(fresh.size(), 100u);
    EXPECT_EQ(small.data(), kept) << "too small: left where it was";
    fresh[99] = {3, 4};
    EXPECT_EQ(fresh[99].b, 4u);
    HugePageArray<char> bytes = HugePageArray<char>::Reusing(std::move(small), 400);
    EXPECT_EQ(static_cast<const void*>(bytes.data()), kept) << "a block from the heap is reused too";
}
