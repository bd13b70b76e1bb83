#include "model/CTextCodec.h"
#include "model/ImportedText.h"

#include <gtest/gtest.h>

#include <iconv.h>

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

namespace {

// The text in another encoding, or from it, as the C library's iconv converts it.
std::string Iconv(const std::string& text, const char* from, const char* to)
{
    const iconv_t cd = ::iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " to " << to;
    std::string out(text.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    EXPECT_NE(::iconv(cd, &in, &inLeft, &at, &outLeft), static_cast<std::size_t>(-1)) << from << " to " << to;
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

const std::string kWestern =
    "Le caf\u00e9 de la gare ouvre \u00e0 sept heures; les \u00e9l\u00e8ves y boivent un "
    "th\u00e9 tr\u00e8s chaud. \u00dcber die Br\u00fccke gehen M\u00e4nner, die "
    "Stra\u00dfe ist na\u00df. El ni\u00f1o comi\u00f3 pi\u00f1as \u2014 \u00abd\u00e9j\u00e0 vu\u00bb.\n";
const std::string kCentral =
    "V\u010dera jsme byli na v\u00fdlet\u011b v hor\u00e1ch. Po\u010das\u00ed bylo kr\u00e1sn\u00e9, ale "
    "ve\u010der za\u010dalo pr\u0161et, tak\u017ee jsme se vr\u00e1tili dom\u016f d\u0159\u00edve. "
    "P\u0159\u00ed\u0161t\u00ed t\u00fdden pojedeme znovu, pokud bude hezky.\n";
const std::string kCyrillic =
    "\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451 \u044d\u0442\u0438\u0445 "
    "\u043c\u044f\u0433\u043a\u0438\u0445 \u0444\u0440\u0430\u043d\u0446\u0443\u0437\u0441\u043a\u0438\u0445 "
    "\u0431\u0443\u043b\u043e\u043a, \u0434\u0430 \u0432\u044b\u043f\u0435\u0439 \u0447\u0430\u044e. "
    "\u0412 \u0447\u0430\u0449\u0430\u0445 \u044e\u0433\u0430 \u0436\u0438\u043b \u0431\u044b "
    "\u0446\u0438\u0442\u0440\u0443\u0441? \u0414\u0430, \u043d\u043e "
    "\u0444\u0430\u043b\u044c\u0448\u0438\u0432\u044b\u0439 "
    "\u044d\u043a\u0437\u0435\u043c\u043f\u043b\u044f\u0440!\n";
const std::string kGreek =
    "\u039e\u03b5\u03c3\u03ba\u03b5\u03c0\u03ac\u03b6\u03c9 \u03c4\u03b7\u03bd "
    "\u03c8\u03c5\u03c7\u03bf\u03c6\u03b8\u03cc\u03c1\u03b1 "
    "\u03b2\u03b4\u03b5\u03bb\u03c5\u03b3\u03bc\u03af\u03b1. "
    "\u0397 \u03b3\u03bb\u03ce\u03c3\u03c3\u03b1 \u03bc\u03bf\u03c5 \u03ad\u03b4\u03c9\u03c3\u03b1\u03bd "
    "\u03b5\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ae, \u03c4\u03bf \u03c3\u03c0\u03af\u03c4\u03b9 "
    "\u03c6\u03c4\u03c9\u03c7\u03b9\u03ba\u03cc \u03c3\u03c4\u03b9\u03c2 "
    "\u03b1\u03bc\u03bc\u03bf\u03c5\u03b4\u03b9\u03ad\u03c2.\n";
const std::string kJapanese =
    "\u3044\u308d\u306f\u306b\u307b\u3078\u3068 \u3061\u308a\u306c\u308b\u3092\u3002"
    "\u6771\u4eac\u306e\u5929\u6c17\u306f\u6674\u308c\u3067\u3059\u3002"
    "\u4eca\u65e5\u306f\u4f1a\u8b70\u304c\u3042\u308a\u307e\u3059\u3002"
    "\u6765\u9031\u306e\u4e88\u5b9a\u3092\u78ba\u8a8d\u3057\u3066\u304f\u3060\u3055\u3044\u3002\n";
const std::string kChinese =
    "\u6211\u4eec\u4eca\u5929\u53bb\u516c\u56ed\u6563\u6b65\uff0c\u5929\u6c14\u5f88\u597d\u3002"
    "\u8fd9\u4e2a\u95ee\u9898\u8981\u8ba4\u771f\u8ba8\u8bba\uff0c"
    "\u8bf7\u5927\u5bb6\u63d0\u51fa\u610f\u89c1\u3002";
const std::string kTraditional =
    "\u6211\u5011\u4eca\u5929\u53bb\u516c\u5712\u6563\u6b65\uff0c\u5929\u6c23\u5f88\u597d\u3002"
    "\u9019\u500b\u554f\u984c\u9700\u8981\u8a8d\u771f\u8a0e\u8ad6\uff0c"
    "\u8acb\u5927\u5bb6\u63d0\u51fa\u610f\u898b\u3002\n";

} // namespace

// Files as iconv writes them in each encoding come back character for character; a file that
// does not say its encoding and has no shape only Unicode has carries a notice naming the one used.
// The Chinese text has no unit with a zero byte, so its UTF-16 is found by its characters alone.
TEST(ImportedText, FilesInEveryEncodingReadAsIconvReadsThem)
{
    const struct
    {
        const char* encoding;
        const std::string& text;
        bool told; // a file with no byte-order mark, no NUL bytes and no valid UTF-8
    } samples[] = {
        {"UTF-8", kJapanese, false},      {"UTF-16", kGreek, false},        {"UTF-16LE", kWestern, false},
        {"UTF-16BE", kCyrillic, false},   {"UTF-16LE", kChinese, true},     {"UTF-16BE", kChinese, true},
        {"UTF-32", kJapanese, false},     {"UTF-32LE", kGreek, false},      {"UTF-32BE", kWestern, false},
        {"WINDOWS-1252", kWestern, true}, {"WINDOWS-1250", kCentral, true}, {"WINDOWS-1251", kCyrillic, true},
        {"WINDOWS-1253", kGreek, true},   {"ISO-8859-2", kCentral, true},   {"KOI8-R", kCyrillic, true},
        {"SHIFT_JIS", kJapanese, true},   {"EUC-JP", kJapanese, true},      {"GB18030", kChinese, true},
        {"BIG5", kTraditional, true},
    };
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.encoding);
        const std::string bytes = Iconv(sample.text, "UTF-8", sample.encoding);
        const ImportedText read = DecodeImportedText(bytes);
        ASSERT_TRUE(read.Imported());
        EXPECT_EQ(read.text, Iconv(bytes, sample.encoding, "UTF-8"));
        EXPECT_EQ(read.text, sample.text);
        const std::string notice = read.Notice("a.txt");
        EXPECT_EQ(read.guessed, sample.told);
        EXPECT_EQ(notice.empty(), !sample.told) << notice;
        if (sample.told) {
            EXPECT_NE(notice.find("read as " + read.encoding), std::string::npos) << notice;
        }
    }
}

