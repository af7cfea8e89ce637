#pragma once
// Live levels: peak and RMS per channel over blocks of frames, in dBFS.
#include <cstdint>
#include <vector>

namespace vaun {

// 20 × log10(linear) in 32-bit floating point; −160 for 0.
float levelDecibels(float linear);

// Gathers the peak and the sum of squares of each channel until taken. Allocates only when made.
class LevelAccumulator {
public:
    explicit LevelAccumulator(std::uint32_t channelCount);

    // Adds `frames` frames starting at `offset` of each plane.
    void add(const float* const* planes, std::uint32_t offset, std::uint32_t frames);
    std::uint32_t frames() const { return frames_; }
    std::uint32_t channelCount() const { return std::uint32_t(peak_.size()); }
    // Writes the dBFS peak and RMS of every channel (−160 for silence or no frames) and
    // starts over.
    void take(float* peaks, float* averages);
    void reset();

private:
    std::vector<float> peak_;
    std::vector<double> sumOfSquares_;
    std::uint32_t frames_ = 0;
};

} // namespace vaun
