#include "model/CTextString.h"

#include "model/CaseFold.h"

#include <cstdint>
#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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

    unsigned char First() const { return ignoreCase ? FoldCase(pattern[0]) : pattern[0]; }
    unsigned char Last() const { return ignoreCase ? FoldCase(pattern[length - 1]) : pattern[length - 1]; }
    // Blocks of positions are filtered on the pattern's first and last bytes; a position that
    // passes is compared whole. A candidate that runs into the terminator fails the comparison,
    // since no pattern byte is zero. Candidates past the terminator are cut off by the caller.
    int Confirmed(std::size_t block, std::uint64_t candidates) const
    {
        if (length <= 2)
            return __builtin_popcountll(candidates);
        int count = 0;
        for (; candidates != 0; candidates &= candidates - 1) {
            const std::size_t at = block + static_cast<std::size_t>(__builtin_ctzll(candidates));
            count += MatchesAt(text + at + 1, pattern + 1, length - 2, ignoreCase) ? 1 : 0;
        }
        return count;
    }
    std::uint64_t BeforeTerminator(std::uint64_t candidates, std::uint64_t terminator) const
    {
        return terminator == 0 ? candidates
                               : candidates & ((std::uint64_t{1} << __builtin_ctzll(terminator)) - 1);
    }
};

#if defined(__x86_64__)
__attribute__((target("avx2,popcnt"))) std::uint32_t EqualMask32(__m256i chunk, unsigned char c,
                                                                 bool ignoreCase)
{
    if (ignoreCase && c >= 'a' && c <= 'z')
        chunk = _mm256_or_si256(chunk, _mm256_set1_epi8(0x20));
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(chunk, _mm256_set1_epi8(static_cast<char>(c)))));
}

// Thirty-two positions at a time, where the processor has AVX2; i stops where the blocks end.
__attribute__((target("avx2,popcnt"))) int CountBlocksAvx2(const CountJob& job, std::size_t& i,
                                                           bool& beyondAscii)
{
    const unsigned char first = job.First();
    const unsigned char last = job.Last();
    int count = 0;
    __m256i seen = _mm256_setzero_si256();
    for (; i + job.length - 1 + 32 <= job.end; i += 32) {
        const __m256i head = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(job.text + i));
        const __m256i tail =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(job.text + i + job.length - 1));
        seen = _mm256_or_si256(seen, head);
        const std::uint64_t terminator =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(head, _mm256_setzero_si256())));
        const std::uint64_t candidates =
            EqualMask32(head, first, job.ignoreCase) & EqualMask32(tail, last, job.ignoreCase);
        count += job.Confirmed(i, job.BeforeTerminator(candidates, terminator));
        if (terminator != 0) {
            i = job.end;
            break;
        }
    }
    beyondAscii = beyondAscii || _mm256_movemask_epi8(seen) != 0;
    return count;
}
#endif

#if defined(__SSE2__)
int CountBlocksSse2(const CountJob& job, std::size_t& i, bool& beyondAscii)
{
    const unsigned char first = job.First();
    const unsigned char last = job.Last();
    int count = 0;
    __m128i seen = _mm_setzero_si128();
    for (; i + job.length - 1 + 16 <= job.end; i += 16) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(job.text + i));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(job.text + i + job.length - 1));
        seen = _mm_or_si128(seen, head);
        const std::uint64_t terminator =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(head, _mm_setzero_si128())));
        const std::uint64_t candidates = static_cast<std::uint32_t>(EqualMask(head, first, job.ignoreCase) &
                                                                    EqualMask(tail, last, job.ignoreCase));
        count += job.Confirmed(i, job.BeforeTerminator(candidates, terminator));
        if (terminator != 0) {
            i = job.end;
            break;
        }
    }
    beyondAscii = beyondAscii || _mm_movemask_epi8(seen) != 0;
    return count;
}
#endif

// Counts the whole blocks from i on with the widest instructions the processor has, leaving i
// where the blocks end; the rest is counted a byte at a time.
int CountBlocks(const CountJob& job, std::size_t& i, bool& beyondAscii)
{
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    if (avx2)
        return CountBlocksAvx2(job, i, beyondAscii);
#endif
#if defined(__SSE2__)
    return CountBlocksSse2(job, i, beyondAscii);
#else
    return 0;
#endif
}

} // namespace

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
