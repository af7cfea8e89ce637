#pragma once
// Objects, beds and Ambisonic sound fields of one file, mixed for headphones: each sound
// field is decoded to its virtual loudspeakers, which play as fixed sources beside the
// file's other channels through one ObjectBinauralRenderer. Runs on one thread.
#include "playback/AmbisonicDecoder.h"
#include "playback/ObjectBinauralRenderer.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace vaun {

struct SoundFieldGroup {
    std::vector<int> channels; // file channels (0-based), in the format's channel order
    AmbisonicFormat format;
};

class SceneRenderer final : public RouteRenderer {
public:
    // One track per file channel; the tracks of a sound field's channels are not used. A
    // field counts as one source in the mix, so one sound in a field plays about as loud as
    // the same sound as an object. Throws
    // Error "VaunPlayback" as ObjectBinauralRenderer does, and for a group whose channels do
    // not match its order, lie outside the file or belong to another group.
    SceneRenderer(std::vector<SourceTrack> tracks, std::vector<SoundFieldGroup> fields, double sampleRateHz,
                  std::uint32_t deviceChannels, const std::filesystem::path& sofaFile);
    // A file that is nothing but one sound field.
    static SceneRenderer soundField(AmbisonicFormat format, double sampleRateHz, std::uint32_t deviceChannels,
                                    const std::filesystem::path& sofaFile);

    std::uint32_t outputChannels() const override { return binaural_->outputChannels(); }
    // As ObjectBinauralRenderer: output frame k of a segment belongs to input frame k.
    void render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) override;
    void drain(std::vector<float>& out) override { binaural_->drain(out); }
    void restart(std::int64_t startFrame) override { binaural_->restart(startFrame); }
    void restartAt(double startSeconds) { binaural_->restartAt(startSeconds); }

private:
    static constexpr std::uint32_t kChunkFrames = 1024; // decoded at a time

    struct Field {
        AmbisonicDecoder decoder;
        std::vector<int> channels;
        std::size_t firstFeed; // its speakers' place in feeds_
    };
    std::vector<int> objectChannels_; // the file channel of each binaural source before the speakers
    std::vector<Field> fields_;
    std::unique_ptr<ObjectBinauralRenderer> binaural_;
    std::vector<std::vector<float>> feeds_; // one chunk per virtual speaker
    std::vector<float*> feedPlanes_;
    std::vector<const float*> fieldPlanes_;
    std::vector<const float*> sourcePlanes_; // objects, then every field's speakers
};

} // namespace vaun
