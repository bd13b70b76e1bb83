#include "model/CNoteBook.h"
#include "support/TestSupport.h"
#include "text/CFindAll.h"
#include "text/CNoteFinder.h"
#include "text/CNoteSearch.h"
#include "text/CTextMatcher.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <functional>
#include <map>
#include <set>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// Against the Unicode Character Database as Debian's unicode-data package ships it, not tables of
// our own.
namespace {

const char kUcd[] = "/usr/share/unicode/";

std::string Utf8(char32_t c)
{
    char bytes[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, c);
    return std::string(bytes, static_cast<std::size_t>(length));
}

// "0041 030A" as UTF-8.
std::string FromHex(const std::string& field)
{
    std::istringstream in(field);
    std::string out;
    for (std::string hex; in >> hex;)
        out += Utf8(static_cast<char32_t>(std::stoul(hex, nullptr, 16)));
    return out;
}

// The fields before the comment of every data line of a UCD file, split at ';'. Debian keeps the
// larger files compressed.
std::vector<std::vector<std::string>> ReadUcd(const std::string& name)
{
    const std::string path = std::string(kUcd) + name;
    std::string content;
    if (FILE* pipe = ::popen(("bzcat -f " + path + " 2>/dev/null").c_str(), "r")) {
        char block[65536];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;)
            content.append(block, n);
        ::pclose(pipe);
    }
    EXPECT_FALSE(content.empty()) << path << ": install the unicode-data package (scripts/deps)";
    std::istringstream in(content);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        if (line.empty() || line[0] == '@')
            continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, ';');)
            fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

// Whether Find All's matcher, as the tool's grep uses it too, finds the whole text.
bool FindAllFinds(CFindAll& search, const std::string& pattern, const std::string& text,
                  CTextMatcher::Options options = {})
{
    EXPECT_TRUE(search.Start(pattern, options));
    CNote note("0", text);
    FindAllOccurrence first{};
    return search.FindFirst(note, first) && first.start == 0 && first.end == text.size();
}

// Every occurrence of the pattern in the text as Find All, grep and replace see them (folded,
// with the case kept, and as a regular expression) and as Find Next sees them; calls found with
// each one's bytes and the search that found it.
void ForEveryOccurrence(const std::string& pattern, const std::string& text,
                        const std::function<void(std::size_t, std::size_t, const char*)>& found)
{
    const struct
    {
        const char* name;
        CTextMatcher::Options options;
        std::string pattern;
    } searches[] = {{"folded", {}, pattern},
                    {"match case", {true, false, false}, pattern},
                    {"regex", {false, false, true}, "\\Q" + pattern + "\\E"}};
    for (const auto& search : searches) {
        CTextMatcher matcher;
        EXPECT_TRUE(matcher.Compile(search.pattern, search.options));
        matcher.ForEachMatch(text, [&](std::size_t start, std::size_t end) {
            found(start, end, search.name);
            return true;
        });
    }
    // The search box holds one line.
    if (pattern.find_first_of("\r\n") != std::string::npos)
        return;
    CNoteFinder finder;
    finder.SetPattern(pattern);
    int length = 0;
    for (int at = finder.Find(text, 0, length); at >= 0; at = finder.Find(text, at + 1, length))
        found(static_cast<std::size_t>(at), static_cast<std::size_t>(at + length), "find next");
}

// A character that joins the one before it into one cluster, whatever that one is.
bool Extends(std::string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return false;
    UChar32 c = 0;
    U8_NEXT(text.data(), pos, text.size(), c);
    const int32_t kind = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
    return kind == U_GCB_EXTEND || kind == U_GCB_SPACING_MARK || kind == U_GCB_ZWJ;
}

} // namespace

