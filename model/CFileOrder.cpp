#include "model/CFileOrder.h"

#include "model/CNoteBook.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Enough to tell a list in file order from a sorted one without visiting every note.
constexpr std::size_t kSamples = 1024;
constexpr unsigned kDigitBits = 16;

unsigned BitWidth(std::uint64_t value)
{
    return value == 0 ? 0 : 64 - static_cast<unsigned>(__builtin_clzll(value));
}

// One stable pass of a radix sort on the digit at shift.
void SortByDigit(const HugePageArray<std::uint64_t>& from, HugePageArray<std::uint64_t>& to, unsigned shift)
{
    constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
    std::vector<std::size_t> at(kDigits + 1, 0);
    for (std::size_t i = 0; i < from.size(); ++i)
        ++at[((from[i] >> shift) & (kDigits - 1)) + 1];
    for (std::size_t d = 1; d <= kDigits; ++d)
        at[d] += at[d - 1];
    for (std::size_t i = 0; i < from.size(); ++i)
        to[at[(from[i] >> shift) & (kDigits - 1)]++] = from[i];
}

// Every how many notes one is sampled.
std::size_t SampleStep(std::size_t notes)
{
    return std::max<std::size_t>(1, notes / kSamples);
}

} // namespace

bool CFileOrder::LooksInOrder(const CNoteBook& book)
{
    const std::size_t n = book.GetCount();
    std::uint64_t last = 0;
    for (std::size_t i = 0; i < n; i += SampleStep(n)) {
        const CNote& note = *book.GetNoteAtIndex(i);
        if (!book.IsInStoredFile(note))
            continue;
        if (note.GetStoredText().body < last)
            return false;
        last = note.GetStoredText().body;
    }
    return true;
}

CWholeMapping CFileOrder::MappedForPass(const CNoteBook& book)
{
    return CWholeMapping(book.GetStoredFile(), !LooksInOrder(book));
}

std::uint64_t CFileOrder::Signature(const CNoteBook& book)
{
    const std::size_t n = book.GetCount();
    std::uint64_t signature = n;
    for (std::size_t i = 0; i < n; i += SampleStep(n))
        signature = signature * 1000003 + static_cast<std::uint32_t>(book.GetNoteAtIndex(i)->GetSerial());
    return signature;
}

// Each note's place in the file and its place in the list make one number, sorted on the file's
// part only, which leaves notes of one place in list order. A file too large for the list's part to
// fit beside it has its places taken coarser: the order is only a help to the reads.
HugePageArray<std::uint32_t> CFileOrder::Of(const CNoteBook& book)
{
    if (LooksInOrder(book))
        return {};
    const std::size_t n = book.GetCount();
    HugePageArray<std::uint64_t> keys(n);
    std::uint64_t last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 16 < n)
            __builtin_prefetch(book.GetNoteAtIndex(i + 16));
        const CNote& note = *book.GetNoteAtIndex(i);
        keys[i] = std::numeric_limits<std::uint64_t>::max();
        if (book.IsInStoredFile(note)) {
            keys[i] = note.GetStoredText().body;
            last = std::max(last, keys[i]);
        }
    }
    const std::uint64_t inMemory = last + 1; // after every text in the file
    const unsigned listBits = std::max(1u, BitWidth(n - 1));
    unsigned coarser = 0;
    while (BitWidth(inMemory >> coarser) + listBits > 64)
        ++coarser;
    for (std::size_t i = 0; i < n; ++i)
        keys[i] = ((std::min(keys[i], inMemory) >> coarser) << listBits) | i;

    HugePageArray<std::uint64_t> spare(n);
    for (unsigned shift = listBits; shift < listBits + BitWidth(inMemory >> coarser); shift += kDigitBits) {
        SortByDigit(keys, spare, shift);
        std::swap(keys, spare);
    }
    HugePageArray<std::uint32_t> order(n);
    const std::uint64_t listMask = (std::uint64_t{1} << listBits) - 1;
    for (std::size_t i = 0; i < n; ++i)
        order[i] = static_cast<std::uint32_t>(keys[i] & listMask);
    return order;
}
