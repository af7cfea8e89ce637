#include "inspect/BWFChunk.h"

#include "inspect/UTF8.h"

#include <algorithm>
#include <cstring>

namespace vaun {
namespace {

// The fixed part of a version 0, 1 or 2 chunk; the coding history follows it.
constexpr std::size_t kFixedBytes = 602;
constexpr std::size_t kUMIDOffset = 348;
constexpr std::size_t kUMIDBytes = 64;
constexpr std::size_t kBasicUMIDBytes = 32;
constexpr std::size_t kLoudnessOffset = 412;
constexpr std::uint16_t kLoudnessUnset = 0x7FFF;

// A text field ends at its first NUL: recorders leave stale bytes after the terminator.
std::string text(const std::uint8_t* begin, std::size_t width) {
    const auto* end = std::find(begin, begin + width, std::uint8_t(0));
    const auto length = std::size_t(end - begin);
    if (utf8::isValid(begin, length)) return std::string(begin, end);
    return utf8::fromLatin1(begin, length);
}

std::uint32_t readUInt32LE(const std::uint8_t* at) {
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

std::optional<std::string> readUMID(const std::uint8_t* at) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto zero = [](const std::uint8_t* from, std::size_t n) {
        return std::all_of(from, from + n, [](std::uint8_t b) { return b == 0; });
    };
    if (zero(at, kUMIDBytes)) return std::nullopt;
    const std::size_t bytes = zero(at + kBasicUMIDBytes, kUMIDBytes - kBasicUMIDBytes) ? kBasicUMIDBytes : kUMIDBytes;
    std::string hex;
    hex.reserve(2 * bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        hex += kHex[at[i] >> 4];
        hex += kHex[at[i] & 0xF];
    }
    return hex;
}

std::optional<double> loudness(const std::uint8_t* at) {
    const auto stored = std::uint16_t(at[0] | at[1] << 8);
    if (stored == kLoudnessUnset) return std::nullopt;
    return double(std::int16_t(stored)) / 100.0;
}

std::string readCodingHistory(const std::uint8_t* begin, std::size_t size) {
    std::string history = text(begin, size);
    const auto last = history.find_last_not_of("\r\n \t");
    history.erase(last == std::string::npos ? 0 : last + 1);
    return history;
}

} // namespace

std::optional<BWFChunk> BWFChunk::parse(const std::vector<std::uint8_t>& payload) {
    return parse(payload.data(), payload.size());
}

std::optional<BWFChunk> BWFChunk::parse(const std::uint8_t* data, std::size_t size) {
    if (!data || size < kFixedBytes) return std::nullopt;

    BWFChunk chunk;
    chunk.description = text(data, 256);
    chunk.originator = text(data + 256, 32);
    chunk.originatorReference = text(data + 288, 32);
    chunk.originationDate = text(data + 320, 10);
    chunk.originationTime = text(data + 330, 8);
    chunk.timeReferenceSamples = std::uint64_t(readUInt32LE(data + 338)) | std::uint64_t(readUInt32LE(data + 342)) << 32;
    chunk.version = std::uint16_t(data[346] | data[347] << 8);
    if (chunk.version >= 1) chunk.umid = readUMID(data + kUMIDOffset);
    if (chunk.version >= 2) {
        const std::uint8_t* l = data + kLoudnessOffset;
        chunk.loudnessValue = loudness(l);
        chunk.loudnessRange = loudness(l + 2);
        chunk.maxTruePeakLevel = loudness(l + 4);
        chunk.maxMomentaryLoudness = loudness(l + 6);
        chunk.maxShortTermLoudness = loudness(l + 8);
    }
    chunk.codingHistory = readCodingHistory(data + kFixedBytes, size - kFixedBytes);
    return chunk;
}

} // namespace vaun
