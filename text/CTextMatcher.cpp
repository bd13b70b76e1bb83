#include "text/CTextMatcher.h"

#include "model/CNote.h"
#include "model/CTextCodec.h"
#include "model/CTextString.h"
#include "text/TextLines.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <unicode/uchar.h>

#include <cstring>

namespace {

// The character ending at pos; 0, no word character, when the bytes there form none.
char32_t CharacterBefore(std::string_view text, std::size_t pos)
{
    std::size_t start = pos - 1;
    while (start > 0 && pos - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    char32_t c = 0;
    std::size_t next = start;
    return CTextCodec::DecodeUtf8(text, next, c) && next == pos ? c : 0;
}

char32_t CharacterAt(std::string_view text, std::size_t pos)
{
    char32_t c = 0;
    return CTextCodec::DecodeUtf8(text, pos, c) ? c : 0;
}

// Counts characters, not bytes, so the place of an error matches what the user typed.
int CharactersIn(std::string_view text)
{
    int count = 0;
    for (const char byte : text)
        count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return count;
}

// Whether pos falls between the two characters of a "\r\n", one character to the user.
bool SplitsLineBreak(std::string_view text, std::size_t pos)
{
    return pos > 0 && pos < text.size() && text[pos - 1] == '\r' && text[pos] == '\n';
}

// Whether a match of a regular expression holds whole characters as the user sees them, or marks
// alone, which it may find on whatever they are on.
bool WholeClusters(std::string_view text, std::size_t start, std::size_t end)
{
    return (CFoldedText::IsClusterBoundary(text, start) && CFoldedText::IsClusterBoundary(text, end)) ||
           CFoldedText::OnlyMarks(text.substr(start, end - start));
}

// Whether the bytes occur as themselves in ASCII text, one occurrence never overlapping the next:
// ASCII, no zero byte, no beginning of them that is also their end, and no half of a "\r\n" at
// either end. Longer patterns are left to the general search rather than checked.
bool CountableAsBytes(std::string_view needle)
{
    constexpr std::size_t kLongest = 256;
    if (needle.empty() || needle.size() > kLongest || !CTextCodec::IsAscii(needle) ||
        needle.find('\0') != std::string_view::npos || needle.front() == '\n' || needle.back() == '\r')
        return false;
    for (std::size_t k = 1; k < needle.size(); ++k)
        if (needle.substr(0, k) == needle.substr(needle.size() - k))
            return false;
    return true;
}

} // namespace

CTextMatcher::CTextMatcher() = default;

CTextMatcher::~CTextMatcher()
{
    ReleaseRegex();
}

void CTextMatcher::ReleaseRegex()
{
    pcre2_match_data_free(m_matchData);
    pcre2_match_context_free(m_matchContext);
    pcre2_jit_stack_free(m_jitStack);
    pcre2_code_free(m_code);
    m_matchData = nullptr;
    m_matchContext = nullptr;
    m_jitStack = nullptr;
    m_code = nullptr;
}

bool CTextMatcher::Compile(const std::string& pattern, const Options& options)
{
    ReleaseRegex();
    m_options = options;
    m_error.clear();
    m_errorOffset = 0;
    m_needle.clear();
    m_asciiBytes = false;
    m_marks = false;
    if (!options.regex) {
        m_folded.Fold(pattern, TextCase());
        m_needle = m_folded.Get();
        m_marks = CFoldedText::OnlyMarks(m_needle);
        m_asciiBytes = !options.wholeWords && CountableAsBytes(m_needle);
        return true;
    }

    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    if (options.wholeWords)
        pcre2_set_compile_extra_options(context, PCRE2_EXTRA_MATCH_WORD);
    const std::uint32_t flags = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE |
                                (options.matchCase ? 0 : PCRE2_CASELESS);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    m_code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &errorCode,
                           &errorOffset, context);
    pcre2_compile_context_free(context);
    if (!m_code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, sizeof message);
        m_error = reinterpret_cast<const char*>(message);
        m_errorOffset = CharactersIn(std::string_view(pattern).substr(0, errorOffset));
        return false;
    }
    // Without the JIT the interpreter runs the same pattern, only slower.
    pcre2_jit_compile(m_code, PCRE2_JIT_COMPLETE);
    m_matchData = pcre2_match_data_create_from_pattern(m_code, nullptr);
    m_matchContext = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(m_matchContext, kMatchLimit);
    m_jitStack = pcre2_jit_stack_create(32 * 1024, 4 * 1024 * 1024, nullptr);
    pcre2_jit_stack_assign(m_matchContext, nullptr, m_jitStack);
    return true;
}

bool CTextMatcher::TallyAscii(const std::string& text, Tally& tally) const
{
    tally = {};
    if (!m_asciiBytes || std::char_traits<char>::length(text.c_str()) != text.size())
        return false;
    // Borrowed, never written.
    CTextString field;
    field.Attach(const_cast<char*>(text.c_str()), static_cast<int>(text.size()));
    const bool ignoreCase = !m_options.matchCase;
    bool beyondAscii = false;
    const int count = field.Count(m_needle.c_str(), ignoreCase, &beyondAscii);
    if (!beyondAscii && count > 0) {
        tally.count = static_cast<std::size_t>(count);
        tally.start = static_cast<std::size_t>(field.Find(m_needle.c_str(), 0, ignoreCase));
        tally.end = tally.start + m_needle.size();
        tally.line = LineNumberAt(text, tally.start);
    }
    field.Detach();
    return !beyondAscii;
}

