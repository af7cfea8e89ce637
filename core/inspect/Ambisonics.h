#pragma once
// Files that hold an Ambisonic sound field rather than speaker feeds, and how their channels
// are laid out: orders 1 to 3 (4, 9, 16 channels), ACN or FuMa order, SN3D, N3D or FuMa weights.
#include "decode/AudioFormat.h"

#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct AmbisonicLayout {
    int order = 1;
    std::string normalization = "SN3D"; // "SN3D", "N3D" or "FuMa"
    bool fumaOrder = false;             // W X Y Z R S T U V …, else ACN
    bool operator==(const AmbisonicLayout&) const = default;
};

struct Ambisonics {
    // Core Audio's HOA layout tags (ACN with SN3D or N3D), as a CAF declares them.
    static constexpr std::uint32_t kHOAACNSN3D = 190u << 16;
    static constexpr std::uint32_t kHOAACNN3D = 191u << 16;
    // B-format in FuMa order and weights, as a WAVE's B-format sub-format declares it.
    static constexpr std::uint32_t kBFormat = 107u << 16;

    // 1, 2 or 3 for 4, 9 or 16 channels; else absent.
    static std::optional<int> orderFor(int channels);
    // From the layout the container declares.
    static std::optional<AmbisonicLayout> fromLayout(const std::optional<AudioChannelLayout>& layout, int channels);
    // From track names "ACN0", "ACN1", … one per channel in order (AmbiX: ACN with SN3D).
    static std::optional<AmbisonicLayout> fromTrackNames(const std::vector<std::optional<std::string>>& names);

    // The component's letter by ACN number: "W", "Y", "Z", "X", "V", "T", "R", "S", "U", …
    static std::string componentLabel(int acn);
    // "Ambisonics order 1 · ACN · SN3D", "Ambisonics order 1 · FuMa".
    static std::string layoutName(const AmbisonicLayout& layout);
};

} // namespace vaun
