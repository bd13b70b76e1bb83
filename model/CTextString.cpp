#include "model/CTextString.h"

#include "model/CaseFold.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::atomic<CTextString::Instructions> g_widest{CTextString::Instructions::Avx512};

#if defined(__x86_64__)
bool Allowed(CTextString::Instructions instructions)
{
    return instructions <= g_widest.load(std::memory_order_relaxed);
}
#endif

// The first position in [from, end) holding a or b or the terminator, or end.
const unsigned char* ScanFor(const unsigned char* from, const unsigned char* end, unsigned char a,
                             unsigned char b)
{
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i zero = _mm_setzero_si128();
    while (end - from >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, va), _mm_cmpeq_epi8(chunk, vb)),
                                         _mm_cmpeq_epi8(chunk, zero));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return from + __builtin_ctz(static_cast<unsigned>(mask));
        from += 16;
    }
#endif
    for (; from < end; ++from)
        if (*from == a || *from == b || *from == 0)
            return from;
    return end;
}

#if defined(__SSE2__)
// The bytes of a chunk equal to c, A to Z folded when asked: a letter's two cases differ only in
// bit 5, so setting it in both compares them as one.
int EqualMask(__m128i chunk, unsigned char c, bool ignoreCase)
{
    if (ignoreCase && c >= 'a' && c <= 'z')
        chunk = _mm_or_si128(chunk, _mm_set1_epi8(0x20));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(static_cast<char>(c))));
}
#endif

bool MatchesAt(const unsigned char* text, const unsigned char* pattern, std::size_t length, bool ignoreCase)
{
    if (!ignoreCase)
        return std::memcmp(text, pattern, length) == 0;
    for (std::size_t i = 0; i < length; ++i)
        if (FoldCase(text[i]) != FoldCase(pattern[i]))
            return false;
    return true;
}

// One count: the text up to its terminator or the end of its block, and the pattern.
struct CountJob
{
    const unsigned char* text;
    std::size_t end;
    const unsigned char* pattern;
    std::size_t length;
    bool ignoreCase;
    const unsigned char* shifts = nullptr; // added to the text's bytes, when there are any

    unsigned char Byte(std::size_t at) const
    {
        return shifts ? static_cast<unsigned char>(text[at] + shifts[at]) : text[at];
    }
    // Whether the pattern's bytes from from on stand at position at + from.
    bool Matches(std::size_t at, std::size_t from) const
    {
        if (!shifts)
            return MatchesAt(text + at + from, pattern + from, length - from, ignoreCase);
        for (std::size_t k = from; k < length; ++k)
            if (ignoreCase ? FoldCase(Byte(at + k)) != FoldCase(pattern[k]) : Byte(at + k) != pattern[k])
                return false;
        return true;
    }

    unsigned char Folded(std::size_t at) const { return ignoreCase ? FoldCase(pattern[at]) : pattern[at]; }
    unsigned char First() const { return Folded(0); }
    // The second byte, or the first again for a pattern of one.
    unsigned char Second() const { return Folded(length > 1 ? 1 : 0); }
    std::size_t SecondAt() const { return length > 1 ? 1 : 0; }
    unsigned char Last() const { return Folded(length - 1); }
    // Blocks of positions are filtered on the pattern's first, second and last bytes; a position
    // that passes is compared whole. A candidate that runs into the terminator fails the
    // comparison, since no pattern byte is zero. Candidates past the terminator are cut off by the
    // caller.
    int Confirmed(std::size_t block, std::uint64_t candidates) const
    {
        if (length <= 3)
            return __builtin_popcountll(candidates);
        if (candidates == 0)
            return 0;
        int count = 0;
        for (; candidates != 0; candidates &= candidates - 1) {
            const std::size_t at = block + static_cast<std::size_t>(__builtin_ctzll(candidates));
            count += Matches(at, 2) ? 1 : 0;
        }
        return count;
    }
    // The first candidate the whole pattern stands at, or -1.
    long FirstConfirmed(std::size_t block, std::uint64_t candidates) const
    {
        for (; candidates != 0; candidates &= candidates - 1) {
            const std::size_t at = block + static_cast<std::size_t>(__builtin_ctzll(candidates));
            if (length <= 3 || Matches(at, 2))
                return static_cast<long>(at);
        }
        return -1;
    }
    // The blocks of width positions end where the last whole block does. When positions are left,
    // the last block is taken again ending at the text's end, without the positions before from.
    bool LastBlock(std::size_t width, std::size_t from, std::size_t& block, std::uint64_t& skipped) const
    {
        if (end < length - 1 + width || from + length - 1 >= end)
            return false;
        block = end - (length - 1) - width;
        skipped = (std::uint64_t{1} << (from - block)) - 1;
        return true;
    }
    // The bits below the terminator's lowest, or all of them without one, taken without a branch.
    static std::uint64_t BeforeTerminator(std::uint64_t candidates, std::uint64_t terminator)
    {
        return candidates & (terminator - 1) & ~terminator;
    }
};

