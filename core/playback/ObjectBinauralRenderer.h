#pragma once
// Sources at any direction, moving or still, rendered for headphones with libmysofa's
// interpolated responses and our own partitioned convolution. Unlike BinauralRenderer it
// takes a position track per channel and up to kMaxSources channels. Runs on one thread.
#include "playback/HrtfSet.h"
#include "playback/PartitionedConvolver.h"
#include "playback/RouteRenderer.h"

#include <filesystem>
#include <optional>
#include <unordered_map>
#include <vector>

namespace vaun {

struct SourcePosition {
    // Degrees counter-clockwise from straight ahead (90 is hard left).
    double azimuthDegrees = 0;
    // Degrees above the ear plane; negative below.
    double elevationDegrees = 0;
    // 1 is the reference distance; the level follows 1/distance, at most +6 dB nearer.
    double distance = 1;
    bool operator==(const SourcePosition&) const = default;
};

// Where one channel's sound is over the file's time. Within a block the position moves
// from where the previous block left it to the block's own, so a track without jumps is
// continuous across block boundaries.
struct SourceTrack {
    struct Block {
        double rtimeSeconds = 0;
        double durationSeconds = 0;
        SourcePosition position;
    };
    std::vector<Block> blocks; // in time order
    // Low-frequency effects: no direction, to both ears.
    bool lowFrequency = false;
    // The span of the file it sounds in (an ADM object's start and duration); outside it the
    // channel is silent, whatever it holds.
    double activeFromSeconds = 0;
    std::optional<double> activeUntilSeconds;

    // Whether it sounds anywhere in [from, to).
    bool soundsWithin(double from, double to) const {
        return to > activeFromSeconds && (!activeUntilSeconds || from < *activeUntilSeconds);
    }

    static SourceTrack fixed(SourcePosition position);
    static SourceTrack lfe();
    SourcePosition at(double seconds) const;
};

class ObjectBinauralRenderer final : public RouteRenderer {
public:
    static constexpr std::size_t kMaxSources = 128;
    static constexpr std::uint32_t kBlockFrames = 256;

    // One track per file channel; render() takes one plane per track. Throws Error "VaunPlayback" for a missing or unreadable set,
    // no tracks or more than kMaxSources. Every source plays at `sourceGain`, by default 1/sqrt(sources) so a full
    // scene is about as loud as one source; callers whose sources are parts of one sound set their own.
    ObjectBinauralRenderer(std::vector<SourceTrack> tracks, double sampleRateHz, std::uint32_t deviceChannels,
                           const std::filesystem::path& sofaFile, std::optional<float> sourceGain = std::nullopt);

    std::uint32_t outputChannels() const override { return deviceChannels_; }
    // Output frame k of a segment belongs to input frame k; a block's output follows once
    // the block is complete, the rest on drain().
    void render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) override;
    void drain(std::vector<float>& out) override;
    // Positions follow the file's time from the segment's start on.
    void restart(std::int64_t startFrame) override;
    // As restart(), at a file time; whatever is inside is dropped.
    void restartAt(double startSeconds);

private:
    const PartitionedConvolver::Filter& filterFor(int directionKey);
    void processBlock();
    void emit(std::vector<float>& out, std::size_t frames);

    std::vector<SourceTrack> tracks_;
    double rate_;
    std::uint32_t deviceChannels_;
    float gain_;
    HrtfSet hrtf_;
    PartitionedConvolver convolver_;
    std::unordered_map<int, PartitionedConvolver::Filter> filters_;

    struct Voice {
        PartitionedConvolver::Source source;
        int direction = -1; // key of the last block's filter; -1 before the first block
        float lastGain = 0;
    };
    std::vector<Voice> voices_;
    std::vector<std::vector<float>> input_; // the block being gathered, per track
    std::vector<float> scaled_;
    std::vector<float> ears_[2];
    std::size_t gathered_ = 0;
    std::int64_t blockIndex_ = 0; // blocks since the segment started
    double startSeconds_ = 0;
    std::int64_t fed_ = 0; // input frames of this segment
};

} // namespace vaun
