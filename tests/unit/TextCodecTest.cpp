#include "model/CTextCodec.h"

#include <gtest/gtest.h>

TEST(TextCodec, Utf8ValidityFollowsTheStandard)
{
    const std::string longAscii(40, 'a');
    for (const std::string& valid : {std::string(), longAscii, std::string("caf\xC3\xA9"),
                                     std::string("\xE2\x82\xAC"), std::string("\xF0\x9F\x98\x80"),
                                     std::string("\xF4\x8F\xBF\xBF"), longAscii + "\xC3\xA9" + longAscii})
        EXPECT_TRUE(CTextCodec::IsValidUtf8(valid)) << valid;
    for (const std::string& invalid : {
             std::string("\xC0\x80"),         // overlong zero
             std::string("\xE0\x80\xAF"),     // overlong slash
             std::string("\xED\xA0\x80"),     // surrogate
             std::string("\xF4\x90\x80\x80"), // past U+10FFFF
             std::string("caf\xC3"),          // cut at the end
             std::string("\xE2\x82"),         // cut inside
             std::string("\x80"),             // stray continuation
             std::string("caf\xE9"),          // Windows-1252
             longAscii + "\xE9" + longAscii,  // one bad byte inside long ASCII runs
         })
        EXPECT_FALSE(CTextCodec::IsValidUtf8(invalid)) << invalid;
}

TEST(TextCodec, EveryWindows1252ByteComesBackAfterARoundTrip)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    CTextCodec toUtf8(CTextCodec::fromWindows1252);
    CTextCodec back(CTextCodec::toWindows1252);
    std::string utf8;
    ASSERT_TRUE(toUtf8.Convert(all, utf8));
    EXPECT_TRUE(CTextCodec::IsValidUtf8(utf8));
    EXPECT_TRUE(CTextCodec::FitsWindows1252(utf8));
    std::string again;
    ASSERT_TRUE(back.Convert(utf8, again));
    EXPECT_EQ(again, all);

    ASSERT_TRUE(toUtf8.Convert("\x80\xE9\x9F\x81", utf8));
    EXPECT_EQ(utf8, "\xE2\x82\xAC\xC3\xA9\xC5\xB8\xC2\x81")
        << "euro, e acute, Y diaeresis, the unassigned 0x81";
}

TEST(TextCodec, CharactersOutsideWindows1252DoNotFit)
{
    CTextCodec back(CTextCodec::toWindows1252);
    std::string out;
    for (const std::string& outside : {std::string("\xCE\xA9"), std::string("ok \xF0\x9F\x98\x80"),
                                       std::string("\xC2\x80"), std::string("bad \xE9")}) {
        EXPECT_FALSE(CTextCodec::FitsWindows1252(outside)) << outside;
        EXPECT_FALSE(back.Convert(outside, out)) << outside;
    }
    EXPECT_TRUE(CTextCodec::FitsWindows1252("\xE2\x80\x9C quoted \xE2\x80\x9D"));
    ASSERT_TRUE(back.Convert("\xE2\x80\x9Cq\xE2\x80\x9D", out));
    EXPECT_EQ(out, "\x93q\x94");
}

TEST(TextCodec, OneByteBeyondAsciiIsFoundAtAnyPlaceOfALongText)
{
    std::string text(300, 'a');
    EXPECT_TRUE(CTextCodec::IsAscii(text));
    for (std::size_t at = 0; at < text.size(); ++at) {
        std::string one = text;
        one[at] = '\x80';
        EXPECT_FALSE(CTextCodec::IsAscii(one)) << at;
    }
}