#if defined(__x86_64__)
// Thirty-two bytes of the text from at on, with their shifts added when there are any.
template <bool kShifted>
__attribute__((target("avx2"), always_inline)) inline __m256i Load32(const CountJob& job, std::size_t at)
{
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(job.text + at));
    if constexpr (kShifted)
        return _mm256_add_epi8(bytes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(job.shifts + at)));
    return bytes;
}

// The pattern's first, second and last bytes, where they stand in it, each broadcast with the bit
// that folds its case: a letter's two cases differ only in bit 5, so setting it in both compares
// them as one.
struct Needle32
{
    std::size_t second;
    std::size_t last;
    __m256i bytes[3];
    __m256i folds[3];
};

// The positions from block on, without those skipped, where the pattern's first, second and last
// bytes stand, before any terminator.
template <bool kShifted>
__attribute__((target("avx2,popcnt"), always_inline)) inline std::uint64_t
Candidates32(const CountJob& job, const Needle32& needle, std::size_t block, std::uint64_t skipped,
             __m256i& seen, bool& terminated)
{
    const __m256i head = Load32<kShifted>(job, block);
    const __m256i next = Load32<kShifted>(job, block + needle.second);
    const __m256i tail = Load32<kShifted>(job, block + needle.last);
    const __m256i hits = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(head, needle.folds[0]), needle.bytes[0]),
                         _mm256_cmpeq_epi8(_mm256_or_si256(next, needle.folds[1]), needle.bytes[1])),
        _mm256_cmpeq_epi8(_mm256_or_si256(tail, needle.folds[2]), needle.bytes[2]));
    const std::uint64_t candidates = static_cast<std::uint32_t>(_mm256_movemask_epi8(hits)) & ~skipped;
    if constexpr (kShifted) {
        // Texts counted enciphered hold no terminator, and are known to be ASCII.
        return candidates;
    }
    seen = _mm256_or_si256(seen, _mm256_or_si256(head, tail));
    const std::uint64_t terminator =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(head, _mm256_setzero_si256())));
    terminated = terminator != 0;
    return job.BeforeTerminator(candidates, terminator);
}

__attribute__((target("avx2"))) Needle32 MakeNeedle32(const CountJob& job)
{
    Needle32 needle;
    needle.second = job.SecondAt();
    needle.last = job.length - 1;
    const unsigned char wanted[3] = {job.First(), job.Second(), job.Last()};
    for (int k = 0; k < 3; ++k) {
        const bool fold = job.ignoreCase && wanted[k] >= 'a' && wanted[k] <= 'z';
        needle.bytes[k] = _mm256_set1_epi8(static_cast<char>(wanted[k]));
        needle.folds[k] = _mm256_set1_epi8(fold ? 0x20 : 0);
    }
    return needle;
}

// Visits the blocks of thirty-two positions from i on with their candidates, the last one taken
// again ending at the text's end, until visit returns true or the text's terminator ends them; i
// stops where the blocks end.
template <bool kShifted, typename Visit>
__attribute__((target("avx2,popcnt"), always_inline)) inline void
EachBlock32(const CountJob& job, std::size_t& i, __m256i& seen, const Visit& visit)
{
    const Needle32 needle = MakeNeedle32(job);
    bool terminated = false;
    for (; i + needle.last + 32 <= job.end && !terminated; i += 32)
        if (visit(i, Candidates32<kShifted>(job, needle, i, 0, seen, terminated)))
            return;
    std::size_t block = 0;
    std::uint64_t skipped = 0;
    if (terminated) {
        i = job.end;
    } else if (job.LastBlock(32, i, block, skipped)) {
        i = job.end;
        visit(block, Candidates32<kShifted>(job, needle, block, skipped, seen, terminated));
    }
}

