#pragma once

#include <string_view>
#include <vector>

// A word of a text, in UTF-16 code units as the editor counts them.
struct SpellWord
{
    int start;
    int length;
};

// The words of a piece of text a spelling checker should see: runs of letters, with marks and
// inner apostrophes. Left out: words with digits or underscores, and whole blank-separated chunks
// that are e-mail or web addresses, host names or paths.
std::vector<SpellWord> WordsToCheck(std::u16string_view text);
