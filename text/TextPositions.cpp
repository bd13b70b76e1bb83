#include "text/TextPositions.h"

#include "model/CTextCodec.h"

namespace {

// Length of the well-formed UTF-8 sequence at pos, or 0 when the byte there starts none.
std::size_t SequenceLength(std::string_view text, std::size_t pos)
{
    std::size_t next = pos;
    char32_t codePoint;
    return CTextCodec::DecodeUtf8(text, next, codePoint) ? next - pos : 0;
}

struct Character
{
    std::size_t bytes; // bytes in the text
    int units;         // positions in the editor
};

Character CharacterAt(std::string_view text, std::size_t pos)
{
    const char byte = text[pos];
    if (static_cast<unsigned char>(byte) < 0x80) {
        const bool crlf = byte == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
        return {crlf ? 2u : 1u, 1};
    }
    const std::size_t length = SequenceLength(text, pos);
    if (length == 0)
        return {1, 1};
    return {length, length == 4 ? 2 : 1};
}

} // namespace

int CharFromByteOffset(std::string_view text, std::size_t byteOffset)
{
    int chars = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Character character = CharacterAt(text, pos);
        if (pos + character.bytes > byteOffset)
            break;
        pos += character.bytes;
        chars += character.units;
    }
    return chars;
}

std::size_t ByteFromCharOffset(std::string_view text, int charOffset)
{
    int chars = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Character character = CharacterAt(text, pos);
        if (chars + character.units > charOffset)
            break;
        pos += character.bytes;
        chars += character.units;
    }
    return pos;
}
