#include "model/CTextString.h"

#include "model/CaseFold.h"

#include <cstring>
#include <new>

#if defined(__SSE2__)
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

bool MatchesAt(const unsigned char* text, const unsigned char* pattern, std::size_t length, bool ignoreCase)
{
    if (!ignoreCase)
        return std::memcmp(text, pattern, length) == 0;
    for (std::size_t i = 0; i < length; ++i)
        if (FoldCase(text[i]) != FoldCase(pattern[i]))
            return false;
    return true;
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
