#include "model/CByteBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

// The cipher as written down, one byte at a time.
std::uint8_t ReferenceEncipher(std::uint8_t byte, std::size_t position, const std::string& key)
{
    const std::size_t k = position % key.size();
    const auto m = static_cast<std::uint8_t>((k + 1) * static_cast<std::uint8_t>(key[k]));
    return static_cast<std::uint8_t>(byte + m - 3);
}

} // namespace

TEST(ByteBuffer, CipherRoundTripsAndMatchesReferenceAtEverySize)
{
    for (std::size_t size : {0u, 1u, 14u, 15u, 16u, 959u, 960u, 961u, 100000u}) {
        const auto plain = RandomBytes(size, static_cast<unsigned>(size));
        CByteBuffer buffer;
        ASSERT_TRUE(buffer.Allocate(static_cast<std::uint32_t>(size)));
        ASSERT_TRUE(buffer.Put(plain.data(), static_cast<std::uint32_t>(size)));
        EXPECT_EQ(buffer.Encipher(kNoteBookKey), 15u);
        for (std::size_t j = 0; j < size; ++j)
            ASSERT_EQ(buffer.GetData()[j], ReferenceEncipher(plain[j], j, kNoteBookKey))
                << size << " at " << j;
        EXPECT_EQ(buffer.GetCursor(), size);
        buffer.Decipher(kNoteBookKey);
        EXPECT_TRUE(size == 0 || std::memcmp(buffer.GetData(), plain.data(), size) == 0) << size;
    }
}

TEST(ByteBuffer, KnownBytesOfTheNoteBookKey)
{
    // An empty note body: T = 1, a zero, X = 1, a zero.
    const std::uint8_t plain[10] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(10));
    ASSERT_TRUE(buffer.Put(plain, 10));
    buffer.Encipher(kNoteBookKey);
    // R=0x52: 1*0x52-3 = 0x4F, plus 1. k=0x6B: 2*0x6B = 0xD6, -3 = 0xD3.
    EXPECT_EQ(buffer.GetData()[0], 0x50);
    EXPECT_EQ(buffer.GetData()[1], 0xD3);
}

TEST(ByteBuffer, ShortKeysAndEmptyBlocks)
{
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(40));
    buffer.Encipher("\x05");
    for (std::uint32_t j = 0; j < 40; ++j)
        ASSERT_EQ(buffer.GetData()[j], 2); // (1 * 5 - 3)
    EXPECT_EQ(buffer.Encipher(""), 0u);
    EXPECT_EQ(buffer.GetData()[0], 2);

    CByteBuffer empty;
    ASSERT_TRUE(empty.Allocate(0));
    EXPECT_EQ(empty.Encipher(kNoteBookKey), 15u);
    EXPECT_EQ(empty.Decipher(kNoteBookKey), 15u);
    EXPECT_EQ(empty.GetSize(), 0u);
}

TEST(ByteBuffer, PutAndGetStayInsideTheBlock)
{
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(8));
    const char bytes[9] = "abcdefgh";
    EXPECT_TRUE(buffer.Put(bytes, 5));
    EXPECT_FALSE(buffer.Put(bytes, 4));
    EXPECT_EQ(buffer.GetCursor(), 5u);
    EXPECT_TRUE(buffer.Put(bytes, 3));
    EXPECT_EQ(buffer.GetCursor(), 8u);
    EXPECT_FALSE(buffer.Put(bytes, 1));

    char out[8] = {};
    EXPECT_FALSE(buffer.Get(out, 1));
    EXPECT_TRUE(buffer.Get(out, 0));
    EXPECT_EQ(buffer.GetCursor(), 8u);

    // A second block is refused and the first keeps its bytes.
    EXPECT_FALSE(buffer.Allocate(4));
    EXPECT_EQ(buffer.GetSize(), 8u);
    EXPECT_EQ(std::memcmp(buffer.GetData(), "abcdeabc", 8), 0);

    buffer.ZeroFill();
    EXPECT_EQ(buffer.GetCursor(), 8u);
    EXPECT_EQ(buffer.GetData()[3], 0);
    buffer.Free();
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetSize(), 0u);
    EXPECT_TRUE(buffer.Allocate(2));
}

TEST(ByteBuffer, HugeCountsDoNotWrap)
{
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(16));
    char out[16];
    ASSERT_TRUE(buffer.Get(out, 4));
    EXPECT_FALSE(buffer.Get(out, 0xFFFFFFFFu));
    EXPECT_FALSE(buffer.Put(out, 0xFFFFFFF0u));
    EXPECT_EQ(buffer.GetCursor(), 4u);
}
