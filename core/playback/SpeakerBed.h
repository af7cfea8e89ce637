#pragma once
// Speaker beds for binaural playback: which loudspeaker layout a file's channels are taken
// to feed when the device has too few outputs, and where each of those speakers stands.
#include "common/Errors.h"
#include "decode/AudioFormat.h"

#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct SpeakerBed {
    AudioChannelLayout layout;
    // "5.1", or "6-channel layout from file".
    std::string name;
    // One speaker label per channel, in channel order: the metadata record's labels where it
    // has one for the speaker, else the player's own ("Lc", "Lw", "Ts", …).
    std::vector<std::string> labels;

    bool operator==(const SpeakerBed&) const = default;
};

// The file's own layout when it is a proper one for `channelCount` channels (not the
// unknown or a discrete-in-order tag) whose every speaker can be placed; else the standard
// bed for the count (3.0, Quad, 5.1, 7.1, 7.1.2, 7.1.4); absent for any other count.
std::optional<SpeakerBed> bedLayout(int channelCount, const std::optional<AudioChannelLayout>& fileLayout);

// Domain "Vaun", code 4: "No speaker layout for 16 channels; connect an interface with 16
// outputs to play it."
VaunError noSpeakerLayout(int channelCount);

// Number of channels a layout describes (tag count, bitmap bits or descriptions).
int channelCountOf(const AudioChannelLayout& layout);

struct SpeakerPlacement {
    // Degrees counter-clockwise from straight ahead (90 is hard left), 0 ≤ azimuth < 360.
    double azimuthDegrees = 0;
    // Degrees above the ear plane; negative below.
    double elevationDegrees = 0;
    // Low-frequency effects: no direction, mixed to both ears.
    bool lowFrequency = false;
    bool operator==(const SpeakerPlacement&) const = default;
};

// The binaural renderer places at most this many speakers besides the LFE channels.
inline constexpr int kMaxDirectionalSpeakers = 17;

// Positions after ITU-R BS.2051 (L/R ±30°, surrounds ±110° as in BS.775, sides ±90°, rears
// ±135°, wides ±60°, left/right of centre ±15°, the upper layer at 45°, top centre overhead,
// the bottom layer at −30°). Ls/Rs move to ±135° when the bed also has side speakers. Absent
// when a label has no known position or there are more directional speakers than can be placed.
std::optional<std::vector<SpeakerPlacement>> speakerPlacement(const std::vector<std::string>& labels);

} // namespace vaun
