#include "text/CFoldedText.h"

#include "model/CTextCodec.h"
#include "model/CaseFold.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <stdexcept>

namespace {

constexpr std::uint32_t kInside = 0xFFFFFFFFu;
constexpr std::uint32_t kJoined = 0x80000000u;

// One per thread: Find All searches on both cores.
icu::BreakIterator& Clusters(std::string_view text)
{
    thread_local std::unique_ptr<icu::BreakIterator> clusters;
    UErrorCode error = U_ZERO_ERROR;
    if (!clusters)
        clusters.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), error));
    if (U_FAILURE(error) || !clusters)
        throw std::runtime_error("the Unicode break data is missing");
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &error);
    clusters->setText(utext, error);
    utext_close(utext); // the iterator keeps a clone
    return *clusters;
}

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
    MarkClusters(text);
}

// The characters that begin no cluster: marks of any combining class, vowel signs, the joiners.
void CFoldedText::MarkClusters(std::string_view text)
{
    icu::BreakIterator& clusters = Clusters(text);
    std::vector<bool> starts(text.size() + 1, false);
    for (int32_t at = clusters.first(); at != icu::BreakIterator::DONE; at = clusters.next())
        starts[static_cast<std::size_t>(at)] = true;
    for (std::uint32_t& original : m_original)
        if (original != kInside && !starts[original])
            original |= kJoined;
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
    // A mark that stands apart keeps its place: a search for the mark alone finds it.
    m_original.push_back(static_cast<std::uint32_t>(start));
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

bool CFoldedText::StartsCharacter(std::size_t foldedPos, bool marks) const
{
    if (m_original.empty() || foldedPos >= m_original.size())
        return true;
    const std::uint32_t original = m_original[foldedPos];
    return original != kInside && (marks || (original & kJoined) == 0);
}

std::size_t CFoldedText::ToOriginal(std::size_t foldedPos) const
{
    if (foldedPos >= Get().size())
        return m_source.size();
    return m_original.empty() ? foldedPos : m_original[foldedPos] & ~kJoined;
}

std::size_t CFoldedText::ToFolded(std::size_t originalPos) const
{
    if (m_original.empty())
        return std::min(originalPos, Get().size());
    std::size_t pos = 0;
    while (pos < m_original.size() &&
           (m_original[pos] == kInside || (m_original[pos] & ~kJoined) < originalPos))
        ++pos;
    return pos;
}

bool CFoldedText::OnlyMarks(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        UChar32 c = 0;
        U8_NEXT(text.data(), i, text.size(), c);
        const int32_t kind = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
        if (c < 0 || (kind != U_GCB_EXTEND && kind != U_GCB_SPACING_MARK && kind != U_GCB_ZWJ))
            return false;
    }
    return !text.empty();
}

bool CFoldedText::IsClusterBoundary(std::string_view text, std::size_t pos)
{
    if (pos == 0 || pos >= text.size())
        return true;
    // Between two ASCII characters only "\r\n" holds together, and most places are such.
    const auto before = static_cast<unsigned char>(text[pos - 1]);
    const auto at = static_cast<unsigned char>(text[pos]);
    if (before < 0x80 && at < 0x80)
        return before != '\r' || at != '\n';
    return Clusters(text).isBoundary(static_cast<int32_t>(pos));
}
