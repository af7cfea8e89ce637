#include "inspect/BWFChunk.h"

#include <gtest/gtest.h>

#include <string_view>

namespace vaun {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A bext payload with its fixed 602 bytes and an optional coding history.
struct BextWriter {
    Bytes bytes = Bytes(602, 0);

    BextWriter& put(std::size_t offset, std::string_view text) {
        std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return *this;
    }
    BextWriter& fill(std::size_t offset, std::size_t count, std::uint8_t value) {
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, value);
        return *this;
    }
    BextWriter& u32(std::size_t offset, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }
};

TEST(BWFChunk, AllZeroFixedPartIsEmptyButValid) {
    const auto chunk = BWFChunk::parse(Bytes(602, 0));
    ASSERT_TRUE(chunk);
    EXPECT_EQ(*chunk, (BWFChunk{"", "", "", "", "", 0, 0, std::nullopt}));
    EXPECT_FALSE(chunk->timeReferenceSeconds);
}

TEST(BWFChunk, PayloadShorterThanTheFixedPartIsInvalid) {
    EXPECT_FALSE(BWFChunk::parse(Bytes(601, 0)));
    EXPECT_FALSE(BWFChunk::parse(Bytes{}));
    EXPECT_FALSE(BWFChunk::parse(nullptr, 0));
}

TEST(BWFChunk, ReadsEveryFieldFromItsOwnRange) {
    BextWriter bext;
    bext.put(0, "Scene 12 take 3")
        .put(256, std::string(32, 'O')) // a field that fills its width has no terminator
        .put(288, "REF-0042")
        .put(320, "2024-05-17")
        .put(330, "13:45:09")
        .u32(338, 0x00000010)
        .u32(342, 0x00000001)
        .put(346, "\x02")
        .put(347, "\x01")
        .fill(348, 254, 0xEE); // UMID, loudness and reserved bytes are not read
    const auto chunk = BWFChunk::parse(bext.bytes);
    ASSERT_TRUE(chunk);
    EXPECT_EQ(*chunk, (BWFChunk{"Scene 12 take 3", std::string(32, 'O'), "REF-0042", "2024-05-17", "13:45:09",
                                4294967312ull, 0x0102, std::nullopt}));
}

TEST(BWFChunk, OnlyTrailingZerosArePadding) {
    EXPECT_EQ(BWFChunk::parse(BextWriter().put(0, "abcdef").bytes)->description, "abcdef");
    EXPECT_EQ(BWFChunk::parse(BextWriter().put(0, "abcdef").fill(6, 250, ' ').bytes)->description,
              "abcdef" + std::string(250, ' '));
    EXPECT_EQ(BWFChunk::parse(BextWriter().put(0, "  ab").put(5, "cd").bytes)->description,
              std::string("  ab\0cd", 7));
}

TEST(BWFChunk, TextIsUTF8ElseLatin1) {
    // Each field is decoded on its own.
    const auto chunk = BWFChunk::parse(BextWriter().put(0, "\xE9t\xE9").put(256, "Zo\xC3\xAB \xF0\x9F\x8E\x99").bytes);
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->description, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(chunk->originator, "Zo\xC3\xAB \xF0\x9F\x8E\x99");

    // Overlong forms, surrogates, code points past U+10FFFF and cut sequences are not UTF-8.
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"\xE0\x80\xAF", "\xC3\xA0\xC2\x80\xC2\xAF"},
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
        {"a\xE2\x82", "a\xC3\xA2\xC2\x82"},
        {"\xFF", "\xC3\xBF"},
    };
    for (const auto& [stored, expected] : cases)
        EXPECT_EQ(BWFChunk::parse(BextWriter().put(288, stored).bytes)->originatorReference, expected);
    // The largest code point and the last one before the surrogates are fine.
    EXPECT_EQ(BWFChunk::parse(BextWriter().put(288, "\xF4\x8F\xBF\xBF\xED\x9F\xBF").bytes)->originatorReference,
              "\xF4\x8F\xBF\xBF\xED\x9F\xBF");
}

TEST(BWFChunk, CodingHistoryDoesNotChangeTheResult) {
    BextWriter bext;
    bext.put(0, "desc").u32(338, 48000);
    const auto plain = BWFChunk::parse(bext.bytes);
    const std::string history = "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n";
    bext.bytes.insert(bext.bytes.end(), history.begin(), history.end());
    const auto withHistory = BWFChunk::parse(bext.bytes);
    ASSERT_TRUE(plain && withHistory);
    EXPECT_EQ(*plain, *withHistory);
    EXPECT_EQ(plain->timeReferenceSamples, 48000u);
}

} // namespace
} // namespace vaun
