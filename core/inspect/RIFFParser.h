#pragma once
// The chunk structure of RIFF-family files (little-endian RIFF, big-endian RIFX, 64-bit
// RF64) and of AIFF/AIFF-C (FORM), walked within safety limits. Chunk contents are not
// interpreted here.
#include "common/Errors.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

// Payload budgets of one walk. Declared outside RIFFParser so that it is complete where
// RIFFParser's functions default it (GCC cannot use a nested type's member initialisers there).
struct RIFFParserOptions {
    std::int64_t maxChunkBytes = 1048576; // largest payload kept
    std::int64_t maxTotalBytes = 4194304; // all kept payloads of one container together
    static RIFFParserOptions defaults() { return {}; }
};

struct RIFFParser {
    struct Chunk {
        std::string id;
        std::vector<std::uint8_t> payload; // exactly the declared payload, without the pad byte
        std::uint64_t offset = 0;          // file offset of the chunk's 8-byte header
        bool operator==(const Chunk&) const = default;
    };

    struct Container {
        std::string formType;
        std::vector<Chunk> chunks; // kept payloads, in file order
        bool truncated = false;
        std::vector<std::string> chunkIDs; // every chunk met, at most 256
        bool isRF64 = false;
        bool operator==(const Container&) const = default;
    };

    using Options = RIFFParserOptions;

    // Reads only chunk headers and the metadata payloads ("bext", "iXML", "chna"; the markers'
    // "cue ", "smpl", "LIST" of type "adtl", "MARK", "INST") through a file handle. I/O
    // errors throw SystemError; cancellation throws CancellationError.
    static std::optional<Container> scan(const std::filesystem::path& url, const Options& options = {},
                                         const CancellationTest& isCancelled = neverCancelled());
    // Keeps every payload that fits the budgets. Never throws.
    static std::optional<Container> parse(const std::vector<std::uint8_t>& data, const Options& options = {});
    static std::optional<Container> parse(const std::uint8_t* data, std::size_t size, const Options& options = {});
};

} // namespace vaun
