#include "text/TextPositions.h"
#include "views/CTextDocument.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Every rule the editor relies on, checked against the text as the test itself keeps it.
void ExpectConsistent(const CTextDocument& doc, const std::string& text)
{
    ASSERT_EQ(doc.Utf8(0, doc.Length()), text);
    ASSERT_EQ(doc.Length(), CharFromByteOffset(text, text.size()));
    ASSERT_GT(doc.UnitCount(), 0u);
    std::int32_t rows = 0;
    for (std::size_t u = 0; u < doc.UnitCount(); ++u) {
        const TextUnit& unit = doc.Unit(u);
        const std::size_t end = u + 1 < doc.UnitCount() ? doc.Unit(u + 1).byteStart : text.size();
        ASSERT_EQ(unit.lineStart, unit.byteStart == 0 || text[unit.byteStart - 1] == '\n') << u;
        if (u % 97 == 0 || u + 1 == doc.UnitCount()) {
            ASSERT_EQ(unit.charStart, static_cast<std::uint32_t>(CharFromByteOffset(text, unit.byteStart)))
                << u;
        }
        ASSERT_TRUE(u == 0 || unit.charStart > doc.Unit(u - 1).charStart || end == unit.byteStart) << u;
        ASSERT_LE(end - unit.byteStart, 4096u) << u;
        const std::size_t newline = text.find('\n', unit.byteStart);
        ASSERT_TRUE(newline == std::string::npos || newline >= end - 1) << "a line end inside unit " << u;
        const bool emptyLast = u + 1 == doc.UnitCount() && unit.byteStart == text.size();
        ASSERT_TRUE(end > unit.byteStart || emptyLast) << u;
        ASSERT_EQ(doc.RowOf(u), rows) << u;
        std::int32_t unitRow = -1;
        if (unit.rows > 0) {
            ASSERT_EQ(doc.UnitAtRow(rows, unitRow), u);
        }
        rows += unit.rows;
    }
    const bool endsWithEmptyLine = text.empty() || text.back() == '\n';
    ASSERT_EQ(endsWithEmptyLine, doc.Unit(doc.UnitCount() - 1).byteStart == text.size());
}

} // namespace

TEST(TextDocument, LineEndsBecomeOneCharacterAndPositionsCountUtf16)
{
    CTextDocument doc;
    doc.SetText("a\r\nb\rc\n\xF0\x9F\x98\x80\x80z");
    EXPECT_EQ(doc.Utf8(0, doc.Length()), "a\nb\nc\n\xF0\x9F\x98\x80\x80z");
    EXPECT_EQ(doc.Length(), 10) << "three line ends, a pair of surrogates, a lone byte";
    EXPECT_EQ(doc.Text(6, 8), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(doc.Text(8, 9), QString(QChar::ReplacementCharacter));
    EXPECT_EQ(doc.LineStart(7), 6);
    EXPECT_EQ(doc.LineEnd(0), 1);
}

// Random edits of short and very long lines, with text that is not all UTF-8.
TEST(TextDocument, UnitsStayConsistentThroughRandomEdits)
{
    std::mt19937 rng(21);
    const std::string pieces[] = {"a",     " ",    "\n",      "\xC3\xA9", "\xF0\x9F\x98\x80",
                                  "word ", "\x80", "\xE2\x82"};
    const auto randomText = [&](std::size_t length) {
        std::string s;
        while (s.size() < length)
            s += pieces[rng() % 8];
        return s;
    };
    std::string text = randomText(3000) + std::string(9000, 'x') + randomText(5000) + std::string(5000, ' ');
    CTextDocument doc;
    doc.SetText(text);
    ExpectConsistent(doc, text);
    for (int edit = 0; edit < 400; ++edit) {
        const int length = doc.Length();
        const int from = static_cast<int>(rng() % (length + 1));
        const int to = std::min(length, from + static_cast<int>(rng() % (edit % 10 == 0 ? 5000 : 8)));
        std::string insert = randomText(rng() % (edit % 7 == 0 ? 6000 : 6));
        if (edit % 3 == 0)
            insert.clear();
        // A valid insertion: bytes that are not UTF-8 only arrive with the stored text.
        for (char& c : insert)
            if (static_cast<unsigned char>(c) == 0x80 || static_cast<unsigned char>(c) == 0xE2)
                c = 'q';
        const std::size_t byteFrom = ByteFromCharOffset(text, from);
        const std::size_t byteTo = ByteFromCharOffset(text, to);
        if (CharFromByteOffset(text, byteFrom) != from || CharFromByteOffset(text, byteTo) != to)
            continue; // inside a pair of surrogates: no place the editor gives
        doc.Replace(from, to, insert);
        text.replace(byteFrom, byteTo - byteFrom, insert);
        ExpectConsistent(doc, text);
    }
}
