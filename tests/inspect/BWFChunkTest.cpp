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
    EXPECT_EQ(*chunk, BWFChunk{});
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
        .fill(422, 180, 0xEE); // reserved bytes are not read
    const auto chunk = BWFChunk::parse(bext.bytes);
    ASSERT_TRUE(chunk);
    EXPECT_EQ(*chunk, (BWFChunk{"Scene 12 take 3", std::string(32, 'O'), "REF-0042", "2024-05-17", "13:45:09",
                                4294967312ull, 0x0102, std::nullopt, std::nullopt, 0.0, 0.0, 0.0, 0.0, 0.0, ""}));
}

TEST(BWFChunk, TextEndsAtItsFirstZero) {
    EXPECT_EQ(BWFChunk::parse(BextWriter().put(0, "abcdef").bytes)->description, "abcdef");
    EXPECT_EQ(BWFChunk::parse(BextWriter().put(0, "abcdef").fill(6, 250, ' ').bytes)->description,
              "abcdef" + std::string(250, ' '));
    // A recorder that leaves stale bytes after the terminator.
    EXPECT_EQ(BWFChunk::parse(BextWriter().put(256, std::string_view("Recorder\0\0\x91^junk", 15)).bytes)->originator,
              "Recorder");
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

TEST(BWFChunk, VersionTwoCarriesUMIDLoudnessAndCodingHistory) {
    BextWriter bext;
    bext.put(0, "desc").put(346, "\x02");
    for (std::size_t i = 0; i < 32; ++i) bext.bytes[348 + i] = std::uint8_t(0x60 + i);
    const std::int16_t stored[] = {-2300, 500, -100, -1800, 0x7FFF};
    for (std::size_t i = 0; i < 5; ++i) {
        bext.bytes[412 + 2 * i] = std::uint8_t(std::uint16_t(stored[i]));
        bext.bytes[413 + 2 * i] = std::uint8_t(std::uint16_t(stored[i]) >> 8);
    }
    const std::string history = "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n";
    bext.bytes.insert(bext.bytes.end(), history.begin(), history.end());
    bext.bytes.insert(bext.bytes.end(), {0, 'x', 'y'});
    const auto chunk = BWFChunk::parse(bext.bytes);
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->umid, "606162636465666768696A6B6C6D6E6F707172737475767778797A7B7C7D7E7F");
    EXPECT_EQ(chunk->loudnessValue, -23.0);
    EXPECT_EQ(chunk->loudnessRange, 5.0);
    EXPECT_EQ(chunk->maxTruePeakLevel, -1.0);
    EXPECT_EQ(chunk->maxMomentaryLoudness, -18.0);
    EXPECT_FALSE(chunk->maxShortTermLoudness); // 0x7FFF: not stored
    EXPECT_EQ(chunk->codingHistory, "A=PCM,F=48000,W=24,M=stereo,T=recorder");

    // Below version 2 the loudness bytes are reserved; version 0 has no UMID either.
    bext.put(346, "\x01");
    EXPECT_FALSE(BWFChunk::parse(bext.bytes)->loudnessValue);
    EXPECT_TRUE(BWFChunk::parse(bext.bytes)->umid);
    bext.put(346, std::string_view("\0", 1));
    EXPECT_FALSE(BWFChunk::parse(bext.bytes)->umid);
}

} // namespace
} // namespace vaun
