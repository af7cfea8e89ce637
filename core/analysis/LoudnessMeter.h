#pragma once
// Integrated loudness and loudness range after ITU-R BS.1770 and EBU Tech 3342, in one
// streaming pass: K-weighted mean-square power per 100 ms segment, gated at the end.
#include "analysis/MeterKernels.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vaun {

// Two-stage K-weighting filter of one channel (high shelf, then high pass), in 64-bit
// transposed direct form II.
struct KWeighting {
    std::array<double, 2> s1{};
    std::array<double, 2> s2{};
    std::array<double, 3> b1{};
    std::array<double, 2> a1{};
    std::array<double, 3> b2{1.0, -2.0, 1.0};
    std::array<double, 2> a2{};

    explicit KWeighting(double rate);

    // Runs count samples through both stages and returns the sum of squared outputs.
    double sumOfSquares(const float* samples, std::int64_t count);
};

// Loudness of a mean-square power: −0.691 + 10·log10(z).
double loudnessOf(double power);

// The 10th and 95th percentiles of the gated short-term loudness (EBU Tech 3342), in LUFS:
// the band whose width is the loudness range.
struct LoudnessRangeBounds {
    double low;
    double high;
};
// From the mean-square power of each short-term block; absent when no block passes the gates.
std::optional<LoudnessRangeBounds> loudnessRangeBounds(std::span<const double> shortTermPowers);

class LoudnessMeter {
public:
    // Throws std::invalid_argument for a rate whose tenth is not a representable count.
    LoudnessMeter(double rate, std::vector<double> weights,
                  kernels::Isa isa = kernels::bestIsa());

    // One read-only pointer per channel (no more than there are weights, else
    // std::invalid_argument), each with at least `frames` samples.
    void process(const float* const* channels, std::size_t channelCount, std::int64_t frames);
    // Several meters fed `frames` frames each, their channels side by side in the filter's
    // vector lanes, which one or two channels alone leave mostly idle. The results are
    // exactly those of feeding each on its own.
    struct Feed {
        LoudnessMeter* meter;
        const float* const* channels;
        std::size_t channelCount;
    };
    static void processTogether(std::span<const Feed> feeds, std::int64_t frames);

    std::optional<double> integrated() const;
    std::optional<double> range() const;
    // The loudest 400 ms (momentary) and 3 s (short-term) block; absent when the input is
    // shorter or silent.
    std::optional<double> maxMomentary() const;
    std::optional<double> maxShortTerm() const;
    // The momentary and short-term loudness after every completed segment: value k for the
    // window ending with segment k; `absent` before the first full window, for silence and
    // at or below −70 LUFS.
    void history(std::vector<float>& momentary, std::vector<float>& shortTerm, float absent) const;

    std::int64_t segmentFrames() const { return segmentFrames_; }
    // Weighted mean-square power of each completed 100 ms segment.
    const std::vector<double>& segments() const { return segments_; }
    const std::vector<KWeighting>& filters() const { return filters_; }

private:
    // Mean power of every run of `span` consecutive segments, advanced one at a time.
    std::vector<double> blocks(std::size_t span) const;
    struct LaneBatch;
    std::int64_t untilSegmentEnds() const { return segmentFrames_ - segmentFill_; }
    void addLanes(LaneBatch& batch, const float* const* channels, std::size_t channelCount,
                  std::int64_t offset);
    // Counts frames that were filtered; closes the segment when it is full.
    void advance(std::int64_t frames);

    std::vector<KWeighting> filters_;
    std::vector<double> weights_;
    std::int64_t segmentFrames_;
    std::vector<double> segmentSums_;
    std::int64_t segmentFill_ = 0;
    std::vector<double> segments_;
    kernels::BiquadPair coefficients_;
    std::vector<std::size_t> weighted_; // channels with a weight above 0
    kernels::Isa isa_;
};

} // namespace vaun
