#include "model/HashedKeySort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

// Hashed keys are sorted as std::sort sorts them, below and above the size the buckets start at,
// with repeated keys kept in index order and keys that all share their leading bits.
TEST(HashedKeySort, SortsAsStdSortDoesForAnyKeys)
{
    std::mt19937_64 rng(20261210);
    using Pairs = std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, std::int32_t>>;
    const std::vector<std::function<std::uint64_t()>> keys = {
        [&] { return rng(); },
        [&] { return rng() % 50; },
        [&] { return 0xFFFF000000000000ull | rng() % 1000; },
    };
    for (std::size_t size : {0, 1, 4095, 4096, 70000})
        for (const auto& key : keys) {
            Pairs items(size);
            std::vector<std::pair<std::uint64_t, std::int32_t>> words(size);
            for (std::size_t i = 0; i < size; ++i) {
                items[i] = {{key(), rng() % 3}, static_cast<std::int32_t>(i)};
                words[i] = {items[i].first.first, static_cast<std::int32_t>(i)};
            }
            Pairs expected = items;
            std::sort(expected.begin(), expected.end());
            std::vector<std::pair<std::uint64_t, std::int32_t>> expectedWords = words;
            std::sort(expectedWords.begin(), expectedWords.end());
            HashedKey::Sort(items);
            HashedKey::Sort(words);
            EXPECT_EQ(items, expected) << size;
            EXPECT_EQ(words, expectedWords) << size;
        }
}