// Thirty-two positions at a time, where the processor has AVX2; i stops where the blocks end.
template <bool kShifted>
__attribute__((target("avx2,popcnt"))) int CountBlocksAvx2(const CountJob& job, std::size_t& i,
                                                           bool& beyondAscii)
{
    __m256i seen = _mm256_setzero_si256();
    int count = 0;
    EachBlock32<kShifted>(job, i, seen, [&](std::size_t block, std::uint64_t candidates) {
        count += job.Confirmed(block, candidates);
        return false;
    });
    beyondAscii = beyondAscii || _mm256_movemask_epi8(seen) != 0;
    return count;
}

// The first occurrence in an enciphered text among the blocks CountBlocksAvx2 counts, or -1 with i
// where they end.
__attribute__((target("avx2,popcnt"))) long FindShiftedBlocksAvx2(const CountJob& job, std::size_t& i)
{
    __m256i seen = _mm256_setzero_si256();
    long found = -1;
    EachBlock32<true>(job, i, seen, [&](std::size_t block, std::uint64_t candidates) {
        found = job.FirstConfirmed(block, candidates);
        return found >= 0;
    });
    return found;
}
#endif

#if defined(__x86_64__)
// The bytes equal to c, A to Z folded when asked, as EqualMask.
__attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline std::uint64_t
EqualMask32(__m256i bytes, unsigned char c, bool ignoreCase)
{
    if (ignoreCase && c >= 'a' && c <= 'z')
        bytes = _mm256_or_si256(bytes, _mm256_set1_epi8(0x20));
    return _mm256_cmpeq_epi8_mask(bytes, _mm256_set1_epi8(static_cast<char>(c)));
}

// A text of up to 32 bytes from start, a title say, in one load that reads nothing past its end:
// the positions where the pattern's first, second and last bytes stand before the terminator. A
// byte the load leaves out is zero and matches no pattern byte. beyondAscii says whether a byte
// loaded is 0x80 or more, after the terminator too.
__attribute__((target("avx512f,avx512bw,avx512vl"))) std::uint64_t
ShortCandidatesAvx512(const CountJob& job, std::size_t start, bool& beyondAscii)
{
    const std::size_t n = job.end - start;
    const __mmask32 inside = static_cast<__mmask32>((std::uint64_t{1} << n) - 1);
    const __m256i bytes = _mm256_maskz_loadu_epi8(inside, job.text + start);
    beyondAscii = _mm256_movemask_epi8(bytes) != 0;
    if (job.length > n)
        return 0;
    std::uint64_t candidates = EqualMask32(bytes, job.First(), job.ignoreCase);
    if (job.length > 1)
        candidates &= (EqualMask32(bytes, job.Second(), job.ignoreCase) >> 1) &
                      (EqualMask32(bytes, job.Last(), job.ignoreCase) >> (job.length - 1));
    const std::uint64_t terminator = _mm256_cmpeq_epi8_mask(bytes, _mm256_setzero_si256()) & inside;
    return CountJob::BeforeTerminator(candidates, terminator);
}

bool HasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    return avx2 && Allowed(CTextString::Instructions::Avx2);
}

bool HasAvx512()
{
    static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                               __builtin_cpu_supports("avx512vl");
    return avx512 && Allowed(CTextString::Instructions::Avx512);
}
#endif

#if defined(__SSE2__)
inline __m128i LoadSse2(const CountJob& job, std::size_t at)
{
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(job.text + at));
    if (!job.shifts)
        return bytes;
    return _mm_add_epi8(bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(job.shifts + at)));
}

