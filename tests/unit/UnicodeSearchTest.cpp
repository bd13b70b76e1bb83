#include "model/CNoteBook.h"
#include "support/TestSupport.h"
#include "text/CFindAll.h"
#include "text/CNoteFinder.h"
#include "text/CNoteSearch.h"

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <cstdio>
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

} // namespace

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
