#include "TextPositions.h"

namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at pos, or 0 when the byte there starts none.
std::size_t SequenceLength(std::string_view text, std::size_t pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!IsContinuation(static_cast<unsigned char>(text[pos + i])))
            return 0;
    return length;
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
