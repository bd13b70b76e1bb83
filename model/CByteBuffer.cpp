#include "model/CByteBuffer.h"

#include "model/CTextString.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

bool CByteBuffer::Allocate(std::uint32_t size)
{
    if (m_data)
        return false;
    // A block is always held after success, even of size 0.
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]());
    if (!block)
        return false;
    m_data = std::move(block);
    m_size = size;
    m_cursor = 0;
    return true;
}

void CByteBuffer::ZeroFill()
{
    if (m_data)
        std::memset(m_data.get(), 0, m_size);
}

bool CByteBuffer::Put(const void* source, std::uint32_t count)
{
    if (count > m_size - m_cursor)
        return false;
    if (count > 0)
        std::memcpy(m_data.get() + m_cursor, source, count);
    m_cursor += count;
    return true;
}

bool CByteBuffer::Get(void* target, std::uint32_t count)
{
    if (count > m_size - m_cursor)
        return false;
    if (count > 0)
        std::memcpy(target, m_data.get() + m_cursor, count);
    m_cursor += count;
    return true;
}

void CByteBuffer::Free()
{
    m_data.reset();
    m_size = 0;
    m_cursor = 0;
}

std::uint32_t CByteBuffer::Encipher(const char* key)
{
    return Transform(key, true);
}

std::uint32_t CByteBuffer::Decipher(const char* key)
{
    return Transform(key, false);
}

namespace {

// The shift depends only on the key position. The shifts are laid out over a stretch that is a
// whole number of key lengths.
std::vector<std::uint8_t> MakeShifts(const char* key, std::size_t n, bool encipher)
{
    const std::size_t stretch = n * 64;
    std::vector<std::uint8_t> shift(stretch, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const auto m = static_cast<std::uint8_t>((k + 1) * static_cast<std::uint8_t>(key[k]));
        const auto s = encipher ? static_cast<std::uint8_t>(m - 3) : static_cast<std::uint8_t>(3 - m);
        for (std::size_t r = k; r < stretch; r += n)
            shift[r] = s;
    }
    return shift;
}

// Made once per key and direction: the notebook's records, a million of them, and their fields are
// transformed one after another with the same key, the notebook's own above all.
const std::vector<std::uint8_t>& ShiftPattern(const char* key, std::size_t n, bool encipher)
{
    if (key == kNoteBookKey) {
        static const std::vector<std::uint8_t> decipher = MakeShifts(kNoteBookKey, n, false);
        static const std::vector<std::uint8_t> encipher_ = MakeShifts(kNoteBookKey, n, true);
        return encipher ? encipher_ : decipher;
    }
    thread_local std::string patternKey;
    thread_local bool patternEncipher = false;
    thread_local std::vector<std::uint8_t> shift;
    if (!shift.empty() && patternEncipher == encipher && patternKey == key)
        return shift;
    patternKey = key;
    patternEncipher = encipher;
    shift = MakeShifts(key, n, encipher);
    return shift;
}

} // namespace

const std::uint8_t* CByteBuffer::NoteBookShifts(std::size_t place, std::size_t count)
{
    constexpr std::size_t kLongest = 256 * 1024;
    const std::size_t n = std::strlen(kNoteBookKey);
    static const std::vector<std::uint8_t> stream = [n] {
        const std::vector<std::uint8_t>& shift = ShiftPattern(kNoteBookKey, n, false);
        std::vector<std::uint8_t> repeated(kLongest + n);
        for (std::size_t i = 0; i < repeated.size(); ++i)
            repeated[i] = shift[i % n];
        return repeated;
    }();
    return count <= kLongest ? stream.data() + place % n : nullptr;
}

// Adding the stretch along the block is a loop the compiler turns into vector code.
std::uint32_t CByteBuffer::Transform(const char* key, bool encipher)
{
    const std::size_t n = std::strlen(key);
    if (n == 0)
        return 0;
    const std::vector<std::uint8_t>& shift = ShiftPattern(key, n, encipher);
    const std::size_t stretch = shift.size();
    std::uint8_t* data = m_data.get();
    const std::uint8_t* pattern = shift.data();
    std::size_t j = 0;
    for (; j + stretch <= m_size; j += stretch)
        for (std::size_t i = 0; i < stretch; ++i)
            data[j + i] = static_cast<std::uint8_t>(data[j + i] + pattern[i]);
    for (std::size_t i = 0; j + i < m_size; ++i)
        data[j + i] = static_cast<std::uint8_t>(data[j + i] + pattern[i]);
    return static_cast<std::uint32_t>(n);
}

