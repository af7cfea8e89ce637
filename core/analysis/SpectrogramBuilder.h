#pragma once
// Up to `columns` spectra of 2048-frame Hann-windowed windows of the mono mix, spread
// evenly over the file, reduced to 160 log-spaced rows from 20 Hz to min(rate/2, 24 kHz)
// and quantised to a byte on a 100 dB scale. Frames between columns are skipped.
#include "analysis/AudioAnalysis.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vaun {

class SpectrogramBuilder {
public:
    static constexpr int fftSize = 2048;
    static constexpr int log2n = 11;
    static constexpr int rows = 160;
    static constexpr double minHz = 20.0;

    SpectrogramBuilder(std::int64_t totalFrames, double rate, int columns);
    ~SpectrogramBuilder();
    SpectrogramBuilder(const SpectrogramBuilder&) = delete;
    SpectrogramBuilder& operator=(const SpectrogramBuilder&) = delete;

    // One read-only pointer per channel (at least one, else std::invalid_argument); blocks
    // arrive in time order without gaps.
    void process(const float* const* channels, std::size_t channelCount, std::int64_t frames);
    // Called once, after the last block; releases the transform.
    std::optional<Spectrogram> finish();

    // Planned first frame of each column.
    const std::vector<std::int64_t>& starts() const { return starts_; }
    std::int64_t columns() const { return std::int64_t(starts_.size()); }
    double maxHz() const { return maxHz_; }

private:
    struct FFT; // FFTW plan and its buffers
    void computeColumn();

    std::vector<std::int64_t> starts_;
    double rate_;
    double maxHz_;
    std::unique_ptr<FFT> setup_;
    std::vector<float> window_;
    std::vector<float> collect_;
    std::int64_t collecting_ = -1;
    std::int64_t nextColumn_ = 0;
    std::int64_t position_ = 0;
    std::vector<std::uint8_t> values_;
    // FFT bins lo … hi (inclusive) that each row takes its maximum over.
    std::array<int, rows> bandLow_{};
    std::array<int, rows> bandHigh_{};
    float windowSum_ = 0;
};

} // namespace vaun
