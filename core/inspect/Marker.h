#pragma once
// A point or span of a file's timeline that its author marked: a cue point, a region, a
// sampler loop or a chapter. Frames count at the file's own sample rate from its first frame.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vaun {

struct Marker {
    enum class Kind { marker, region, loop, chapter };

    // Markers kept of one file at most.
    static constexpr std::size_t maxMarkers = 10000;

    Kind kind = Kind::marker;
    // The file's own number for it (cue point, loop or chapter id); absent when it has none.
    std::optional<std::int64_t> id;
    std::int64_t start = 0;
    // Frames the span covers (a loop's end − start + 1); absent for a point.
    std::optional<std::int64_t> length;
    std::optional<std::string> label;
    std::optional<std::string> note;
    // A loop's play count as the file states it, 0 for endless; absent for other kinds.
    std::optional<std::uint32_t> playCount;

    bool operator==(const Marker&) const = default;
};

} // namespace vaun
