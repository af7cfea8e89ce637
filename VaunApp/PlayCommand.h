#pragma once
// `vaun --play FILE [SECONDS]`: plays FILE through the default sound device the way the
// preview's play button does (the multichannel player for more than two channels, the
// simple player otherwise), for SECONDS or to the end, and prints one JSON line about it.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vaun {

struct PlayReport {
    // The route summary ("Direct out · 2 of 2 outputs").
    std::string route;
    double playedSeconds = 0;
    // The highest meter peak per file channel, dBFS (−160 for silence).
    std::vector<float> peaks;
    std::int64_t underruns = 0;
};

// {"route": R, "played": P, "peak": [..], "underruns": U}: P with "%.3f", peaks with "%.1f";
// no newline.
std::string playJSON(const PlayReport& report);

// A SECONDS argument: decimal digits with an optional fraction ("2", "0.5", "10.25").
std::optional<double> parseSeconds(std::string_view text);

// Plays and prints the line; on failure prints "play FAIL: " + the error to standard error
// and returns 2. Ctrl-C stops playback and still prints the line.
int playCommand(const std::filesystem::path& file, std::optional<double> seconds);

} // namespace vaun
