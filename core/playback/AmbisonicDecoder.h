#pragma once
// Ambisonic sound fields turned into the feeds of virtual loudspeakers around the listener,
// for the binaural renderer to place like any other fixed source.
#include "playback/ObjectBinauralRenderer.h"

#include <cstdint>
#include <vector>

namespace vaun {

// How a file's channels carry a sound field. Azimuth runs counter-clockwise from the
// front and elevation up, so ACN 1 (Y) is positive on the left and ACN 3 (X) in front.
struct AmbisonicFormat {
    enum class Normalization { SN3D, N3D, FuMa };
    enum class Ordering { ACN, FuMa };
    int order = 1; // 1..3 (4, 9, 16 channels)
    Normalization normalization = Normalization::SN3D;
    Ordering ordering = Ordering::ACN;
    static int channelsFor(int order) { return (order + 1) * (order + 1); }
    bool operator==(const AmbisonicFormat&) const = default;
};

class AmbisonicDecoder {
public:
    // Throws Error "VaunPlayback" for an order outside 1..3.
    explicit AmbisonicDecoder(AmbisonicFormat format);

    const AmbisonicFormat& format() const { return format_; }
    std::size_t channels() const { return channels_; }
    // The virtual layout, evenly around the sphere; more speakers for higher orders.
    const std::vector<SourcePosition>& speakers() const { return speakers_; }
    // What file channel `channel` contributes to speaker `speaker`.
    float gain(std::size_t speaker, std::size_t channel) const { return gains_[speaker * channels_ + channel]; }

    // feeds[s][i] = sum over c of gain(s, c) * field[c][i], for i < frames. `field` holds
    // channels() planes in the format's own order.
    void decode(const float* const* field, std::uint32_t frames, float* const* feeds) const;

private:
    AmbisonicFormat format_;
    std::size_t channels_;
    std::vector<SourcePosition> speakers_;
    std::vector<float> gains_; // speaker-major
};

} // namespace vaun
