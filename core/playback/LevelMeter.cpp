#include "playback/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace vaun {

float levelDecibels(float linear) {
    if (!(linear > 0.0f)) return -160.0f;
    return 20.0f * std::log10(linear);
}

LevelAccumulator::LevelAccumulator(std::uint32_t channelCount) : peak_(channelCount), sumOfSquares_(channelCount) {}

void LevelAccumulator::add(const float* const* planes, std::uint32_t offset, std::uint32_t frames) {
    for (std::size_t c = 0; c < peak_.size(); ++c) {
        const float* p = planes[c] + offset;
        float peak = peak_[c];
        double sum = 0;
        for (std::uint32_t i = 0; i < frames; ++i) {
            peak = std::max(peak, std::fabs(p[i]));
            sum += double(p[i]) * double(p[i]);
        }
        peak_[c] = peak;
        sumOfSquares_[c] += sum;
    }
    frames_ += frames;
}

void LevelAccumulator::take(float* peaks, float* averages) {
    for (std::size_t c = 0; c < peak_.size(); ++c) {
        peaks[c] = levelDecibels(peak_[c]);
        averages[c] = frames_ == 0 ? -160.0f : levelDecibels(float(std::sqrt(sumOfSquares_[c] / frames_)));
    }
    reset();
}

void LevelAccumulator::reset() {
    std::fill(peak_.begin(), peak_.end(), 0.0f);
    std::fill(sumOfSquares_.begin(), sumOfSquares_.end(), 0.0);
    frames_ = 0;
}

} // namespace vaun
