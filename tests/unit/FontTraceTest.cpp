#include "platform/DebugTrace.h"
#include "platform/LogFont.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

TEST(FillLogFont, DefaultsForEveryField)
{
    LogFont font;
    std::memset(&font, 0xAB, sizeof font);
    FillLogFont(font, kDefaultFace);
    EXPECT_EQ(font.lfHeight, 14);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(font.lfCharSet, 1);
    EXPECT_STREQ(font.lfFaceName, "System");
    EXPECT_EQ(font.lfWidth | font.lfEscapement | font.lfOrientation, 0);
    EXPECT_EQ(font.lfItalic | font.lfUnderline | font.lfStrikeOut | font.lfOutPrecision |
                  font.lfClipPrecision | font.lfQuality | font.lfPitchAndFamily,
              0);
    for (std::size_t i = std::strlen(font.lfFaceName); i < sizeof font.lfFaceName; ++i)
        ASSERT_EQ(font.lfFaceName[i], 0) << "unused face bytes are zero";
}

TEST(FillLogFont, GivenValuesAndByteFields)
{
    LogFont font;
    FillLogFont(font, nullptr, -1, 700);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(font.lfHeight, 14);
    EXPECT_STREQ(font.lfFaceName, "System");

    FillLogFont(font, "Verdana", 16, -1, 1, 0x101, 0, 3, 4, 5, 0, 6, 7, 8, 9);
    EXPECT_EQ(font.lfHeight, 16);
    EXPECT_EQ(font.lfItalic, 1);
    EXPECT_EQ(font.lfUnderline, 1) << "byte fields take the low 8 bits";
    EXPECT_EQ(font.lfWidth, 3);
    EXPECT_EQ(font.lfEscapement, 4);
    EXPECT_EQ(font.lfOrientation, 5);
    EXPECT_EQ(font.lfCharSet, 0);
    EXPECT_EQ(font.lfPitchAndFamily, 9);
    EXPECT_STREQ(font.lfFaceName, "Verdana");
}

TEST(FillLogFont, LongFaceStaysInsideTheRecord)
{
    struct Guarded
    {
        LogFont font;
        char guard[8];
    } g;
    std::memset(g.guard, 'G', sizeof g.guard);
    FillLogFont(g.font, "A face name that is much longer than thirty-one characters");
    EXPECT_EQ(std::strlen(g.font.lfFaceName), 31u);
    EXPECT_EQ(std::memcmp(g.guard, "GGGGGGGG", 8), 0);
}

TEST(DebugTrace, FormatsALineWithCarriageReturn)
{
    TraceCapture trace;
    DebugTrace("Setting Active Note to %d...", -1);
    DebugTrace("Placing %s BEFORE %s", "a", "b");
    ASSERT_EQ(trace.lines.size(), 2u);
    EXPECT_EQ(trace.lines[0], "Setting Active Note to -1...\r\n");
    EXPECT_EQ(trace.lines[1], "Placing a BEFORE b\r\n");
}

TEST(DebugTrace, LongLinesAreFormattedWhole)
{
    TraceCapture trace;
    const std::string longText(5000, 'x');
    DebugTrace("%s", longText.c_str());
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_EQ(trace.lines[0], longText + "\r\n");
}

TEST(DebugTrace, SilentWithoutASinkUnlessAskedFor)
{
    const char* asked = std::getenv("PELMORA_TRACE");
    if (asked && std::strcmp(asked, "1") == 0)
        GTEST_SKIP() << "PELMORA_TRACE=1 sends the lines to standard error";
    std::FILE* capture = std::tmpfile();
    ASSERT_NE(capture, nullptr);
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(::fileno(capture), 2);
    DebugTrace("%s", "not to be seen");
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    EXPECT_EQ(std::ftell(capture), 0L) << "nothing written to standard error";
    std::fclose(capture);
}
