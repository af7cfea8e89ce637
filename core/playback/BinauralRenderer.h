#pragma once
// A speaker bed rendered for headphones by FFmpeg's sofalizer filter with a SOFA set of
// head-related impulse responses. The filter graph is built once per player (loading the set
// takes tens of milliseconds) and runs on the feeder thread only.
#include "playback/RouteRenderer.h"
#include "playback/SpeakerBed.h"

#include <filesystem>
#include <memory>
#include <string>

namespace vaun {

// The set Debian's libmysofa1 installs.
std::filesystem::path defaultHrtfPath();
// "MIT KEMAR HRTF" for libmysofa's default set (default.sofa, MIT_KEMAR_normal_pinna.sofa),
// else the file's stem.
std::string hrtfDisplayName(const std::filesystem::path& sofaFile);

class BinauralRenderer final : public RouteRenderer {
public:
    // Throws SystemError when the set is missing, DecoderError when FFmpeg cannot build the
    // renderer (no sofalizer in this FFmpeg, an unreadable set).
    BinauralRenderer(const SpeakerBed& bed, double sampleRateHz, std::uint32_t deviceChannels,
                     const std::filesystem::path& sofaFile);
    ~BinauralRenderer() override;
    BinauralRenderer(const BinauralRenderer&) = delete;
    BinauralRenderer& operator=(const BinauralRenderer&) = delete;

    std::uint32_t outputChannels() const override { return deviceChannels_; }
    void render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) override;
    void drain(std::vector<float>& out) override;
    void restart(std::int64_t) override { segmentStart_ = fed_; }

private:
    struct Graph;

    void push(const float* const* planes, std::uint32_t offset, std::uint32_t frames);
    void pull(std::vector<float>& out, std::int64_t limit);

    std::unique_ptr<Graph> graph_;
    std::uint32_t deviceChannels_;
    // Bed channels summed into each of the filter's inputs, in FFmpeg's channel order.
    std::vector<std::vector<std::uint32_t>> sources_;
    std::vector<const float*> silence_;
    std::vector<float> zeros_;
    // Input frames pushed and output frames pulled since the graph was built; output frame k
    // belongs to input frame k.
    std::int64_t fed_ = 0;
    std::int64_t taken_ = 0;
    std::int64_t segmentStart_ = 0;
};

} // namespace vaun