namespace {

#if defined(__x86_64__)
// MeasureDeciphered 32 bytes at a time, with a shift for each byte: the open classes every text of
// the notebook this way, and the narrower loop was a fifth of its time.
__attribute__((target("avx2"))) std::size_t MeasureAvx2(const std::uint8_t* source, std::size_t count,
                                                        const std::uint8_t* shifts, bool& beyondAscii)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i high = zero;
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i b = _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shifts + i)));
        const auto zeros = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, zero)));
        if (zeros != 0) {
            const std::uint32_t before = (std::uint32_t{1} << __builtin_ctz(zeros)) - 1;
            const auto highs = static_cast<std::uint32_t>(_mm256_movemask_epi8(b));
            beyondAscii = _mm256_movemask_epi8(high) != 0 || (highs & before) != 0;
            return i + static_cast<std::size_t>(__builtin_ctz(zeros));
        }
        high = _mm256_or_si256(high, b);
    }
    beyondAscii = _mm256_movemask_epi8(high) != 0;
    for (; i < count; ++i) {
        const auto b = static_cast<std::uint8_t>(source[i] + shifts[i]);
        if (b == 0)
            return i;
        beyondAscii = beyondAscii || b >= 0x80;
    }
    return count;
}
#endif

} // namespace

std::size_t CByteBuffer::MeasureDeciphered(const std::uint8_t* source, std::size_t count, std::size_t place,
                                           const char* key, bool& beyondAscii)
{
#if defined(__x86_64__)
    if (key == kNoteBookKey && CTextString::Uses(CTextString::Instructions::Avx2))
        if (const std::uint8_t* shifts = NoteBookShifts(place, count))
            return MeasureAvx2(source, count, shifts, beyondAscii);
#endif
    const std::size_t n = std::strlen(key);
    const std::vector<std::uint8_t>& shift = ShiftPattern(key, n == 0 ? 1 : n, false);
    constexpr std::size_t kBlock = 64;
    beyondAscii = false;
    std::size_t at = n == 0 ? 0 : place % n;
    std::size_t i = 0;
    // Whole blocks are read without a branch per byte, which the compiler makes vector code of;
    // the block holding the terminator is read again byte by byte.
    for (; i + kBlock <= count; i += kBlock) {
        if (at + kBlock > shift.size())
            at %= n;
        const std::uint8_t* pattern = shift.data() + at;
        std::uint8_t zero = 0;
        std::uint8_t high = 0;
        for (std::size_t j = 0; j < kBlock; ++j) {
            const auto b = static_cast<std::uint8_t>(source[i + j] + (n == 0 ? 0 : pattern[j]));
            zero |= static_cast<std::uint8_t>(b == 0);
            high |= b;
        }
        if (zero)
            break;
        beyondAscii = beyondAscii || (high & 0x80) != 0;
        at += kBlock;
    }
    for (; i < count; ++i, ++at) {
        if (at == shift.size())
            at = 0;
        const auto b = static_cast<std::uint8_t>(source[i] + (n == 0 ? 0 : shift[at]));
        if (b == 0)
            return i;
        beyondAscii = beyondAscii || b >= 0x80;
    }
    return count;
}

void CByteBuffer::DecipherAt(const std::uint8_t* source, std::size_t count, std::size_t place,
                             std::uint8_t* target, const char* key)
{
    const std::size_t n = std::strlen(key);
    if (n == 0) {
        std::memcpy(target, source, count);
        return;
    }
    const std::vector<std::uint8_t>& shift = ShiftPattern(key, n, false);
    // The stretch is a whole number of key lengths: from its end the shifts go on at its start.
    std::size_t at = place % n;
    while (count > 0) {
        const std::size_t run = std::min(count, shift.size() - at);
        const std::uint8_t* pattern = shift.data() + at;
        for (std::size_t i = 0; i < run; ++i)
            target[i] = static_cast<std::uint8_t>(source[i] + pattern[i]);
        source += run;
        target += run;
        count -= run;
        at = 0;
    }
}
