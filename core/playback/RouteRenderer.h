#pragma once
// Turns blocks of the file's channels (one plane each) into the device's interleaved
// frames. Runs on the feeder thread only.
#include <cstdint>
#include <vector>

namespace vaun {

class RouteRenderer {
public:
    virtual ~RouteRenderer() = default;

    virtual std::uint32_t outputChannels() const = 0;
    // Appends the output frames for `frames` frames of `planes` to `out`. A renderer with
    // inner latency may append fewer now and the rest later; over a segment it appends
    // exactly one output frame per input frame once drained.
    virtual void render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) = 0;
    // Appends the frames still held inside for the segment's input (end of the segment).
    virtual void drain(std::vector<float>& /*out*/) {}
    // A new segment starts at file frame `startFrame`: whatever is still inside belongs to the
    // old one.
    virtual void restart(std::int64_t /*startFrame*/) {}
};

// Fixed gains from file channels to outputs, no latency.
class DirectRenderer final : public RouteRenderer {
public:
    // File channel i to output i; outputs past the file's channels stay silent. Channels
    // without an output are dropped.
    static DirectRenderer inOrder(std::uint32_t fileChannels, std::uint32_t deviceChannels);
    // As a listener expects a plain player: a mono file centred on the first two outputs, a
    // stereo file folded into a single output; otherwise in order.
    static DirectRenderer centred(std::uint32_t fileChannels, std::uint32_t deviceChannels);

    std::uint32_t outputChannels() const override { return deviceChannels_; }
    void render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) override;

private:
    struct Feed {
        std::uint32_t input;
        std::uint32_t output;
        float gain;
    };
    DirectRenderer(std::uint32_t deviceChannels, std::vector<Feed> feeds)
        : deviceChannels_(deviceChannels), feeds_(std::move(feeds)) {}

    std::uint32_t deviceChannels_;
    std::vector<Feed> feeds_;
};

} // namespace vaun
