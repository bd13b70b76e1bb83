#pragma once

#include "text/CFoldedText.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CNote;
struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;

// Finds a pattern in UTF-8 texts: as plain text, canonically equivalent text alike, with or without
// regard to case (Unicode full case folding: "STRASSE" finds "straße"), or as a PCRE2 regular expression
// compiled with its JIT; in both cases optionally only as whole words. Occurrences never overlap and are
// never empty.
class CTextMatcher
{
public:
    struct Options
    {
        bool matchCase = false;
        bool wholeWords = false;
        bool regex = false;
    };

    // Steps one regular expression may take on one text before it counts as running away.
    static constexpr unsigned kMatchLimit = 2'000'000;

    CTextMatcher();
    ~CTextMatcher();
    CTextMatcher(const CTextMatcher&) = delete;
    CTextMatcher& operator=(const CTextMatcher&) = delete;

    // False when the pattern is no valid regular expression; GetError and GetErrorOffset then
    // say why and where. An empty pattern is valid and finds nothing.
    bool Compile(const std::string& pattern, const Options& options);
    const std::string& GetError() const { return m_error; }
    // The place of the error, in characters from the pattern's start.
    int GetErrorOffset() const { return m_errorOffset; }

    // Calls found with the byte offsets of every occurrence in the text, first to last, until it
    // returns false. False when a regular expression hit the match limit on this text.
    using Found = std::function<bool(std::size_t start, std::size_t end)>;
    bool ForEachMatch(std::string_view text, const Found& found);

    // Inside a Found callback of a regular expression: the bytes of capture group n of the
    // occurrence found; false when the group does not exist or took no part.
    bool GetGroup(unsigned n, std::size_t& start, std::size_t& end) const;
    bool IsRegex() const { return m_options.regex; }

    // What a search finds in one string, without visiting each occurrence: how many, and the first
    // one's bytes and line (from 1, lines ending as LineNumberAt says).
    struct Tally
    {
        std::size_t count = 0;
        std::size_t start = 0;
        std::size_t end = 0;
        int line = 1;
    };
    // For a plain pattern of ASCII, not whole words, that cannot overlap itself: its occurrences in
    // a text of ASCII are exactly its bytes'. False, with nothing tallied, for any other search and
    // for a text beyond ASCII, which ForEachMatch takes.
    bool TallyAscii(const std::string& text, Tally& tally) const;
    // The same for a note's text still in the notebook's file as ASCII, read where it lies.
    bool TallyStored(const CNote& note, Tally& tally) const;

    // Letters, digits and the underscore of every script, as \w of the regular expressions.
    static bool IsWordCharacter(char32_t c);

private:
    bool ForEachLiteral(std::string_view text, const Found& found);
    bool ForEachRegex(std::string_view text, const Found& found);
    bool IsWholeWord(std::string_view text, std::size_t start, std::size_t end) const;
    void ReleaseRegex();
    // Letter case matters with Match case, but canonically equivalent text matches either way:
    // an "é" of one character and one of e and a combining accent look the same to the user.
    CFoldedText::Case TextCase() const
    {
        return m_options.matchCase ? CFoldedText::Case::keep : CFoldedText::Case::full;
    }

    Options m_options;
    std::string m_needle;      // the plain pattern, decomposed, and folded unless the case matters
    bool m_asciiBytes = false; // the needle's occurrences in ASCII are its bytes'
    bool m_marks = false;      // the pattern is marks alone, found on whatever they are on
    CFoldedText m_folded;
    pcre2_real_code_8* m_code = nullptr;
    pcre2_real_match_data_8* m_matchData = nullptr;
    pcre2_real_match_context_8* m_matchContext = nullptr;
    pcre2_real_jit_stack_8* m_jitStack = nullptr;
    std::string m_error;
    int m_errorOffset = 0;
};
