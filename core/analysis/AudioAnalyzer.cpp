#include "analysis/AudioAnalyzer.h"

#include "decode/ReadAhead.h"
#include "analysis/LoudnessMeter.h"
#include "analysis/SpectrogramBuilder.h"
#include "analysis/TruePeakMeter.h"
#include "decode/AudioFile.h"

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

std::vector<double> loudnessWeights(const std::optional<ChannelMap>& channelMap, const AudioFormat& fileFormat,
                                    std::size_t channels) {
    std::vector<double> weights = channelMap ? channelMap->weights : ChannelMap::resolve(fileFormat).weights;
    if (weights.size() != channels) {
        weights.clear();
        for (const auto& label : ChannelMap::defaultLabels(int(channels))) weights.push_back(ChannelMap::weight(label));
        weights.resize(channels, 1.0);
    }
    return weights;
}

std::optional<double> decibels(double linear) {
    if (linear > 0) return 20.0 * std::log10(linear);
    return std::nullopt;
}

} // namespace

AudioAnalysis AudioAnalyzer::analyze(const std::filesystem::path& url, const std::optional<ChannelMap>& channelMap,
                                     int spectrogramColumns, const CancellationTest& isCancelled,
                                     const std::function<void(double)>& progress) const {
    throwIfCancelled(isCancelled);
    return analyze(AudioFile(url), channelMap, spectrogramColumns, isCancelled, progress);
}

AudioAnalysis AudioAnalyzer::analyze(AudioFile file, const std::optional<ChannelMap>& channelMap, int spectrogramColumns,
                                     const CancellationTest& isCancelled,
                                     const std::function<void(double)>& progress) const {
    const auto& format = file.processingFormat();
    const std::size_t channels = format.channelCount;
    const double rate = format.sampleRateHz;
    const std::int64_t total = file.length();
    if (total < 1 || channels == 0 || !(rate > 0)) return {};

    LoudnessMeter loudness(rate, loudnessWeights(channelMap, file.fileFormat(), channels));
    TruePeakMeter truePeak(rate, channels);
    SpectrogramBuilder spectrogram(total, rate, spectrogramColumns);

    // Decoding runs one block ahead on its own thread; the meters see the same blocks,
    // in the same order and cut the same way, as a plain sequential loop would give them.
    ReadAhead reader(std::move(file), blockFrames, total, readAheadBlocks);
    if (!reader.valid()) return {};

    std::int64_t done = 0;
    double lastReported = -1;
    while (done < total) {
        throwIfCancelled(isCancelled);
        const auto block = reader.next(); // rethrows the decoder's error at its place
        if (!block || block->frames == 0) break;
        const auto n = std::int64_t(block->frames);
        const float* const* planes = block->planes;
        loudness.process(planes, channels, n);
        truePeak.process(planes, channels, n);
        spectrogram.process(planes, channels, n);
        reader.release(*block);

        done += n;
        const double fraction = double(done) / double(total);
        if (fraction - lastReported >= 0.02) {
            if (progress) progress(fraction);
            lastReported = fraction;
        }
    }
    throwIfCancelled(isCancelled);

    AudioAnalysis result;
    const auto& peaks = truePeak.truePeak();
    float loudest = 0;
    for (float p : peaks) {
        // Per channel the level is formed in single precision, as the peaks are.
        result.channelTruePeakDBTP.push_back(p > 0 ? std::optional<double>(20.0f * std::log10(p)) : std::nullopt);
        loudest = std::max(loudest, p);
    }
    result.truePeakDBTP = decibels(double(loudest));
    result.samplePeakDBFS = decibels(double(truePeak.samplePeak()));
    result.integratedLUFS = loudness.integrated();
    result.loudnessRangeLU = loudness.range();
    result.maxMomentaryLUFS = loudness.maxMomentary();
    result.maxShortTermLUFS = loudness.maxShortTerm();
    result.spectrogram = spectrogram.finish();
    return result;
}

} // namespace vaun
