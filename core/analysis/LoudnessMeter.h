#pragma once
// Integrated loudness and loudness range after ITU-R BS.1770 and EBU Tech 3342, in one
// streaming pass: K-weighted mean-square power per 100 ms segment, gated at the end.
#include <array>
#include <cstdint>
#include <optional>
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

class LoudnessMeter {
public:
    LoudnessMeter(double rate, std::vector<double> weights);

    // One read-only pointer per channel (no more than there are weights), each with
    // at least `frames` samples.
    void process(const float* const* channels, std::size_t channelCount, std::int64_t frames);

    std::optional<double> integrated() const;
    std::optional<double> range() const;

    std::int64_t segmentFrames() const { return segmentFrames_; }
    const std::vector<double>& segments() const { return segments_; }

private:
    std::vector<double> blocks(std::size_t span) const;

    std::vector<KWeighting> filters_;
    std::vector<double> weights_;
    std::int64_t segmentFrames_;
    std::vector<double> segmentSums_;
    std::int64_t segmentFill_ = 0;
    std::vector<double> segments_;
};

} // namespace vaun
