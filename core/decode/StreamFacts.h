#pragma once
// What the demuxer and decoder know of a stream beyond its sample format: FFmpeg's names for
// the codec and its profile, the stream's average bit rate, and the tags as the file stores them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vaun {

struct StreamFacts {
    // Raw tags kept at most, and bytes of one value; whoever shows them keeps fewer.
    static constexpr std::size_t maxRawTags = 1024;
    static constexpr std::size_t maxRawTagBytes = 65536 + 4;
    static constexpr std::size_t maxChapters = 10000;

    // A chapter as FFmpeg's demuxer reads it (ID3 CHAP, MP4 chapter tracks and 'chpl', Vorbis
    // CHAPTERnn, FLAC CUESHEET); frames at the stream's rate.
    struct Chapter {
        std::int64_t id = 0;
        std::int64_t start = 0;
        std::int64_t end = 0;
        std::string title; // raw, as the demuxer gives it
        bool operator==(const Chapter&) const = default;
    };

    // FFmpeg's codec descriptor ("mp2", "MP2 (MPEG audio layer 2)"); empty when it has none.
    std::string codecName;
    std::string codecLongName;
    // FFmpeg's name of the profile ("LC", "HE-AAC", "DTS-HD MA"); absent when none.
    std::optional<std::string> profile;
    // Bits per second: exact for uncompressed audio; a lossy stream's stated average where its
    // header states one (MP3, MP4); else the audio payload over the length.
    std::optional<std::int64_t> bitRate;
    // The container's tags, then the audio stream's, as FFmpeg's demuxer names and reads them.
    std::vector<std::pair<std::string, std::string>> tags;
    // At most maxChapters, in the demuxer's order.
    std::vector<Chapter> chapters;

    bool operator==(const StreamFacts&) const = default;
};

} // namespace vaun
