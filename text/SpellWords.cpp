#include "text/SpellWords.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace {

bool IsLetter(UChar32 c)
{
    return u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || (U_GET_GC_MASK(c) & U_GC_M_MASK);
}

bool IsApostrophe(UChar32 c)
{
    return c == u'\'' || c == u'\u2019';
}

bool IsWordPart(UChar32 c)
{
    return IsLetter(c) || u_isdigit(c) || c == u'_';
}

// Addresses, host and file names and paths are not words of a language.
bool IsAddressOrPath(std::u16string_view chunk)
{
    if (chunk.find(u'@') != std::u16string_view::npos || chunk.find(u'/') != std::u16string_view::npos ||
        chunk.find(u'\\') != std::u16string_view::npos || chunk.front() == u'~')
        return true;
    for (std::size_t dot = chunk.find(u'.'); dot != std::u16string_view::npos;
         dot = chunk.find(u'.', dot + 1))
        if (dot > 0 && dot + 1 < chunk.size() && u_isalnum(chunk[dot - 1]) && u_isalnum(chunk[dot + 1]))
            return true;
    return false;
}

void AddWordsOfChunk(std::u16string_view text, int from, int to, std::vector<SpellWord>& words)
{
    int i = from;
    while (i < to) {
        UChar32 c;
        int next = i;
        U16_NEXT(text.data(), next, to, c);
        if (!IsWordPart(c)) {
            i = next;
            continue;
        }
        // A run of word characters, apostrophes inside it included.
        const int start = i;
        bool letters = true;
        int end = i;
        while (end < to) {
            int after = end;
            U16_NEXT(text.data(), after, to, c);
            if (IsWordPart(c)) {
                letters = letters && IsLetter(c);
            } else if (IsApostrophe(c) && after < to) {
                UChar32 following;
                int peek = after;
                U16_NEXT(text.data(), peek, to, following);
                if (!IsWordPart(following))
                    break;
            } else {
                break;
            }
            end = after;
        }
        if (letters)
            words.push_back({start, end - start});
        i = end;
    }
}

} // namespace

std::vector<SpellWord> WordsToCheck(std::u16string_view text)
{
    std::vector<SpellWord> words;
    const int size = static_cast<int>(text.size());
    int i = 0;
    while (i < size) {
        while (i < size && u_isUWhiteSpace(text[i]))
            ++i;
        int end = i;
        while (end < size && !u_isUWhiteSpace(text[end]))
            ++end;
        if (end > i && !IsAddressOrPath(text.substr(i, end - i)))
            AddWordsOfChunk(text, i, end, words);
        i = end;
    }
    return words;
}
