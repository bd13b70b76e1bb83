#include "text/TextPositions.h"

#include <gtest/gtest.h>

#include <string>

// "Café € 😀!": é is 2 bytes, € 3, the emoji 4 bytes and two editor positions.
const std::string kMixed = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80!";

TEST(TextPositions, MultibyteCharactersMapBothWays)
{
    struct Pair
    {
        std::size_t byte;
        int chars;
    };
    const Pair pairs[] = {{0, 0}, {3, 3}, {5, 4}, {6, 5}, {9, 6}, {10, 7}, {14, 9}, {15, 10}};
    for (const Pair& pair : pairs) {
        EXPECT_EQ(CharFromByteOffset(kMixed, pair.byte), pair.chars) << "byte " << pair.byte;
        EXPECT_EQ(ByteFromCharOffset(kMixed, pair.chars), pair.byte) << "char " << pair.chars;
    }
}

TEST(TextPositions, OffsetsInsideACharacterGiveItsStart)
{
    EXPECT_EQ(CharFromByteOffset(kMixed, 4), 3);   // second byte of é
    EXPECT_EQ(CharFromByteOffset(kMixed, 8), 5);   // last byte of €
    EXPECT_EQ(CharFromByteOffset(kMixed, 12), 7);  // inside the emoji
    EXPECT_EQ(ByteFromCharOffset(kMixed, 8), 10u); // between the emoji's surrogates
}

TEST(TextPositions, OutOfRangeClampsToTheEnds)
{
    EXPECT_EQ(CharFromByteOffset(kMixed, 1000), 10);
    EXPECT_EQ(ByteFromCharOffset(kMixed, 1000), kMixed.size());
    EXPECT_EQ(ByteFromCharOffset(kMixed, -3), 0u);
    EXPECT_EQ(CharFromByteOffset("", 5), 0);
}

TEST(TextPositions, EveryLineEndIsOneCharacter)
{
    const std::string text = "a\r\nb\rc\nd";
    EXPECT_EQ(CharFromByteOffset(text, 3), 2); // b
    EXPECT_EQ(CharFromByteOffset(text, 2), 1); // between \r and \n: the line end
    EXPECT_EQ(CharFromByteOffset(text, 5), 4); // c
    EXPECT_EQ(CharFromByteOffset(text, 7), 6); // d
    EXPECT_EQ(ByteFromCharOffset(text, 2), 3u);
    EXPECT_EQ(ByteFromCharOffset(text, 6), 7u);
    EXPECT_EQ(CharFromByteOffset("x\r", 2), 2);
}

TEST(TextPositions, MalformedBytesCountOneEach)
{
    // A stray continuation, a lead without its tail, an overlong form, a surrogate half, a code
    // point past U+10FFFF: each byte is one replacement character in the editor.
    EXPECT_EQ(CharFromByteOffset("a\x80"
                                 "b",
                                 3),
              3);
    EXPECT_EQ(CharFromByteOffset("a\xE2\x82"
                                 "b",
                                 4),
              4);
    EXPECT_EQ(CharFromByteOffset("\xC0\x80x", 3), 3);
    EXPECT_EQ(CharFromByteOffset("\xED\xA0\x80x", 4), 4);
    EXPECT_EQ(CharFromByteOffset("\xF4\x90\x80\x80x", 5), 5);
    EXPECT_EQ(CharFromByteOffset("\xC3", 1), 1);
    EXPECT_EQ(ByteFromCharOffset("a\xE2\x82"
                                 "b",
                                 3),
              3u);
}
