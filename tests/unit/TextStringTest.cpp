#include "model/CByteBuffer.h"
#include "model/CTextString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

int NaiveFind(const std::string& text, const std::string& pattern, int start, bool ignoreCase)
{
    const auto fold = [&](char c) { return (ignoreCase && c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
    if (pattern.empty())
        return -1;
    for (std::size_t p = start < 0 ? 0 : static_cast<std::size_t>(start); p + pattern.size() <= text.size();
         ++p) {
        std::size_t i = 0;
        while (i < pattern.size() && fold(text[p + i]) == fold(pattern[i]))
            ++i;
        if (i == pattern.size())
            return static_cast<int>(p);
    }
    return -1;
}

int FindIn(std::string text, const char* pattern, int start, bool ignoreCase)
{
    CTextString s;
    s.Attach(text.data(), static_cast<int>(text.size()));
    return s.Find(pattern, start, ignoreCase);
}

// The randomised tests run once for each width of vector instructions the search can take, the
// widest this processor lacks included (then they run as the widest it has).
class TextStringOnEveryProcessor : public ::testing::TestWithParam<CTextString::Instructions>
{
protected:
    void SetUp() override { CTextString::UseAtMost(GetParam()); }
    void TearDown() override { CTextString::UseAtMost(CTextString::Instructions::Avx512); }
};

std::string InstructionsName(const ::testing::TestParamInfo<CTextString::Instructions>& info)
{
    switch (info.param) {
    case CTextString::Instructions::Sse2:
        return "Sse2";
    case CTextString::Instructions::Avx2:
        return "Avx2";
    case CTextString::Instructions::Avx512:
        break;
    }
    return "Avx512";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Widths, TextStringOnEveryProcessor,
                         ::testing::Values(CTextString::Instructions::Sse2, CTextString::Instructions::Avx2,
                                           CTextString::Instructions::Avx512),
                         InstructionsName);

TEST(TextString, FindWithAndWithoutCase)
{
    EXPECT_EQ(FindIn("a Note, a note", "nOTe", 0, true), 2);
    EXPECT_EQ(FindIn("a Note, a note", "nOTe", 3, true), 10);
    EXPECT_EQ(FindIn("a Note, a note", "nOTe", 0, false), -1);
    EXPECT_EQ(FindIn("a Note, a note", "note", 0, false), 10);
    // Overlapping matches when the caller steps one past each hit.
    EXPECT_EQ(FindIn("aaaa", "aa", 0, true), 0);
    EXPECT_EQ(FindIn("aaaa", "aa", 1, true), 1);
    EXPECT_EQ(FindIn("aaaa", "aa", 2, true), 2);
    EXPECT_EQ(FindIn("aaaa", "aa", 3, true), -1);
}

TEST(TextString, FindEdges)
{
    EXPECT_EQ(FindIn("text", "", 0, true), -1);
    EXPECT_EQ(FindIn("text", "t", 4, true), -1);
    EXPECT_EQ(FindIn("text", "t", 99, true), -1);
    EXPECT_EQ(FindIn("tex", "text", 0, true), -1);
    EXPECT_EQ(FindIn("", "a", 0, true), -1);
    // Bytes outside A to Z match only themselves: É (C3 89) and é (C3 A9).
    EXPECT_EQ(FindIn("caf\xC3\xA9", "CAF\xC3\x89", 0, true), -1);
    EXPECT_EQ(FindIn("caf\xC3\xA9", "CAF\xC3\xA9", 0, true), 0);
    EXPECT_EQ(FindIn("\xC9t\xE9", "\xE9", 0, true), 2);
    // The text ends at its terminator even when the block goes on.
    std::string block("ab\0ab", 5);
    CTextString s;
    s.Attach(block.data(), 5);
    EXPECT_EQ(s.Find("ab", 1, false), -1);
    CTextString none;
    EXPECT_EQ(none.Find("a", 0, true), -1);
}

// Texts and patterns of many lengths (a text of up to 32 bytes is looked at in one load where the
// processor can), bytes that differ from a letter only in bit 5, and a zero byte before or after
// the start: one before it ends nothing.
TEST_P(TextStringOnEveryProcessor, FindAgreesWithNaiveSearchOnRandomText)
{
    std::mt19937 rng(11);
    const std::string alphabet = "aAbB@`[{\xE9 ";
    for (int round = 0; round < 6000; ++round) {
        std::string text, pattern;
        const int length = static_cast<int>(rng() % 70);
        for (int i = 0; i < length; ++i)
            text += alphabet[rng() % alphabet.size()];
        const int patternLength =
            round % 3 == 0 ? 1 + static_cast<int>(rng() % 20) : 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < patternLength; ++i)
            pattern += alphabet[rng() % alphabet.size()];
        if (round % 5 == 0 && length > 0)
            text[rng() % length] = '\0';
        const bool ignoreCase = rng() % 2;
        const int start = static_cast<int>(rng() % (length + 2));
        // The text ends at the first terminator from the start on.
        const std::string visible =
            text.substr(0, text.find('\0', std::min<std::size_t>(start, text.size())));
        ASSERT_EQ(FindIn(text, pattern.c_str(), start, ignoreCase),
                  NaiveFind(visible, pattern, start, ignoreCase))
            << '"' << visible << "\" \"" << pattern << "\" " << start << ' ' << ignoreCase;
    }
}

// The count steps past sixteen positions at a time; lengths around that, bytes that differ from a
// letter only in bit 5 ('@' and '`', '[' and '{'), and a zero byte inside the text all test it.
TEST_P(TextStringOnEveryProcessor, CountAgreesWithNaiveSearchOnRandomText)
{
    std::mt19937 rng(12);
    const std::string alphabet = "aA@`[{\xE9 ";
    for (int round = 0; round < 3000; ++round) {
        std::string text, pattern;
        const int length = static_cast<int>(rng() % 90);
        for (int i = 0; i < length; ++i)
            text += alphabet[rng() % alphabet.size()];
        for (int i = static_cast<int>(rng() % 20); i >= 0; --i)
            pattern += alphabet[rng() % alphabet.size()];
        if (round % 5 == 0 && length > 0)
            text[rng() % length] = '\0';
        const bool ignoreCase = rng() % 2;
        int expected = 0;
        const std::string visible = text.c_str();
        for (int at = NaiveFind(visible, pattern, 0, ignoreCase); at >= 0;
             at = NaiveFind(visible, pattern, at + 1, ignoreCase))
            ++expected;
        CTextString s;
        s.Attach(text.data(), length);
        ASSERT_EQ(s.Count(pattern.c_str(), ignoreCase), expected)
            << '"' << visible << "\" \"" << pattern << "\" " << ignoreCase;
    }
}

TEST(TextString, AttachBorrowsAndDetachReleasesNothing)
{
    char text[] = "borrowed";
    {
        CTextString s;
        EXPECT_FALSE(s.Attach(nullptr));
        EXPECT_TRUE(s.Attach(text));
        EXPECT_EQ(s.GetCapacity(), 9);
        EXPECT_FALSE(s.Owns());
        EXPECT_FALSE(s.Attach(text));
        EXPECT_EQ(s.Detach(), text);
        EXPECT_EQ(s.GetData(), nullptr);
        EXPECT_TRUE(s.Attach(text, 3));
        EXPECT_EQ(s.GetCapacity(), 4);
        s.Free(); // borrowed: left alone
        EXPECT_EQ(s.GetData(), text);
    } // destroyed while still borrowing: the sanitizer would report a bad free
    EXPECT_STREQ(text, "borrowed");
}

TEST(TextString, ReserveGrowsAndKeepsText)
{
    CTextString s;
    char* block = s.Reserve(255);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(s.GetCapacity(), 256);
    EXPECT_TRUE(s.Owns());
    EXPECT_STREQ(block, "");
    std::strcpy(block, "hello");
    EXPECT_EQ(s.Reserve(10), block);
    char* bigger = s.Reserve(1000);
    EXPECT_STREQ(bigger, "hello");
    EXPECT_EQ(s.GetCapacity(), 1001);

    char borrowed[] = "abcdef";
    CTextString b;
    b.Attach(borrowed);
    char* own = b.Reserve(20);
    EXPECT_NE(own, borrowed);
    EXPECT_STREQ(own, "abcdef");
    EXPECT_TRUE(b.Owns());
    EXPECT_EQ(b.Reserve(-1), nullptr);
}

TEST_P(TextStringOnEveryProcessor, CountSaysWhetherTheTextHoldsAByteBeyondAscii)
{
    for (std::size_t size : {1u, 15u, 16u, 33u, 100u, 300u}) {
        std::string text(size, 'a');
        CTextString ascii;
        ascii.Attach(text.data(), static_cast<int>(size));
        bool beyond = true;
        EXPECT_EQ(ascii.Count("a", true, &beyond), static_cast<int>(size));
        EXPECT_FALSE(beyond) << size;
        for (std::size_t at = 0; at < size; ++at) {
            std::string one = text;
            one[at] = '\xC3';
            CTextString high;
            high.Attach(one.data(), static_cast<int>(size));
            beyond = false;
            EXPECT_EQ(high.Count("aa", false, &beyond),
                      static_cast<int>(size) - 1 - (at > 0) - (at + 1 < size));
            EXPECT_TRUE(beyond) << size << " " << at;
        }
    }
}

// Text enciphered with the notebook's key, at any place of it, is counted and searched as the
// deciphered text is: through the blocks, the last block taken again and the bytes after it, with
// and without case; and it is measured up to its terminator, bytes above ASCII before it told.
TEST_P(TextStringOnEveryProcessor, CountAndFindShiftedAgreeWithTheDecipheredText)
{
    std::mt19937 rng(31);
    const std::string alphabet = "aAbB@`[{ e";
    for (int round = 0; round < 3000; ++round) {
        std::string plain, pattern;
        const int length = static_cast<int>(rng() % 140);
        for (int i = 0; i < length; ++i)
            plain += alphabet[rng() % alphabet.size()];
        for (int i = static_cast<int>(rng() % 12); i >= 0; --i)
            pattern += alphabet[rng() % alphabet.size()];
        const std::size_t place = rng() % 40;
        const std::uint8_t* shifts = CByteBuffer::NoteBookShifts(place, plain.size());
        const auto encipher = [shifts](std::string text) {
            for (std::size_t i = 0; i < text.size(); ++i)
                text[i] = static_cast<char>(static_cast<std::uint8_t>(text[i]) - shifts[i]);
            return text;
        };
        const std::string enciphered = encipher(plain);
        const bool ignoreCase = rng() % 2;
        CTextString text;
        text.Attach(plain.data(), length);
        ASSERT_EQ(
            CTextString::CountShifted(enciphered.data(), plain.size(), shifts, pattern.c_str(), ignoreCase),
            text.Count(pattern.c_str(), ignoreCase))
            << '"' << plain << "\" \"" << pattern << "\" " << ignoreCase;
        ASSERT_EQ(
            CTextString::FindShifted(enciphered.data(), plain.size(), shifts, pattern.c_str(), ignoreCase),
            text.Find(pattern.c_str(), 0, ignoreCase))
            << '"' << plain << "\" \"" << pattern << "\" " << ignoreCase;
        // Measured as the open measures a text: up to its terminator, if any, and whether a byte
        // before it is above ASCII.
        std::string stored = plain;
        const std::size_t end = rng() % (stored.size() + 1);
        if (end < stored.size())
            stored[end] = '\0';
        const bool above = end > 0 && rng() % 3 == 0;
        if (above)
            stored[rng() % end] = '\xC3';
        const std::string storedEnciphered = encipher(stored);
        bool beyondAscii = false;
        ASSERT_EQ(
            CByteBuffer::MeasureDeciphered(reinterpret_cast<const std::uint8_t*>(storedEnciphered.data()),
                                           stored.size(), place, kNoteBookKey, beyondAscii),
            end);
        ASSERT_EQ(beyondAscii, above);
    }
}