// Sixteen positions from block on, but not those skipped; false at a terminator.
inline bool CountBlockSse2(const CountJob& job, std::size_t block, std::uint64_t skipped, __m128i& seen,
                           int& count)
{
    const __m128i head = LoadSse2(job, block);
    const __m128i next = LoadSse2(job, block + job.SecondAt());
    const __m128i tail = LoadSse2(job, block + job.length - 1);
    seen = _mm_or_si128(seen, _mm_or_si128(head, tail));
    const std::uint64_t terminator =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(head, _mm_setzero_si128())));
    const std::uint64_t candidates =
        static_cast<std::uint32_t>(EqualMask(head, job.First(), job.ignoreCase) &
                                   EqualMask(next, job.Second(), job.ignoreCase) &
                                   EqualMask(tail, job.Last(), job.ignoreCase)) &
        ~skipped;
    count += job.Confirmed(block, job.BeforeTerminator(candidates, terminator));
    return terminator == 0;
}

int CountBlocksSse2(const CountJob& job, std::size_t& i, bool& beyondAscii)
{
    int count = 0;
    __m128i seen = _mm_setzero_si128();
    for (; i + job.length - 1 + 16 <= job.end; i += 16)
        if (!CountBlockSse2(job, i, 0, seen, count)) {
            i = job.end;
            break;
        }
    std::size_t block = 0;
    std::uint64_t skipped = 0;
    if (job.LastBlock(16, i, block, skipped)) {
        CountBlockSse2(job, block, skipped, seen, count);
        i = job.end;
    }
    beyondAscii = beyondAscii || _mm_movemask_epi8(seen) != 0;
    return count;
}
#endif

// Counts the whole blocks from i on with the widest instructions the processor has, leaving i
// where the blocks end; the rest is counted a byte at a time. A whole text of up to 32 bytes in
// the clear is counted in one load where the processor has AVX-512.
int CountBlocks(const CountJob& job, std::size_t& i, bool& beyondAscii)
{
#if defined(__x86_64__)
    if (!job.shifts && i == 0 && job.end <= 32 && HasAvx512()) {
        bool high = false;
        const int count = job.Confirmed(0, ShortCandidatesAvx512(job, 0, high));
        beyondAscii = beyondAscii || high;
        i = job.end;
        return count;
    }
    if (HasAvx2())
        return job.shifts ? CountBlocksAvx2<true>(job, i, beyondAscii)
                          : CountBlocksAvx2<false>(job, i, beyondAscii);
#endif
#if defined(__SSE2__)
    return CountBlocksSse2(job, i, beyondAscii);
#else
    return 0;
#endif
}

CountJob ShiftedJob(const char* text, std::size_t length, const std::uint8_t* shifts, const char* pattern,
                    bool ignoreCase)
{
    return {reinterpret_cast<const unsigned char*>(text),
            length,
            reinterpret_cast<const unsigned char*>(pattern),
            std::strlen(pattern),
            ignoreCase,
            shifts};
}

} // namespace

void CTextString::UseAtMost(Instructions widest)
{
    g_widest.store(widest, std::memory_order_relaxed);
}

bool CTextString::Uses(Instructions instructions)
{
#if defined(__x86_64__)
    switch (instructions) {
    case Instructions::Sse2:
        return true;
    case Instructions::Avx2:
        return HasAvx2();
    case Instructions::Avx512:
        return HasAvx512();
    }
#endif
    return instructions == Instructions::Sse2;
}

CTextString::~CTextString()
{
    Free();
}

void CTextString::Free()
{
    if (!m_owns)
        return;
    delete[] m_data;
    m_data = nullptr;
    m_capacity = 0;
    m_owns = false;
}

bool CTextString::Attach(char* text, int length, bool owns)
{
    if (text == nullptr || m_data != nullptr)
        return false;
    m_data = text;
    m_capacity = (length < 0 ? static_cast<int>(std::strlen(text)) : length) + 1;
    m_owns = owns;
    return true;
}

char* CTextString::Detach()
{
    char* data = m_data;
    m_data = nullptr;
    m_capacity = 0;
    m_owns = false;
    return data;
}

