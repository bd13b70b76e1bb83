#include "model/ImportedText.h"

#include "model/CTextCodec.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <set>

namespace {

// The detector reads this much; a file of many megabytes would tell it no more.
constexpr std::size_t kDetectorSample = 64 * 1024;
// ICU's UTF-8 detector is sure only from four characters beyond ASCII.
constexpr int kFewCharacters = 3;

bool StartsWith(std::string_view bytes, std::string_view mark)
{
    return bytes.substr(0, mark.size()) == mark;
}

// The bytes in the named encoding as UTF-8; false at a byte sequence it has no character for.
bool DecodeStrictly(std::string_view bytes, const char* encoding, std::string& out)
{
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX))
        return false;
    UErrorCode error = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, void (*)(UConverter*)> converter(ucnv_open(encoding, &error),
                                                                       &ucnv_close);
    if (U_FAILURE(error))
        return false;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    const icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), converter.get(), error);
    if (U_FAILURE(error))
        return false;
    out.clear();
    text.toUTF8String(out);
    return true;
}

// Text a person wrote: no NUL or other control but the line and page breaks and the tab, no
// character Unicode has not assigned, none for private use. Bytes read in the wrong Unicode
// encoding give such characters at once.
bool WrittenText(std::string_view utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        UChar32 c = 0;
        U8_NEXT(utf8.data(), i, utf8.size(), c);
        const auto type = static_cast<UCharCategory>(u_charType(c));
        const bool breakOrTab = c == '\t' || (c >= '\n' && c <= '\r');
        if (c < 0 || type == U_UNASSIGNED || type == U_PRIVATE_USE_CHAR || type == U_SURROGATE ||
            (type == U_CONTROL_CHAR && !breakOrTab))
            return false;
    }
    return true;
}

// How many blocks of 256 characters the text uses: text read in the right byte order keeps to a
// few, the same units read backwards spread over many.
std::size_t Spread(std::string_view utf8)
{
    std::set<UChar32> blocks;
    for (std::size_t i = 0; i < utf8.size();) {
        UChar32 c = 0;
        U8_NEXT(utf8.data(), i, utf8.size(), c);
        blocks.insert(c >> 8);
    }
    return blocks.size();
}

ImportedText FromUnicode(std::string_view body, ImportedText::Kind kind, const char* encoding,
                         std::size_t mark)
{
    ImportedText result;
    result.kind = kind;
    result.encoding = encoding;
    result.mark = mark;
    // A note ends at a NUL character: one inside would cut the text short.
    if (!DecodeStrictly(body, encoding, result.text) || result.text.find('\0') != std::string::npos)
        result = {ImportedText::badUnicode, {}, 0, encoding, mark};
    return result;
}

// UTF-32 or UTF-16 without a byte-order mark: units that decode to written text, in the byte
// order that keeps it to the fewest blocks.
bool FromUnmarkedUnicode(std::string_view bytes, ImportedText& result)
{
    static const struct
    {
        const char* name;
        std::size_t unit;
        ImportedText::Kind kind;
    } kEncodings[] = {{"UTF-32LE", 4, ImportedText::utf32},
                      {"UTF-32BE", 4, ImportedText::utf32},
                      {"UTF-16LE", 2, ImportedText::utf16},
                      {"UTF-16BE", 2, ImportedText::utf16}};
    bool found = false;
    std::string text;
    for (const auto& encoding : kEncodings) {
        if (found && encoding.unit != (result.kind == ImportedText::utf32 ? 4u : 2u))
            break;
        if (bytes.size() % encoding.unit != 0 || !DecodeStrictly(bytes, encoding.name, text) ||
            !WrittenText(text) || (found && Spread(text) >= Spread(result.text)))
            continue;
        result.kind = encoding.kind;
        result.encoding = encoding.name;
        result.text = std::move(text);
        found = true;
    }
    return found;
}

// Valid UTF-8 whose few characters beyond ASCII are all of Latin Extended-B, the phonetic letters
// and the spacing modifiers, rare in any text, is a Windows-1252 text where an accented capital
// meets a quote or a dash: "CAF\xC9\x92s" is "CAFÉ’s", no "CAFɒs".
bool AccidentallyUtf8(std::string_view bytes)
{
    int beyondAscii = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        CTextCodec::DecodeUtf8(bytes, i, c);
        if (c < 0x80)
            continue;
        if (c < 0x180 || c > 0x2FF || ++beyondAscii > kFewCharacters)
            return false;
    }
    return beyondAscii > 0;
}

std::size_t BytesBeyondAscii(std::string_view bytes)
{
    std::size_t count = 0;
    for (const char byte : bytes)
        count += static_cast<unsigned char>(byte) >= 0x80;
    return count;
}

ImportedText InCodePage(std::string_view bytes, const std::string& encoding, bool guessed)
{
    ImportedText result;
    result.encoding = encoding;
    result.guessed = guessed;
    if (!DecodeStrictly(bytes, encoding.c_str(), result.text) ||
        result.text.find('\0') != std::string::npos) {
        result = {ImportedText::badEncoding, {}, 0, encoding};
        return result;
    }
    const bool windows = ucnv_compareNames(encoding.c_str(), "windows-1252") == 0;
    result.kind = windows ? ImportedText::windows1252 : ImportedText::legacy;
    result.windows1252Bytes = windows ? BytesBeyondAscii(bytes) : 0;
    if (CTextCodec::IsValidUtf8(bytes) && result.text == bytes)
        result.kind = ImportedText::utf8;
    return result;
}

