#pragma once
// Results of one analysis pass: loudness, peaks and the time-frequency picture.
#include <cstdint>
#include <optional>
#include <vector>

namespace vaun {

struct Spectrogram {
    std::int64_t columns = 0;
    std::int64_t rows = 0;
    double minHz = 0;
    double maxHz = 0;
    // columns × rows bytes, column after column; row 0 is the lowest frequency.
    // 0 means −100 dB or less, 255 means 0 dB or more, relative to a full-scale sine.
    std::vector<std::uint8_t> values;

    bool operator==(const Spectrogram&) const = default;

    // Centre frequency of a (possibly fractional) row; rows are log-spaced.
    double frequency(double row) const;
};

struct AudioAnalysis {
    std::optional<double> integratedLUFS;
    std::optional<double> loudnessRangeLU;
    std::optional<double> truePeakDBTP;
    std::optional<double> samplePeakDBFS;
    std::vector<std::optional<double>> channelTruePeakDBTP;
    std::optional<Spectrogram> spectrogram;
    std::optional<double> maxMomentaryLUFS;  // loudest 400 ms block
    std::optional<double> maxShortTermLUFS;  // loudest 3 s block

    bool operator==(const AudioAnalysis&) const = default;
};

} // namespace vaun