// Unicode's own cases of where characters as the user sees them end: every run of whole code
// points of a case, searched in the case, is found only where clusters begin and end.
TEST(UnicodeSearch, NoMatchEndsInsideAGraphemeClusterOfUnicodesCases)
{
    std::ifstream in(std::string(kUcd) + "auxiliary/GraphemeBreakTest.txt");
    ASSERT_TRUE(in) << "install the unicode-data package (scripts/deps)";
    int cases = 0;
    int wholeClusters = 0;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string text;
        std::vector<std::size_t> starts; // byte offsets of the code points
        std::set<std::size_t> boundaries;
        for (std::string field; fields >> field;) {
            if (field == "\xC3\xB7") { // the division sign: a boundary
                boundaries.insert(text.size());
            } else if (field != "\xC3\x97") { // the multiplication sign: none
                starts.push_back(text.size());
                text += FromHex(field);
            }
        }
        if (starts.empty())
            continue;
        ++cases;
        starts.push_back(text.size());
        // Every run of code points of every third case; the whole of every case.
        for (std::size_t i = 0; i + 1 < starts.size(); ++i)
            for (std::size_t j = i + 1; j < starts.size(); ++j) {
                if (cases % 3 != 0 && !(i == 0 && j + 1 == starts.size()))
                    continue;
                const std::string pattern = text.substr(starts[i], starts[j] - starts[i]);
                const bool marks = CFoldedText::OnlyMarks(pattern);
                const bool whole = boundaries.count(starts[i]) && boundaries.count(starts[j]);
                bool foundHere = false;
                ForEveryOccurrence(pattern, text, [&](std::size_t start, std::size_t end, const char* how) {
                    foundHere = foundHere || (start == starts[i] && end == starts[j]);
                    if (!marks) {
                        EXPECT_TRUE(boundaries.count(start) && boundaries.count(end))
                            << how << ": " << line << " [" << i << ", " << j << ") found at " << start << ".."
                            << end;
                    }
                });
                if (whole) {
                    EXPECT_TRUE(foundHere) << line << " [" << i << ", " << j << ")";
                    ++wholeClusters;
                }
            }
    }
    EXPECT_GT(cases, 500);
    EXPECT_GT(wholeClusters, 900);
}

// The first letter of Unicode's normalization cases, searched in the source, composed and
// decomposed forms side by side: it is never found where a mark follows it.
TEST(UnicodeSearch, NoLetterIsFoundWithoutTheMarksOnIt)
{
    int searched = 0;
    const auto rows = ReadUcd("NormalizationTest.txt.bz2");
    for (std::size_t r = 0; r < rows.size(); r += 37) {
        ASSERT_GE(rows[r].size(), 5u);
        const std::string decomposed = FromHex(rows[r][2]);
        const std::string text = FromHex(rows[r][0]) + " " + FromHex(rows[r][1]) + " " + decomposed;
        std::size_t next = 0;
        U8_FWD_1(decomposed.data(), next, decomposed.size());
        const std::string letter = decomposed.substr(0, next);
        if (CFoldedText::OnlyMarks(letter))
            continue;
        ++searched;
        ForEveryOccurrence(letter, text, [&](std::size_t start, std::size_t end, const char* how) {
            EXPECT_FALSE(Extends(text, start) || Extends(text, end))
                << how << ": " << rows[r][0] << " found at " << start << ".." << end;
        });
    }
    EXPECT_GT(searched, 500);
}

// What a user sees as one character is found whole or not at all; a mark searched alone is found.
TEST(UnicodeSearch, VowelSignsAndEnclosingMarksBelongToTheirLetter)
{
    const struct
    {
        const char* pattern;
        const char* text;
        std::size_t count;
    } cases[] = {
        {"\xE0\xA4\x95", "\xE0\xA4\x95\xE0\xA5\x81 \xE0\xA4\x95\xE0\xA4\xBF \xE0\xA4\x95\xE0\xA4\x82",
         0}, // क: कु कि कं
        {"\xE0\xA4\x95", "\xE0\xA4\x95 \xE0\xA4\x95\xE0\xA5\x81", 1},
        {"\xE0\xB8\x81", "\xE0\xB8\x81\xE0\xB8\xB4", 0}, // ก: กิ
        {"e", "e\xE2\x83\x9D", 0},                       // e: e⃝
        {"\xCC\x81", " \xCC\x81 ", 1},                   // a lone acute
        {"\xCC\x81", "e\xCC\x81 \xC3\xA9", 1},           // on e; in é, one character, it has no place
        {"\xE0\xA5\x81", "\xE0\xA4\x95\xE0\xA5\x81", 1}, // the vowel sign u alone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::map<std::string, std::size_t> counts;
        ForEveryOccurrence(c.pattern, c.text,
                           [&](std::size_t, std::size_t, const char* how) { ++counts[how]; });
        for (const char* how : {"folded", "match case", "regex", "find next"})
            EXPECT_EQ(counts[how], c.count) << how;
        CNoteFinder finder;
        finder.SetPattern(c.pattern);
        EXPECT_EQ(finder.Count(c.text), c.count) << "the count of a search press";
    }
    // "\r\n" is one character: half of it is not found, nor counted as bytes.
    CTextMatcher matcher;
    ASSERT_TRUE(matcher.Compile("a\r", {}));
    CTextMatcher::Tally tally;
    EXPECT_FALSE(matcher.TallyAscii("a\r\nb", tally));
    std::size_t found = 0;
    matcher.ForEachMatch("a\r\nb a\r", [&](std::size_t, std::size_t) { return ++found, true; });
    EXPECT_EQ(found, 1u);
}

