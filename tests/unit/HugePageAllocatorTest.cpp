#include "platform/HugePageAllocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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
