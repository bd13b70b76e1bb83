#include "model/ImportedText.h"

#include "model/CTextCodec.h"

#include <cstdint>
#include <cstring>

namespace {

bool StartsWith(std::string_view bytes, std::string_view mark)
{
    return bytes.substr(0, mark.size()) == mark;
}

ImportedText FromUnicode(std::string_view body, ImportedText::Kind kind, bool bigEndian)
{
    ImportedText result;
    result.kind = kind;
    const char* encoding = kind == ImportedText::utf16 ? (bigEndian ? "UTF-16BE" : "UTF-16LE")
                                                       : (bigEndian ? "UTF-32BE" : "UTF-32LE");
    const bool decoded = CTextCodec::UnicodeToUtf8(body, encoding, result.text);
    // A note ends at a NUL character: one inside would cut the text short.
    if (!decoded || result.text.find('\0') != std::string::npos)
        result = {ImportedText::badUnicode, {}, 0};
    return result;
}

// UTF-8 where the bytes form it, Windows-1252 for each byte that does not.
ImportedText FromMixed(std::string_view bytes)
{
    ImportedText result;
    CTextCodec windows(CTextCodec::fromWindows1252);
    bool anyUtf8 = false;
    std::string converted;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t start = i;
        char32_t c = 0;
        if (CTextCodec::DecodeUtf8(bytes, i, c)) {
            anyUtf8 = anyUtf8 || c >= 0x80;
            result.text.append(bytes.substr(start, i - start));
            continue;
        }
        windows.Convert(bytes.substr(i, 1), converted);
        result.text += converted;
        ++result.windows1252Bytes;
        ++i;
    }
    result.kind = anyUtf8 ? ImportedText::mixed : ImportedText::windows1252;
    return result;
}

} // namespace

ImportedText DecodeImportedText(std::string_view bytes)
{
    using namespace std::string_view_literals;
    if (StartsWith(bytes, "\xFF\xFE\0\0"sv))
        return FromUnicode(bytes.substr(4), ImportedText::utf32, false);
    if (StartsWith(bytes, "\0\0\xFE\xFF"sv))
        return FromUnicode(bytes.substr(4), ImportedText::utf32, true);
    if (StartsWith(bytes, "\xFF\xFE"sv))
        return FromUnicode(bytes.substr(2), ImportedText::utf16, false);
    if (StartsWith(bytes, "\xFE\xFF"sv))
        return FromUnicode(bytes.substr(2), ImportedText::utf16, true);
    if (bytes.find('\0') != std::string_view::npos)
        return {ImportedText::binary, {}, 0};
    if (StartsWith(bytes, "\xEF\xBB\xBF"sv))
        bytes.remove_prefix(3); // the UTF-8 mark some editors write says nothing more
    if (CTextCodec::IsValidUtf8(bytes))
        return {ImportedText::utf8, std::string(bytes), 0};
    return FromMixed(bytes);
}