TEST(UnicodeSearch, EveryFullCaseFoldingMappingMatchesBothWays)
{
    CFindAll search;
    int mappings = 0;
    std::vector<std::string> missed;
    for (const auto& row : ReadUcd("CaseFolding.txt")) {
        ASSERT_GE(row.size(), 3u);
        const std::string status = row[1].substr(row[1].find_first_not_of(' '));
        if (status != "C" && status != "F")
            continue;
        ++mappings;
        const std::string from = FromHex(row[0]);
        const std::string to = FromHex(row[2]);
        if (!FindAllFinds(search, from, to) || !FindAllFinds(search, to, from))
            missed.push_back(row[0]);
    }
    EXPECT_GT(mappings, 1500);
    EXPECT_EQ(missed, std::vector<std::string>{});
}

TEST(UnicodeSearch, CanonicallyEquivalentTextMatchesInFindAllAndFindNext)
{
    CFindAll search;
    CNoteFinder finder;
    int pairs = 0;
    std::vector<std::string> missed;
    for (const auto& row : ReadUcd("NormalizationTest.txt.bz2")) {
        ASSERT_GE(row.size(), 5u);
        // source, its composed and its decomposed form are canonically equivalent.
        const std::string forms[3] = {FromHex(row[0]), FromHex(row[1]), FromHex(row[2])};
        for (int a = 0; a < 3; ++a) {
            const std::string& pattern = forms[a];
            const std::string& text = forms[(a + 1) % 3];
            ++pairs;
            finder.SetPattern(pattern);
            int length = 0;
            const bool findNext =
                finder.Find(text, 0, length) == 0 && length == static_cast<int>(text.size());
            if (!FindAllFinds(search, pattern, text) ||
                !FindAllFinds(search, pattern, text, {true, false, false}) || !findNext)
                missed.push_back(row[0]);
        }
    }
    EXPECT_GT(pairs, 50000);
    EXPECT_EQ(missed, std::vector<std::string>{});
}

TEST(UnicodeSearch, AMarkBindsToItsLetterAndFindNextSelectsTheWholeOccurrence)
{
    const std::string composed = "caf\xC3\xA9";    // é as one character
    const std::string decomposed = "cafe\xCC\x81"; // e and a combining acute
    const std::string jCaron = "J\xCC\x8C";        // J̌, folding to ǰ
    CFindAll search;
    EXPECT_TRUE(FindAllFinds(search, "\xC7\xB0", jCaron));
    EXPECT_TRUE(FindAllFinds(search, "\xC7\xB0", "j\xCC\x8C"));
    EXPECT_FALSE(FindAllFinds(search, "cafe", decomposed)) << "e with an accent is no e";
    EXPECT_FALSE(FindAllFinds(search, "cafe", composed));
    EXPECT_FALSE(FindAllFinds(search, "CAF\xC3\x89", decomposed, {true, false, false}));

    // Find Next folds A to Z only: É is no é there, however either is written.
    CNoteFinder finder;
    finder.SetPattern("CAF\xC3\xA9");
    int length = 0;
    EXPECT_EQ(finder.Find("x " + decomposed, 0, length), 2);
    EXPECT_EQ(length, 6);
    finder.SetPattern("caf\xC3\x89");
    EXPECT_EQ(finder.Find(decomposed, 0, length), -1);
    EXPECT_EQ(finder.Find("CAFE\xCC\x81", 0, length), 0);
    finder.SetPattern("e");
    EXPECT_EQ(finder.Count("e\xCC\x81 e \xC3\xA9 e"), 2u);

    CNoteBook book;
    book.Clear();
    CNote* note = book.AddNote(true, false);
    note->SetText("1 " + decomposed + ", 2 " + composed + ", 3 " + decomposed);
    CNoteSearch press;
    EXPECT_EQ(press.Search(&book, composed), 3);
    EXPECT_EQ(press.GetCurrentHit()->position, 2);
    EXPECT_EQ(press.GetCurrentHit()->length, 6);
    EXPECT_EQ(press.Search(&book, composed), 3);
    EXPECT_EQ(press.GetCurrentHit()->position, 12);
    EXPECT_EQ(press.GetCurrentHit()->length, 5);
    EXPECT_EQ(press.Search(&book, composed), 3);
    EXPECT_EQ(press.GetCurrentHit()->position, 21);
}
