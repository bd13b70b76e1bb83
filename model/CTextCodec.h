#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How the strings of a notebook file are stored. Files of the Windows program hold the bytes of
// its code page, on Western systems Windows-1252; ours hold UTF-8. In memory it is always UTF-8.
enum class TextEncoding : std::uint8_t
{
    utf8,
    windows1252
};

// What the bytes of a stored string are: plain ASCII (the same in either code page), well-formed
// UTF-8 beyond ASCII, or neither, which only Windows-1252 reads.
enum class StoredText
{
    ascii,
    utf8,
    other
};

// Converts between UTF-8 and Windows-1252 in one direction, over one iconv descriptor that is kept
// for the many strings of a notebook.
class CTextCodec
{
public:
    enum Direction
    {
        fromWindows1252,
        toWindows1252
    };

    explicit CTextCodec(Direction direction);
    ~CTextCodec();
    CTextCodec(const CTextCodec&) = delete;
    CTextCodec& operator=(const CTextCodec&) = delete;

    // False when a character has no place in the target (or iconv cannot convert at all); out is
    // then unspecified.
    bool Convert(std::string_view text, std::string& out);

    // Decodes the well-formed UTF-8 sequence at pos and steps past it; false, leaving pos, when
    // the bytes there form none.
    static bool DecodeUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint);
    static bool IsAscii(std::string_view text);
    static bool IsValidUtf8(std::string_view text);
    static StoredText Classify(std::string_view bytes);
    static bool FitsWindows1252(std::string_view utf8);
    // The byte Windows-1252 stores the character as, or -1 when it has none.
    static int Windows1252Byte(char32_t codePoint);
    // Bytes in a Unicode encoding iconv knows ("UTF-16LE", "UTF-32BE") as UTF-8; false at a unit
    // cut short, an unpaired surrogate or a value beyond Unicode.
    static bool UnicodeToUtf8(std::string_view bytes, const char* encoding, std::string& out);
    // Text of unknown origin as UTF-8: kept when it is valid UTF-8, otherwise read as Windows-1252.
    static std::string AsUtf8(std::string_view text);

private:
    bool Run(std::string_view text, std::string& out);

    Direction m_direction;
    void* m_cd;
};
