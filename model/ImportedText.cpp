#include "model/ImportedText.h"

#include "model/CTextCodec.h"

#include <cstdint>
#include <cstring>

namespace {

void AppendUtf8(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::uint32_t Unit(std::string_view bytes, std::size_t at, std::size_t size, bool bigEndian)
{
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < size; ++k) {
        const auto b = static_cast<unsigned char>(bytes[at + (bigEndian ? k : size - 1 - k)]);
        value = (value << 8) | b;
    }
    return value;
}

// False at a unit count that does not fit, an unpaired surrogate or a value beyond Unicode.
bool DecodeUtf16(std::string_view bytes, bool bigEndian, std::string& out)
{
    if (bytes.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = Unit(bytes, i, 2, bigEndian);
        if (c >= 0xDC00 && c <= 0xDFFF)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 4 > bytes.size())
                return false;
            const char32_t low = Unit(bytes, i + 2, 2, bigEndian);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(c, out);
    }
    return true;
}

bool DecodeUtf32(std::string_view bytes, bool bigEndian, std::string& out)
{
    if (bytes.size() % 4 != 0)
        return false;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const char32_t c = Unit(bytes, i, 4, bigEndian);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        AppendUtf8(c, out);
    }
    return true;
}

bool StartsWith(std::string_view bytes, std::string_view mark)
{
    return bytes.substr(0, mark.size()) == mark;
}

ImportedText FromUnicode(std::string_view body, ImportedText::Kind kind, bool bigEndian)
{
    ImportedText result;
    result.kind = kind;
    const bool decoded = kind == ImportedText::utf16 ? DecodeUtf16(body, bigEndian, result.text)
                                                     : DecodeUtf32(body, bigEndian, result.text);
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
