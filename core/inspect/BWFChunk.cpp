#include "inspect/BWFChunk.h"

#include "inspect/UTF8.h"

namespace vaun {
namespace {

// The fixed part of a version 0, 1 or 2 chunk; the coding history follows it.
constexpr std::size_t kFixedBytes = 602;

// Fixed-width text: only trailing zero bytes are padding, so inner zeros and spaces stay.
std::string fixedString(const std::uint8_t* data, std::size_t offset, std::size_t width) {
    const std::uint8_t* begin = data + offset;
    std::size_t length = width;
    while (length > 0 && begin[length - 1] == 0) --length;
    if (utf8::isValid(begin, length)) return std::string(begin, begin + length);
    return utf8::fromLatin1(begin, length);
}

std::optional<std::uint32_t> readUInt32LE(const std::uint8_t* data, std::size_t size, std::size_t at) {
    if (at > size || size - at < 4) return std::nullopt;
    return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
           static_cast<std::uint32_t>(data[at + 2]) << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
}

} // namespace

std::optional<BWFChunk> BWFChunk::parse(const std::vector<std::uint8_t>& payload) {
    return parse(payload.data(), payload.size());
}

std::optional<BWFChunk> BWFChunk::parse(const std::uint8_t* data, std::size_t size) {
    if (size < kFixedBytes) return std::nullopt;

    BWFChunk chunk;
    chunk.description = fixedString(data, 0, 256);
    chunk.originator = fixedString(data, 256, 32);
    chunk.originatorReference = fixedString(data, 288, 32);
    chunk.originationDate = fixedString(data, 320, 10);
    chunk.originationTime = fixedString(data, 330, 8);

    const auto low = readUInt32LE(data, size, 338);
    const auto high = readUInt32LE(data, size, 342);
    if (!low || !high) return std::nullopt;
    chunk.timeReferenceSamples = static_cast<std::uint64_t>(*low) | static_cast<std::uint64_t>(*high) << 32;
    chunk.version = static_cast<std::uint16_t>(data[346] | data[347] << 8);
    return chunk;
}

} // namespace vaun