TEST(ImportedText, Utf8StaysUtf8UnlessOnlyAnAccidentalPairMakesIt)
{
    const std::string marked = "\xEF\xBB\xBF" + kWestern;
    EXPECT_EQ(DecodeImportedText(marked).text, marked) << "the byte-order mark is kept";
    EXPECT_EQ(DecodeImportedText("na\xC3\xAFve").text, "na\xC3\xAFve");
    EXPECT_EQ(DecodeImportedText("/h\xC9\x99\xCB\x88l\xC9\x99\xCA\x8A/").encoding, "UTF-8")
        << "four phonetic letters are no accident";

    const ImportedText windows = DecodeImportedText("CAF\xC9\x92s\n");
    EXPECT_EQ(windows.kind, ImportedText::windows1252);
    EXPECT_EQ(windows.text, "CAF\xC3\x89\xE2\x80\x99s\n");
    EXPECT_NE(windows.Notice("menu.txt").find("menu.txt: read as windows-1252"), std::string::npos);
    EXPECT_EQ(DecodeImportedText("CAF\xC9\x92s\n", "UTF-8").text, "CAF\xC9\x92s\n") << "as the user says";
}

TEST(ImportedText, AChosenEncodingOverridesAndWhatItCannotReadIsRefused)
{
    const std::string koi8 = Iconv(kCyrillic, "UTF-8", "KOI8-R");
    EXPECT_EQ(DecodeImportedText(koi8, "KOI8-R").text, kCyrillic);
    EXPECT_EQ(DecodeImportedText(koi8, "KOI8-R").Notice("a.txt"), "");
    const ImportedText wrong = DecodeImportedText(Iconv(kJapanese, "UTF-8", "SHIFT_JIS"), "UTF-8");
    EXPECT_FALSE(wrong.Imported());
    EXPECT_EQ(wrong.Notice("a.txt"), "a.txt: is not text in UTF-8; not imported");
    EXPECT_TRUE(KnownTextEncoding("windows-1251"));
    EXPECT_TRUE(KnownTextEncoding("Shift_JIS"));
    EXPECT_FALSE(KnownTextEncoding("klingon-8"));
    EXPECT_FALSE(KnownTextEncoding(""));

    using namespace std::string_literals;
    const ImportedText binary = DecodeImportedText("GIF89a\0\0\x01\x02\x03\x80"s);
    EXPECT_EQ(binary.kind, ImportedText::binary);
    EXPECT_NE(binary.Notice("image.gif").find("image.gif: holds NUL bytes"), std::string::npos);
}
