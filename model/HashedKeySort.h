#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace HashedKey {

inline std::uint64_t Leading(std::uint64_t key)
{
    return key;
}

inline std::uint64_t Leading(const std::pair<std::uint64_t, std::uint64_t>& key)
{
    return key.first;
}

// Sorts (key, index) pairs as std::sort does, for keys that are hashes: spread evenly, they fall
// into buckets by their leading bits with one or two to a bucket, so two passes over the items do
// what comparing does in log n of them. Skewed keys are still sorted, only slower.
template <typename Key> void Sort(std::vector<std::pair<Key, std::int32_t>>& items)
{
    constexpr std::size_t kFewest = 1 << 12;
    if (items.size() < kFewest) {
        std::sort(items.begin(), items.end());
        return;
    }
    int bits = 0;
    while ((std::size_t{2} << bits) <= items.size())
        ++bits;
    const int shift = 64 - bits;
    std::vector<std::uint32_t> starts((std::size_t{1} << bits) + 1, 0);
    for (const auto& item : items)
        ++starts[(Leading(item.first) >> shift) + 1];
    for (std::size_t b = 1; b < starts.size(); ++b)
        starts[b] += starts[b - 1];
    std::vector<std::pair<Key, std::int32_t>> sorted(items.size());
    std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
    for (const auto& item : items)
        sorted[next[Leading(item.first) >> shift]++] = item;
    for (std::size_t b = 0; b + 1 < starts.size(); ++b)
        if (starts[b + 1] - starts[b] > 1)
            std::sort(sorted.begin() + starts[b], sorted.begin() + starts[b + 1]);
    items.swap(sorted);
}

} // namespace HashedKey
