#pragma once
// The SMPTE timecode of a recording: where its first sample lies on the time-of-day clock the
// recorder ran, and the frame rate it counted in, drop-frame or not.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vaun {

struct Timecode {
    // A frame rate as an exact fraction (24000/1001 for 23.976).
    struct Rate {
        std::int64_t numerator = 0;
        std::int64_t denominator = 1;
        bool operator==(const Rate&) const = default;
    };
    // A rate and, when the text says so, whether it drops frames.
    struct ParsedRate {
        Rate rate;
        std::optional<bool> dropFrame;
    };

    std::uint64_t startSamples = 0; // samples since midnight of the first one
    double sampleRateHz = 0;        // the rate those samples are counted in
    Rate rate;
    bool dropFrame = false; // only ever true at 29.97 and 59.94

    bool operator==(const Timecode&) const = default;

    // A timecode when the rates make one; drop-frame is kept only where it exists.
    static std::optional<Timecode> make(std::uint64_t startSamples, double sampleRateHz, Rate rate, bool dropFrame);

    // "12:39:59:00" (";" before the frames when drop-frame) `secondsIn` after the first sample;
    // the clock wraps at 24 hours.
    std::string text(double secondsIn = 0) const;
    // "23.976", "24", "29.97": frames per second to three decimals without trailing zeros.
    std::string rateText() const;
    // "12:39:59:00 · 23.976 fps ND".
    std::string summary() const;

    // "24000/1001", "25", "23.976", "023.976-ND", "25.000ND", "29.97DF", "30 NDF"; absent for
    // anything else or a rate outside 1…1000 frames per second.
    static std::optional<ParsedRate> parseRate(std::string_view text);
};

} // namespace vaun