bool CTextMatcher::TallyStored(const CNote& note, Tally& tally) const
{
    tally = {};
    CNote::StoredAscii text;
    if (!m_asciiBytes || !note.ViewStoredAscii(text))
        return false;
    const auto* stored = reinterpret_cast<const char*>(text.bytes);
    const bool ignoreCase = !m_options.matchCase;
    const int count =
        CTextString::CountShifted(stored, text.length, text.shifts, m_needle.c_str(), ignoreCase);
    if (count == 0)
        return true;
    tally.count = static_cast<std::size_t>(count);
    tally.start = static_cast<std::size_t>(
        CTextString::FindShifted(stored, text.length, text.shifts, m_needle.c_str(), ignoreCase));
    tally.end = tally.start + m_needle.size();
    const auto before = [&](const char* what) {
        return CTextString::CountShifted(stored, tally.start, text.shifts, what, false);
    };
    const auto plain = [&](std::size_t k) { return static_cast<char>(text.bytes[k] + text.shifts[k]); };
    // A lone "\r" ends a line too; one right before the occurrence is not lone if it begins with "\n".
    const std::size_t at = tally.start;
    const bool returnBeforeNewline = at > 0 && plain(at - 1) == '\r' && plain(at) == '\n';
    tally.line = 1 + before("\n") + before("\r") - before("\r\n") - (returnBeforeNewline ? 1 : 0);
    return true;
}

bool CTextMatcher::ForEachMatch(std::string_view text, const Found& found)
{
    if (m_options.regex)
        return ForEachRegex(text, found);
    if (m_needle.empty() || text.empty())
        return true;
    return ForEachLiteral(text, found);
}

// The text is searched decomposed (and folded without regard to case), and only hits that begin
// and end on whole characters of the original count: "ss" finds "ß", but "s" does not find half of
// it, nor "e" the e of an "é" written with a combining accent.
bool CTextMatcher::ForEachLiteral(std::string_view text, const Found& found)
{
    m_folded.Fold(text, TextCase());
    const std::string_view haystack = m_folded.Get();
    for (std::size_t from = 0; from < haystack.size();) {
        const void* hit =
            memmem(haystack.data() + from, haystack.size() - from, m_needle.data(), m_needle.size());
        if (!hit)
            break;
        const auto hitStart = static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
        const std::size_t hitEnd = hitStart + m_needle.size();
        const std::size_t start = m_folded.ToOriginal(hitStart);
        const std::size_t end = m_folded.ToOriginal(hitEnd);
        const bool wholeCharacters = m_folded.StartsCharacter(hitStart, m_marks) &&
                                     m_folded.StartsCharacter(hitEnd, m_marks) &&
                                     !SplitsLineBreak(text, start) && !SplitsLineBreak(text, end);
        if (!wholeCharacters || (m_options.wholeWords && !IsWholeWord(text, start, end))) {
            from = hitStart + 1;
            continue;
        }
        if (!found(start, end))
            break;
        from = hitEnd;
    }
    return true;
}

bool CTextMatcher::ForEachRegex(std::string_view text, const Found& found)
{
    if (!m_code || text.empty())
        return true;
    const auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    for (std::size_t from = 0; from < text.size();) {
        const int rc =
            pcre2_match(m_code, subject, text.size(), from, PCRE2_NOTEMPTY, m_matchData, m_matchContext);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0)
            return false; // the match limit, or the JIT's stack: the pattern runs away
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_matchData);
        const std::size_t start = ovector[0];
        const std::size_t end = ovector[1];
        // \K in a lookahead can report an end before the start; such a match selects nothing.
        if (end <= start) {
            from = std::max(from, start) + 1;
            continue;
        }
        if (!WholeClusters(text, start, end)) {
            from = start + 1;
            continue;
        }
        if (!found(start, end))
            break;
        from = end;
    }
    return true;
}

bool CTextMatcher::GetGroup(unsigned n, std::size_t& start, std::size_t& end) const
{
    if (!m_options.regex || !m_matchData || n >= pcre2_get_ovector_count(m_matchData))
        return false;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_matchData);
    if (ovector[2 * n] == PCRE2_UNSET || ovector[2 * n + 1] < ovector[2 * n])
        return false;
    start = ovector[2 * n];
    end = ovector[2 * n + 1];
    return true;
}

// A match is a whole word when no word character joins it on either side: the character before it
// or its first one is no word character, and so is its last one or the one after it.
bool CTextMatcher::IsWholeWord(std::string_view text, std::size_t start, std::size_t end) const
{
    const bool joinedBefore = start > 0 && IsWordCharacter(CharacterBefore(text, start)) &&
                              IsWordCharacter(CharacterAt(text, start));
    const bool joinedAfter = end < text.size() && IsWordCharacter(CharacterAt(text, end)) &&
                             IsWordCharacter(CharacterBefore(text, end));
    return !joinedBefore && !joinedAfter;
}

bool CTextMatcher::IsWordCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
}
