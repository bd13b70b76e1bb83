#include "text/CFoldedText.h"

#include "model/CTextCodec.h"
#include "model/CaseFold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace {

constexpr std::uint32_t kInside = 0xFFFFFFFFu;

const icu::Normalizer2& Instance(const icu::Normalizer2* (*get)(UErrorCode&))
{
    UErrorCode error = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = get(error);
    if (U_FAILURE(error) || !normalizer)
        throw std::runtime_error("the Unicode normalization data is missing");
    return *normalizer;
}

const icu::Normalizer2& Nfd()
{
    static const icu::Normalizer2& nfd = Instance(&icu::Normalizer2::getNFDInstance);
    return nfd;
}

// A combining sequence (a character and the marks that belong to it) starts where this knows a
// boundary: "e" and a combining acute form one, as "é" does.
const icu::Normalizer2& Nfc()
{
    static const icu::Normalizer2& nfc = Instance(&icu::Normalizer2::getNFCInstance);
    return nfc;
}

// Full folding of one character that is its own decomposition, appended as UTF-8. Such a
// character changes under folding exactly when it has the property below.
void AppendFolded(char32_t c, std::string_view source, std::string& out)
{
    if (!u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_CHANGES_WHEN_CASEFOLDED)) {
        out.append(source);
        return;
    }
    UChar in[2];
    int32_t inLength = 0;
    U16_APPEND_UNSAFE(in, inLength, static_cast<UChar32>(c));
    UChar folded[8];
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = u_strFoldCase(folded, 8, in, inLength, U_FOLD_CASE_DEFAULT, &error);
    if (U_FAILURE(error)) {
        out.append(source);
        return;
    }
    for (int32_t i = 0; i < length;) {
        UChar32 unit;
        U16_NEXT_UNSAFE(folded, i, unit);
        char bytes[4];
        int32_t n = 0;
        U8_APPEND_UNSAFE(bytes, n, unit);
        out.append(bytes, static_cast<std::size_t>(n));
    }
}

// The character at i when it continues the combining sequence before it; steps past it.
bool ContinuesSequence(std::string_view text, std::size_t& i)
{
    if (i >= text.size() || static_cast<unsigned char>(text[i]) < 0x80)
        return false;
    std::size_t next = i;
    char32_t c = 0;
    if (!CTextCodec::DecodeUtf8(text, next, c) || Nfc().hasBoundaryBefore(static_cast<UChar32>(c)))
        return false;
    i = next;
    return true;
}

} // namespace

void CFoldedText::Fold(std::string_view text, Case how)
{
    m_case = how;
    m_source = text;
    m_folded.clear();
    m_original.clear();
    const bool ascii = CTextCodec::IsAscii(text);
    m_asIs = ascii && how == Case::keep;
    if (m_asIs)
        return;
    if (ascii) {
        AppendAscii(text, 0, text.size());
        return;
    }
    m_original.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t run = i;
        while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80)
            ++run;
        if (run > i) {
            AppendAscii(text, i, run);
            // A letter that carries a mark is no letter of A to Z: "E" and an acute read as "É".
            std::size_t next = run;
            if (how == Case::asciiLetters && ContinuesSequence(text, next))
                m_folded.back() = text[run - 1];
            i = run;
        } else {
            AppendSegment(text, i);
        }
    }
}

// ASCII, most of any note, folds byte for byte; the loop has no branch, so the compiler does many
// bytes at once. A text of ASCII only keeps no offsets: both agree.
void CFoldedText::AppendAscii(std::string_view text, std::size_t from, std::size_t to)
{
    const std::size_t at = m_folded.size();
    m_folded.resize(at + (to - from));
    if (m_case == Case::keep)
        std::copy(text.begin() + from, text.begin() + to, m_folded.begin() + at);
    else
        std::transform(text.begin() + from, text.begin() + to, m_folded.begin() + at,
                       [](char c) { return static_cast<char>(FoldCase(static_cast<unsigned char>(c))); });
    if (to - from == text.size())
        return;
    m_original.resize(at + (to - from));
    std::iota(m_original.begin() + at, m_original.end(), static_cast<std::uint32_t>(from));
}

// One combining sequence beyond ASCII at i, or the marks that follow an ASCII letter, stepping
// past it; a byte that is not UTF-8 stands for itself.
void CFoldedText::AppendSegment(std::string_view text, std::size_t& i)
{
    const std::size_t start = i;
    const std::size_t before = m_folded.size();
    char32_t c = 0;
    if (!CTextCodec::DecodeUtf8(text, i, c)) {
        m_folded += text[i];
        ++i;
        m_original.push_back(static_cast<std::uint32_t>(start));
        return;
    }
    const bool boundary = before == 0 || Nfc().hasBoundaryBefore(static_cast<UChar32>(c));
    const std::size_t first = i;
    while (ContinuesSequence(text, i)) {
    }
    if (i == first && Nfd().isInert(static_cast<UChar32>(c))) {
        if (m_case == Case::full)
            AppendFolded(c, text.substr(start, i - start), m_folded);
        else
            m_folded.append(text.substr(start, i - start));
    } else {
        AppendNormalized(text.substr(start, i - start));
    }
    m_original.push_back(boundary ? static_cast<std::uint32_t>(start) : kInside);
    m_original.resize(m_original.size() + (m_folded.size() - before - 1), kInside);
}

// Decomposed, folded, and decomposed again: folding can leave marks out of their canonical order.
void CFoldedText::AppendNormalized(std::string_view segment)
{
    UErrorCode error = U_ZERO_ERROR;
    icu::UnicodeString text = Nfd().normalize(icu::UnicodeString::fromUTF8(segment), error);
    if (m_case == Case::full) {
        text.foldCase();
        if (!Nfd().isNormalized(text, error))
            text = Nfd().normalize(text, error);
    }
    if (U_FAILURE(error)) {
        m_folded.append(segment);
        return;
    }
    const std::size_t at = m_folded.size();
    text.toUTF8String(m_folded);
    // The Kelvin sign is a K, and a K alone folds.
    if (m_case == Case::asciiLetters && m_folded.size() == at + 1)
        m_folded.back() = static_cast<char>(FoldCase(static_cast<unsigned char>(m_folded.back())));
}

bool CFoldedText::StartsCharacter(std::size_t foldedPos) const
{
    return m_original.empty() || foldedPos >= m_original.size() || m_original[foldedPos] != kInside;
}

std::size_t CFoldedText::ToOriginal(std::size_t foldedPos) const
{
    if (foldedPos >= Get().size())
        return m_source.size();
    return m_original.empty() ? foldedPos : m_original[foldedPos];
}

std::size_t CFoldedText::ToFolded(std::size_t originalPos) const
{
    if (m_original.empty())
        return std::min(originalPos, Get().size());
    std::size_t pos = 0;
    while (pos < m_original.size() && (m_original[pos] == kInside || m_original[pos] < originalPos))
        ++pos;
    return pos;
}
