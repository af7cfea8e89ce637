#pragma once
// Per-channel true peak (4× oversampling up to 95 kHz, 2× up to 190 kHz, none above)
// with a 12-tap-per-phase windowed-sinc polyphase interpolator, and the sample peak.
#include "analysis/MeterKernels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vaun {

class TruePeakMeter {
public:
    TruePeakMeter(double rate, std::size_t channels, kernels::Isa isa = kernels::bestIsa());

    // One read-only pointer per channel, no more than the channel count given at creation
    // (else std::invalid_argument).
    void process(const float* const* channels, std::size_t channelCount, std::int64_t frames);

    // From now on also notes, per step of `stepFrames` frames from the first frame
    // processed, whether a channel's true peak in it exceeds `threshold` (linear).
    void trackOvers(std::int64_t stepFrames, float threshold);
    // The steps noted, by index from 0, in order.
    const std::vector<std::int64_t>& overSteps() const { return overs_; }

    // Linear, per channel; never below the channel's own largest absolute sample.
    const std::vector<float>& truePeak() const { return truePeak_; }
    // Linear, over all channels.
    float samplePeak() const { return samplePeak_; }

    int factor() const { return factor_; }
    static constexpr int taps = 12;
    // factor() phases of 12 coefficients each, stored in reverse order.
    const std::vector<std::vector<float>>& phases() const { return phases_; }

private:
    int factor_;
    std::vector<std::vector<float>> phases_;
    std::vector<std::vector<float>> history_;
    std::vector<float> truePeak_;
    float samplePeak_ = 0;
    std::vector<float> scratch_; // a channel's history followed by the first stretch of its block
    std::vector<float> flatPhases_; // phases_ back to back, for the correlation kernel
    double gainBound_ = 0; // largest sum of absolute coefficients of a phase
    kernels::Isa isa_;
    std::int64_t stepFrames_ = 0; // 0: overs are not tracked
    float threshold_ = 0;
    std::int64_t position_ = 0; // frames processed so far
    std::vector<std::int64_t> overs_;
    std::vector<std::uint8_t> blockOvers_; // steps of the block being processed
};

// Oversampling factor for a sample rate: 4 below 95040 Hz, 2 below 190080 Hz, else 1.
int truePeakFactor(double rate);

} // namespace vaun
