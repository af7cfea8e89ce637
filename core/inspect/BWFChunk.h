#pragma once
// The Broadcast Wave "bext" chunk (EBU Tech 3285): description, originator, date and time
// as stored, sample-accurate time reference and version.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct BWFChunk {
    std::string description;
    std::string originator;
    std::string originatorReference;
    std::string originationDate;
    std::string originationTime;
    std::uint64_t timeReferenceSamples = 0;
    std::uint16_t version = 0;
    std::optional<double> timeReferenceSeconds;

    bool operator==(const BWFChunk&) const = default;

    // Absent when the payload is too short to be a bext chunk.
    static std::optional<BWFChunk> parse(const std::vector<std::uint8_t>& payload);
    static std::optional<BWFChunk> parse(const std::uint8_t* data, std::size_t size);
};

} // namespace vaun