char* CTextString::Reserve(int n)
{
    if (n < 0)
        return nullptr;
    if (m_data && m_capacity - 1 >= n)
        return m_data;
    char* block = new (std::nothrow) char[static_cast<std::size_t>(n) + 1];
    if (!block)
        return nullptr;
    if (m_data) {
        const int keep = m_capacity < n ? m_capacity : n;
        std::memcpy(block, m_data, static_cast<std::size_t>(keep));
        if (m_owns)
            delete[] m_data;
    } else {
        block[0] = '\0';
    }
    block[n] = '\0';
    m_data = block;
    m_capacity = n + 1;
    m_owns = true;
    return block;
}

int CTextString::Find(const char* pattern, int start, bool ignoreCase) const
{
    if (m_data == nullptr || pattern == nullptr || pattern[0] == '\0')
        return -1;
    if (start < 0)
        start = 0;
    if (start >= m_capacity)
        return -1;

    const auto* text = reinterpret_cast<const unsigned char*>(m_data);
    const auto* pat = reinterpret_cast<const unsigned char*>(pattern);
    const std::size_t length = std::strlen(pattern);
#if defined(__x86_64__)
    if (HasAvx512() && m_capacity - start <= 32) {
        const CountJob job{text, static_cast<std::size_t>(m_capacity), pat, length, ignoreCase};
        bool beyondAscii = false;
        const auto from = static_cast<std::size_t>(start);
        return static_cast<int>(job.FirstConfirmed(from, ShortCandidatesAvx512(job, from, beyondAscii)));
    }
#endif
    const unsigned char first = ignoreCase ? FoldCase(pat[0]) : pat[0];
    const unsigned char other = ignoreCase ? OtherCase(first) : first;
    const unsigned char* end = text + m_capacity;

    for (const unsigned char* p = text + start;; ++p) {
        p = ScanFor(p, end, first, other);
        if (p == end || *p == 0)
            return -1;
        // The text ends at its terminator, so a match must fit before the block's end; a shorter
        // tail fails the comparison at the terminator.
        const std::size_t room = static_cast<std::size_t>(end - p);
        const std::size_t span = length < room ? length : room;
        if (span == length && MatchesAt(p, pat, length, ignoreCase))
            return static_cast<int>(p - text);
        if (span < length)
            return -1;
    }
}

int CTextString::Count(const char* pattern, bool ignoreCase, bool* beyondAscii) const
{
    bool high = false;
    int count = 0;
    if (m_data != nullptr && pattern != nullptr && pattern[0] != '\0') {
        const CountJob job{reinterpret_cast<const unsigned char*>(m_data),
                           static_cast<std::size_t>(m_capacity),
                           reinterpret_cast<const unsigned char*>(pattern), std::strlen(pattern), ignoreCase};
        std::size_t i = 0;
        count = CountBlocks(job, i, high);
        for (; i < job.end && job.text[i] != 0; ++i) {
            high = high || job.text[i] >= 0x80;
            if (i + job.length < job.end && MatchesAt(job.text + i, job.pattern, job.length, ignoreCase))
                ++count;
        }
    }
    if (beyondAscii)
        *beyondAscii = high;
    return count;
}

int CTextString::FindShifted(const char* text, std::size_t length, const std::uint8_t* shifts,
                             const char* pattern, bool ignoreCase)
{
    const CountJob job = ShiftedJob(text, length, shifts, pattern, ignoreCase);
    if (job.length == 0 || job.length > length)
        return -1;
    std::size_t i = 0;
#if defined(__x86_64__)
    if (HasAvx2()) {
        const long at = FindShiftedBlocksAvx2(job, i);
        if (at >= 0)
            return static_cast<int>(at);
    }
#endif
    for (; i + job.length <= length; ++i)
        if (job.Matches(i, 0))
            return static_cast<int>(i);
    return -1;
}

int CTextString::CountShifted(const char* text, std::size_t length, const std::uint8_t* shifts,
                              const char* pattern, bool ignoreCase)
{
    const CountJob job = ShiftedJob(text, length, shifts, pattern, ignoreCase);
    if (job.length == 0 || job.length > length)
        return 0;
    std::size_t i = 0;
    bool high = false;
    int count = CountBlocks(job, i, high);
    for (; i + job.length <= length; ++i)
        count += job.Matches(i, 0) ? 1 : 0;
    return count;
}
