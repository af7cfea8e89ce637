#pragma once
// The two chunks of an ADM broadcast wave: "chna" (file tracks to ADM IDs) and "axml"
// (the audio definition model as XML), both read as hostile input.
#include "common/Errors.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct ChnaChunk {
    struct Entry {
        int trackIndex = 0; // 1-based file track
        std::string trackUID;
        std::string trackFormat; // AT_… (or AC_… in newer files)
        std::string packFormat;  // AP_…
        bool operator==(const Entry&) const = default;
    };
    int trackCount = 0;
    std::vector<Entry> entries;
    bool operator==(const ChnaChunk&) const = default;

    // Absent below the 4-byte header; entries past the payload's end are left out.
    static std::optional<ChnaChunk> parse(const std::uint8_t* data, std::size_t size);
};

struct AXMLOptions {
    std::int64_t maxBytes = 64LL << 20;
    std::int64_t maxElements = 2000000;
    std::size_t maxDepth = 64;
    std::size_t maxTextBytes = 65536;
    bool keepBlocks = true; // false when only the document's soundness matters
};

struct AXMLDocument {
    struct Block {
        std::optional<double> rtimeSeconds, durationSeconds;
        std::optional<double> azimuth, elevation, distance; // polar; a bound's min and max left out
        std::optional<double> x, y, z;                      // cartesian
        std::optional<int> order, degree;                   // HOA
        std::string normalization;                          // HOA: "SN3D", "N3D", "FuMa"
        bool operator==(const Block&) const = default;
    };
    struct ChannelFormat {
        std::string name, type, speakerLabel;
        std::vector<Block> blocks;
    };
    struct PackFormat {
        std::string name, type;
        std::vector<std::string> channelFormats, packFormats;
        std::string normalization; // HOA
    };
    struct Object {
        std::string id, name;
        std::vector<std::string> packFormats, trackUIDs, objects;
        std::optional<double> startSeconds, durationSeconds;
    };
    struct Named {
        std::string name;
        std::vector<std::string> refs;
    };
    struct TrackUID {
        std::string trackFormat, channelFormat, packFormat;
    };

    std::vector<std::pair<std::string, Named>> programmes; // in document order
    std::map<std::string, Named> contents;                 // refs: audioObjectIDRef
    std::vector<Object> objects;                           // in document order
    std::map<std::string, PackFormat> packFormats;
    std::map<std::string, ChannelFormat> channelFormats;
    std::map<std::string, std::string> trackFormatStreams;   // AT → AS
    std::map<std::string, std::string> streamFormatChannels; // AS → AC
    std::map<std::string, TrackUID> trackUIDs;

    // Absent for a damaged, declaring or over-limit document. Cancellation throws.
    static std::optional<AXMLDocument> parse(const std::uint8_t* data, std::size_t size, const AXMLOptions& options = {},
                                             const CancellationTest& isCancelled = neverCancelled());
    // "hh:mm:ss.fffff" or "hh:mm:ss.nnnnnSrate"; absent when malformed.
    static std::optional<double> parseTime(const std::string& text);
};

// The payloads of "chna" and "axml" read straight from the file, outside the metadata walk's budgets.
struct ADMChunkReader {
    struct Result {
        std::optional<std::vector<std::uint8_t>> chna, axml;
        bool axmlOverLimit = false; // declared larger than allowed, or running past the file
    };
    // Absent when the file is not a RIFF-family WAVE. I/O errors throw SystemError.
    static std::optional<Result> read(const std::filesystem::path& path, std::int64_t maxAXMLBytes,
                                      const CancellationTest& isCancelled = neverCancelled());
};

} // namespace vaun
