#include "views/search/CFoldedText.h"

#include "model/CTextCodec.h"
#include "model/CaseFold.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <numeric>

namespace {

constexpr std::uint32_t kInside = 0xFFFFFFFFu;

// Full folding of one character, appended as UTF-8. Most characters stay as they are; ICU
// folds the rest, some into several characters (ß into ss).
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

} // namespace

void CFoldedText::Fold(std::string_view text)
{
    m_folded.clear();
    m_original.clear();
    m_sourceSize = text.size();
    if (CTextCodec::IsAscii(text)) {
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
            i = run;
        } else {
            AppendCharacter(text, i);
        }
    }
}

// ASCII, most of any note, folds byte for byte; the loop has no branch, so the compiler does many
// bytes at once. A text of ASCII only keeps no offsets: both agree.
void CFoldedText::AppendAscii(std::string_view text, std::size_t from, std::size_t to)
{
    const std::size_t at = m_folded.size();
    m_folded.resize(at + (to - from));
    std::transform(text.begin() + from, text.begin() + to, m_folded.begin() + at,
                   [](char c) { return static_cast<char>(FoldCase(static_cast<unsigned char>(c))); });
    if (to - from == text.size())
        return;
    m_original.resize(at + (to - from));
    std::iota(m_original.begin() + at, m_original.end(), static_cast<std::uint32_t>(from));
}

// One character beyond ASCII at i, stepping past it; a byte that is not UTF-8 stands for itself.
void CFoldedText::AppendCharacter(std::string_view text, std::size_t& i)
{
    const std::size_t start = i;
    const std::size_t before = m_folded.size();
    char32_t c = 0;
    if (CTextCodec::DecodeUtf8(text, i, c)) {
        AppendFolded(c, text.substr(start, i - start), m_folded);
    } else {
        m_folded += text[i];
        ++i;
    }
    m_original.push_back(static_cast<std::uint32_t>(start));
    m_original.resize(m_original.size() + (m_folded.size() - before - 1), kInside);
}

bool CFoldedText::StartsCharacter(std::size_t foldedPos) const
{
    return m_original.empty() || foldedPos >= m_original.size() || m_original[foldedPos] != kInside;
}

std::size_t CFoldedText::ToOriginal(std::size_t foldedPos) const
{
    if (foldedPos >= m_folded.size())
        return m_sourceSize;
    return m_original.empty() ? foldedPos : m_original[foldedPos];
}
