#include "model/CTextCodec.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// The five bytes Windows-1252 leaves unassigned. Windows maps them to the C1 controls of the same
// value; iconv refuses them, so they are carried over by hand to keep every byte.
bool IsUnassigned1252(unsigned char c)
{
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// The characters of 0x80 to 0x9F, the only ones that differ from Latin-1.
constexpr char32_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Length of the leading run of ASCII bytes, 32 and then eight at a time: the search asks it of
// every note.
std::size_t AsciiRun(std::string_view s, std::size_t from)
{
    std::size_t i = from;
    for (; i + 32 <= s.size(); i += 32) {
        std::uint64_t words[4];
        std::memcpy(words, s.data() + i, 32);
        if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull)
            break;
    }
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80)
        ++i;
    return i;
}

#if defined(__x86_64__)
// 128 bytes a step: the search asks this of every note that holds an occurrence.
__attribute__((target("avx2"))) std::size_t AsciiBlocksAvx2(const char* data, std::size_t size)
{
    std::size_t i = 0;
    for (; i + 128 <= size; i += 128) {
        const auto* block = reinterpret_cast<const __m256i*>(data + i);
        const __m256i any =
            _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(block), _mm256_loadu_si256(block + 1)),
                            _mm256_or_si256(_mm256_loadu_si256(block + 2), _mm256_loadu_si256(block + 3)));
        if (_mm256_movemask_epi8(any) != 0)
            break;
    }
    return i;
}
#endif

} // namespace

bool CTextCodec::DecodeUtf8(std::string_view s, std::size_t& i, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    if (lead < 0x80) {
        cp = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return false;
    }
    if (extra >= s.size() - i)
        return false; // cut short
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const char32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return false;
    i += extra + 1;
    return true;
}

CTextCodec::CTextCodec(Direction direction)
    : m_direction(direction), m_cd(direction == fromWindows1252 ? ::iconv_open("UTF-8", "WINDOWS-1252")
                                                                : ::iconv_open("WINDOWS-1252", "UTF-8"))
{
}

CTextCodec::~CTextCodec()
{
    if (m_cd != kNoDescriptor)
        ::iconv_close(m_cd);
}

bool CTextCodec::IsAscii(std::string_view text)
{
    std::size_t i = 0;
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        i = AsciiBlocksAvx2(text.data(), text.size());
#endif
    return AsciiRun(text, i) == text.size();
}

bool CTextCodec::IsValidUtf8(std::string_view text)
{
    return Classify(text) != StoredText::other;
}

StoredText CTextCodec::Classify(std::string_view bytes)
{
    std::size_t i = AsciiRun(bytes, 0);
    if (i == bytes.size())
        return StoredText::ascii;
    while (i < bytes.size()) {
        char32_t cp;
        if (!DecodeUtf8(bytes, i, cp))
            return StoredText::other;
        i = AsciiRun(bytes, i);
    }
    return StoredText::utf8;
}

int CTextCodec::Windows1252Byte(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == cp)
            return 0x80 + i;
    return -1;
}

bool CTextCodec::FitsWindows1252(std::string_view utf8)
{
    std::size_t i = AsciiRun(utf8, 0);
    while (i < utf8.size()) {
        char32_t cp;
        if (!DecodeUtf8(utf8, i, cp) || Windows1252Byte(cp) < 0)
            return false;
        i = AsciiRun(utf8, i);
    }
    return true;
}

bool CTextCodec::UnicodeToUtf8(std::string_view bytes, const char* encoding, std::string& out)
{
    out.clear();
    const iconv_t cd = ::iconv_open("UTF-8", encoding);
    if (cd == kNoDescriptor)
        return false;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char chunk[4096];
    bool done = true;
    while (inLeft > 0 && done) {
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        done = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) || errno == E2BIG;
        out.append(chunk, sizeof chunk - outLeft);
    }
    ::iconv_close(cd);
    return done;
}

std::string CTextCodec::AsUtf8(std::string_view text)
{
    std::string utf8;
    if (IsValidUtf8(text) || !CTextCodec(fromWindows1252).Convert(text, utf8))
        return std::string(text);
    return utf8;
}

bool CTextCodec::Convert(std::string_view text, std::string& out)
{
    out.clear();
    if (m_cd == kNoDescriptor)
        return false;
    if (IsAscii(text)) {
        out.assign(text);
        return true;
    }
    // A UTF-8 character takes at most three bytes for one Windows-1252 byte, and never fewer bytes.
    out.reserve(m_direction == fromWindows1252 ? text.size() * 3 : text.size());
    return Run(text, out);
}

bool CTextCodec::Run(std::string_view text, std::string& out)
{
    ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char chunk[4096];
    while (inLeft > 0) {
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t rc = ::iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk, sizeof chunk - outLeft);
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        if (errno != EILSEQ)
            return false;
        const auto c = static_cast<unsigned char>(in[0]);
        if (m_direction == fromWindows1252 && IsUnassigned1252(c)) {
            out += static_cast<char>(0xC2);
            out += static_cast<char>(c);
            ++in;
            --inLeft;
        } else if (m_direction == toWindows1252 && c == 0xC2 && inLeft >= 2 &&
                   IsUnassigned1252(static_cast<unsigned char>(in[1]))) {
            out += in[1];
            in += 2;
            inLeft -= 2;
        } else {
            return false;
        }
    }
    return true;
}
