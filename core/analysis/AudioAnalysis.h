#pragma once
// Results of one analysis pass: loudness, peaks and the time-frequency picture.
#include <cstdint>
#include <limits>
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

// Loudness every 100 ms over the whole file (EBU Tech 3341's "EBU mode" timing).
struct LoudnessHistory {
    static constexpr double interval = 0.1; // seconds between values
    // A value that is not there: below −70 LUFS, or before the first full window.
    static constexpr float absent = -std::numeric_limits<float>::infinity();

    // Value k is the loudness (LUFS) of the window that ends (k + 1) × interval into the
    // file: 400 ms for momentary, 3 s for short-term.
    std::vector<float> momentary;
    std::vector<float> shortTerm;
    // Start times (seconds) of the 100 ms steps whose true peak exceeds −1 dBTP, in order.
    std::vector<double> truePeakOvers;

    bool operator==(const LoudnessHistory&) const = default;
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
    LoudnessHistory history;

    bool operator==(const AudioAnalysis&) const = default;
};

} // namespace vaun