// UTF-8 where the bytes form it, Windows-1252 for each byte that does not. Nothing when the bytes
// that are not UTF-8 outnumber the characters that are: the file is in another code page.
bool FromMixed(std::string_view bytes, ImportedText& result)
{
    CTextCodec windows(CTextCodec::fromWindows1252);
    std::size_t utf8Characters = 0;
    std::string converted;
    result = {};
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t start = i;
        char32_t c = 0;
        if (CTextCodec::DecodeUtf8(bytes, i, c)) {
            utf8Characters += c >= 0x80;
            result.text.append(bytes.substr(start, i - start));
            continue;
        }
        windows.Convert(bytes.substr(i, 1), converted);
        result.text += converted;
        ++result.windows1252Bytes;
        ++i;
    }
    result.kind = ImportedText::mixed;
    return utf8Characters > 0 && utf8Characters >= result.windows1252Bytes;
}

// The code page ICU's detector finds likeliest among those that read every byte. Unicode is
// decided before; the detector's EBCDIC guesses are no text file's.
ImportedText Detected(std::string_view bytes)
{
    UErrorCode error = U_ZERO_ERROR;
    const std::unique_ptr<UCharsetDetector, void (*)(UCharsetDetector*)> detector(ucsdet_open(&error),
                                                                                  &ucsdet_close);
    const std::string_view sample = bytes.substr(0, kDetectorSample);
    ucsdet_setText(detector.get(), sample.data(), static_cast<int32_t>(sample.size()), &error);
    int32_t count = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(detector.get(), &count, &error);
    for (int32_t i = 0; U_SUCCESS(error) && i < count; ++i) {
        std::string name = ucsdet_getName(matches[i], &error);
        if (name.rfind("UTF-", 0) == 0 || name.rfind("IBM", 0) == 0)
            continue;
        // The same characters where both have them, and Windows-1252 has more.
        if (name == "ISO-8859-1")
            name = "windows-1252";
        ImportedText result = InCodePage(bytes, name, true);
        if (result.Imported())
            return result;
    }
    return InCodePage(bytes, "windows-1252", true);
}

} // namespace

ImportedText DecodeImportedText(std::string_view bytes, const std::string& encoding)
{
    using namespace std::string_view_literals;
    if (!encoding.empty())
        return InCodePage(bytes, encoding, false);
    if (StartsWith(bytes, "\xFF\xFE\0\0"sv))
        return FromUnicode(bytes.substr(4), ImportedText::utf32, "UTF-32LE", 4);
    if (StartsWith(bytes, "\0\0\xFE\xFF"sv))
        return FromUnicode(bytes.substr(4), ImportedText::utf32, "UTF-32BE", 4);
    if (StartsWith(bytes, "\xFF\xFE"sv))
        return FromUnicode(bytes.substr(2), ImportedText::utf16, "UTF-16LE", 2);
    if (StartsWith(bytes, "\xFE\xFF"sv))
        return FromUnicode(bytes.substr(2), ImportedText::utf16, "UTF-16BE", 2);
    ImportedText result;
    if (bytes.find('\0') != std::string_view::npos) {
        if (!FromUnmarkedUnicode(bytes, result))
            result = {ImportedText::binary, {}, 0, {}};
        return result;
    }
    if (CTextCodec::IsValidUtf8(bytes)) {
        if (AccidentallyUtf8(bytes)) {
            result = InCodePage(bytes, "windows-1252", true);
            if (result.Imported())
                return result;
        }
        return {ImportedText::utf8, std::string(bytes)};
    }
    if (FromMixed(bytes, result))
        return result;
    result = Detected(bytes);
    // UTF-16 of characters beyond ASCII alone has no NUL byte; read as a code page its bytes give
    // control characters, which no text written in one has.
    ImportedText unicode;
    if (!WrittenText(result.text) && FromUnmarkedUnicode(bytes, unicode)) {
        unicode.guessed = true;
        return unicode;
    }
    return result;
}

bool KnownTextEncoding(const std::string& encoding)
{
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(encoding.c_str(), &error);
    ucnv_close(converter);
    return U_SUCCESS(error) && !encoding.empty();
}

std::string ImportedText::Notice(const std::string& path) const
{
    switch (kind) {
    case mixed:
        return path + ": read as UTF-8; " + std::to_string(windows1252Bytes) +
               " byte(s) that are not UTF-8 were read as Windows-1252";
    case binary:
        return path + ": holds NUL bytes and is no UTF-16 or UTF-32 text; not imported";
    case badUnicode:
        return path + ": its byte-order mark promises UTF-16 or UTF-32, but the text is not; not imported";
    case badEncoding:
        return path + ": is not text in " + encoding + "; not imported";
    default:
        return guessed ? path + ": read as " + encoding + ", the likeliest encoding; another can be chosen"
                       : std::string();
    }
}
