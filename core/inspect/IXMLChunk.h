#pragma once
// Production metadata from an "iXML" chunk: project, scene, take, tape, track and notes, the
// timecode facts of its SPEED block, the file set and the track list.
// The payload is untrusted: size, nesting, element count and text are bounded, and
// document type declarations and entities are refused.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct IXMLChunk {
    // One TRACK of the TRACK_LIST, as written.
    struct Track {
        std::optional<std::string> channelIndex;    // the recorder's track number
        std::optional<std::string> interleaveIndex; // the channel's position in the file, from 1
        std::optional<std::string> name;
        std::optional<std::string> function;
        bool operator==(const Track&) const = default;
    };
    static constexpr std::size_t maxTracks = 1024;

    std::optional<std::string> project;
    std::optional<std::string> scene;
    std::optional<std::string> tape;
    std::optional<std::string> track;
    std::optional<std::string> notes;
    std::optional<std::string> take;
    std::optional<std::string> circled;
    std::optional<std::string> ubits;
    std::optional<std::string> familyUID;    // FILE_SET/FAMILY_UID
    std::optional<std::string> speedNote;    // SPEED/NOTE
    std::optional<std::string> timecodeRate; // SPEED/TIMECODE_RATE, "24000/1001"
    std::optional<std::string> timecodeFlag; // SPEED/TIMECODE_FLAG, "NDF" or "DF"
    std::optional<std::string> timestampSamplesHigh; // SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI
    std::optional<std::string> timestampSamplesLow;  // SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO
    std::optional<std::string> timestampSampleRate;  // SPEED/TIMESTAMP_SAMPLE_RATE
    std::vector<Track> tracks; // at most maxTracks

    bool operator==(const IXMLChunk&) const = default;

    static constexpr std::int64_t defaultMaxBytes = 1048576;
    // Absent when the document is invalid, oversized or not a BWFXML document.
    static std::optional<IXMLChunk> parse(const std::vector<std::uint8_t>& payload,
                                          std::int64_t maxBytes = defaultMaxBytes);
    static std::optional<IXMLChunk> parse(const std::uint8_t* data, std::size_t size,
                                          std::int64_t maxBytes = defaultMaxBytes);
};

} // namespace vaun
