#pragma once
// The Broadcast Wave "bext" chunk (EBU Tech 3285): description, originator, date and time
// as stored, sample-accurate time reference, version, UMID, the loudness a version 2 chunk
// stores and the coding history.
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
    // Upper-case hex of the 64-byte SMPTE UMID (32 bytes when the extension is all zero);
    // absent for version 0 or an all-zero UMID.
    std::optional<std::string> umid;
    // From version 2: the stored value / 100 (LUFS, LU, dBTP); absent when stored as 0x7FFF.
    std::optional<double> loudnessValue;
    std::optional<double> loudnessRange;
    std::optional<double> maxTruePeakLevel;
    std::optional<double> maxMomentaryLoudness;
    std::optional<double> maxShortTermLoudness;
    // The text after the fixed part, up to its first NUL, trailing line breaks removed.
    std::string codingHistory;

    bool operator==(const BWFChunk&) const = default;

    // Absent when the payload is too short to be a bext chunk.
    static std::optional<BWFChunk> parse(const std::vector<std::uint8_t>& payload);
    static std::optional<BWFChunk> parse(const std::uint8_t* data, std::size_t size);
};

} // namespace vaun
