#pragma once

#include "text/CTextMatcher.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Replaces the occurrences a matcher finds. For a regular expression the replacement may name
// the occurrence's groups: $1 to $99 (or ${n}), $0 the whole occurrence, $$ a dollar sign; a
// plain pattern's replacement is taken as it is.
class CTextReplacer
{
public:
    // One replaced occurrence, placed in the new text; the old bytes are kept elsewhere.
    struct Edit
    {
        std::size_t start;
        std::size_t newLength;
        std::size_t oldLength;
    };

    // The matcher is compiled and outlives the replacer.
    CTextReplacer(CTextMatcher& matcher, std::string replacement);

    // Every occurrence in text replaced into out; the edits and the bytes they took out are
    // appended when asked for. False when a regular expression ran away; out is then unusable.
    bool ReplaceAll(std::string_view text, std::string& out, std::size_t& count,
                    std::vector<Edit>* edits = nullptr, std::string* removed = nullptr);
    // What the occurrence found at start becomes; false when none begins there.
    bool ReplacementAt(std::string_view text, std::size_t start, std::string& replacement);

    // The text before the edits, from the text after them and what they took out.
    static std::string Revert(std::string_view text, const Edit* edits, std::size_t count,
                              std::string_view removed);

private:
    void Expand(std::string_view text, std::size_t start, std::size_t end, std::string& out) const;

    CTextMatcher& m_matcher;
    std::string m_replacement;
};
