#pragma once
// Where a player sends the file's channels, and the one line that tells the user.
#include <string>
#include <variant>

namespace vaun {

// File channel i to device output i; outputs past the file's channels stay silent.
struct DiscreteRoute {
    int fileChannels = 0;
    int deviceChannels = 0;
    bool operator==(const DiscreteRoute&) const = default;
};

// The channels as a speaker bed, rendered for headphones through a head-related transfer set.
struct BinauralRoute {
    std::string layout;
    std::string hrtfName;
    bool operator==(const BinauralRoute&) const = default;
};

struct PlaybackRoute {
    using Discrete = DiscreteRoute;
    using Binaural = BinauralRoute;

    std::variant<Discrete, Binaural> value;

    static PlaybackRoute discrete(int fileChannels, int deviceChannels) { return {Discrete{fileChannels, deviceChannels}}; }
    static PlaybackRoute binaural(std::string layout, std::string hrtfName) {
        return {Binaural{std::move(layout), std::move(hrtfName)}};
    }

    bool isDiscrete() const { return std::holds_alternative<Discrete>(value); }
    bool isBinaural() const { return std::holds_alternative<Binaural>(value); }

    // "Direct out · 6 of 8 outputs" or "Spatial (headphones) · 5.1 · MIT KEMAR HRTF".
    std::string summary() const;

    bool operator==(const PlaybackRoute&) const = default;
};

} // namespace vaun
