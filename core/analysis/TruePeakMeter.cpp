#include "analysis/TruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace vaun {

namespace {

constexpr std::int64_t skipStretch = 64;
// A stretch's skipping bound takes the eleven inputs before it from the stretch before.
static_assert(skipStretch >= TruePeakMeter::taps - 1);

// Windowed-sinc prototype of 12 × factor taps split into `factor` phases, each scaled to
// unit gain at 0 Hz and stored reversed. The prototype's centre falls between two taps,
// so the phases interpolate at odd multiples of 1 / (2 × factor) of a sample period.
std::vector<std::vector<float>> designPhases(int factor) {
    const int length = TruePeakMeter::taps * factor;
    const double centre = double(length - 1) / 2.0;
    std::vector<float> prototype(static_cast<std::size_t>(length));
    for (int n = 0; n < length; ++n) {
        const double t = (double(n) - centre) / double(factor);
        const double sinc = t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        const double span = double(length - 1);
        const double blackman = 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * double(n) / span) +
                                0.08 * std::cos(4.0 * std::numbers::pi * double(n) / span);
        prototype[std::size_t(n)] = float(blackman * sinc);
    }
    std::vector<std::vector<float>> phases;
    for (int p = 0; p < factor; ++p) {
        std::vector<float> phase;
        for (int j = 0; j < TruePeakMeter::taps; ++j) phase.push_back(prototype[std::size_t(p + j * factor)]);
        float sum = 0.0f;
        for (float c : phase) sum += c;
        if (sum != 0.0f)
            for (float& c : phase) c /= sum;
        std::reverse(phase.begin(), phase.end());
        phases.push_back(std::move(phase));
    }
    return phases;
}

} // namespace

int truePeakFactor(double rate) {
    if (rate < 95040.0) return 4;
    if (rate < 190080.0) return 2;
    return 1;
}

TruePeakMeter::TruePeakMeter(double rate, std::size_t channels, kernels::Isa isa)
    : factor_(truePeakFactor(rate)),
      phases_(designPhases(factor_)),
      history_(channels, std::vector<float>(taps - 1, 0.0f)),
      truePeak_(channels, 0.0f),
      isa_(isa) {
    for (const auto& phase : phases_) {
        flatPhases_.insert(flatPhases_.end(), phase.begin(), phase.end());
        double sum = 0;
        for (float c : phase) sum += std::fabs(double(c));
        gainBound_ = std::max(gainBound_, sum);
    }
    // Room for the kernel's single-precision rounding over twelve products.
    gainBound_ *= 1.0 + 1e-4;
}

void TruePeakMeter::trackOvers(std::int64_t stepFrames, float threshold) {
    stepFrames_ = std::max<std::int64_t>(0, stepFrames);
    threshold_ = threshold;
}

void TruePeakMeter::process(const float* const* channels, std::size_t channelCount, std::int64_t frames) {
    if (channelCount > truePeak_.size()) throw std::invalid_argument("more channels than the meter was made for");
    if (frames <= 0) return;
    constexpr std::int64_t reachBack = taps - 1;
    if (factor_ > 1 && scratch_.empty()) scratch_.assign(std::size_t(reachBack + skipStretch), 0.0f);
    const bool tracking = stepFrames_ > 0;
    const std::int64_t firstStep = tracking ? position_ / stepFrames_ : 0;
    if (tracking) blockOvers_.assign(std::size_t((position_ + frames - 1) / stepFrames_ - firstStep + 1), 0);
    const auto over = [&](std::int64_t k) -> std::uint8_t& {
        return blockOvers_[std::size_t((position_ + k) / stepFrames_ - firstStep)];
    };
    for (std::size_t i = 0; i < channelCount; ++i) {
        const float* samples = channels[i];
        std::vector<float>& history = history_[i];
        float& peak = truePeak_[i];
        // No interpolated value exceeds the largest of its twelve inputs times the phases'
        // largest absolute sum, so a stretch whose inputs cannot raise the peak (nor, when
        // overs are tracked, make its step one) is not interpolated. `before` bounds the
        // eleven inputs before a stretch.
        float before = factor_ > 1 ? kernels::maxMagnitude(history.data(), reachBack, isa_) : 0.0f;
        for (std::int64_t k = 0, length = 0; k < frames; k += length) {
            length = std::min(skipStretch, frames - k);
            // Stretches end at step boundaries, so each belongs to one step.
            if (tracking) length = std::min(length, stepFrames_ - (position_ + k) % stepFrames_);
            const float m = kernels::maxMagnitude(samples + k, length, isa_);
            peak = m > peak ? m : peak;
            samplePeak_ = m > samplePeak_ ? m : samplePeak_;
            if (factor_ == 1) {
                if (tracking && m > threshold_) over(k) = 1;
                continue;
            }
            const float reach = std::max(m, before);
            before = length >= reachBack ? m : reach;
            const double bound = double(reach) * gainBound_;
            const bool mayBeOver = tracking && bound > double(threshold_) && !over(k);
            if (bound <= double(peak) && !mayBeOver) continue;
            const float* from = samples + k - reachBack;
            if (k < reachBack) {
                std::copy(history.begin() + k, history.end(), scratch_.begin());
                std::copy(samples, samples + k + length, scratch_.begin() + (reachBack - k));
                from = scratch_.data();
            }
            const float between = kernels::polyphasePeak(from, length, flatPhases_.data(), factor_, isa_);
            peak = between > peak ? between : peak;
            if (tracking && std::max(m, between) > threshold_) over(k) = 1;
        }
        if (factor_ == 1) continue;
        if (frames >= reachBack) {
            std::copy(samples + frames - reachBack, samples + frames, history.begin());
        } else {
            std::copy(history.begin() + frames, history.end(), history.begin());
            std::copy(samples, samples + frames, history.end() - frames);
        }
    }
    if (tracking)
        for (std::size_t s = 0; s < blockOvers_.size(); ++s)
            // A step split between two blocks is noted once.
            if (blockOvers_[s] && (overs_.empty() || overs_.back() < firstStep + std::int64_t(s)))
                overs_.push_back(firstStep + std::int64_t(s));
    position_ += frames;
}

} // namespace vaun
