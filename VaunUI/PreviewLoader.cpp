#include "PreviewLoader.h"

#include "analysis/AudioAnalyzer.h"
#include "inspect/ChannelMap.h"
#include "inspect/MetadataAssembler.h"

#include <cmath>

namespace vaun {

PreviewLoader::ArtworkReader PreviewLoader::defaultArtworkReader() {
    return [](AudioMetadata& record, const std::filesystem::path& url, const CancellationTest& isCancelled) {
        MetadataAssembler::addArtwork(record, url, isCancelled);
    };
}

PreviewLoader::Loaded PreviewLoader::load(const std::filesystem::path& url, const CancellationTest& isCancelled,
                                          const ArtworkReader& readArtwork) {
    Loaded loaded;
    loaded.metadata = MetadataAssembler::assemble(url, isCancelled);
    loaded.lanes = WaveformGenerator().generateChannels(url, laneBuckets, maxLanes, isCancelled);
    try {
        readArtwork(loaded.metadata, url, isCancelled);
    } catch (const CancellationError&) {
        throw;
    } catch (...) {
        // A picture is decoration: the sound and its facts are still worth showing.
        loaded.metadata.warnings.emplace_back(artworkWarning);
    }
    throwIfCancelled(isCancelled);
    return loaded;
}

std::optional<std::int64_t> PreviewLoader::sampleCount(const AudioMetadata& metadata) {
    const double product = metadata.durationSeconds.value_or(0.0) * metadata.sampleRateHz.value_or(0.0);
    // llround is only defined for results that fit; 2^63 itself does not.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(product) || product >= limit || product <= -limit) return std::nullopt;
    const std::int64_t samples = std::llround(product);
    const std::int64_t channelFactor = metadata.channels && *metadata.channels >= 1 ? *metadata.channels : 1;
    std::int64_t total = 0;
    if (__builtin_mul_overflow(samples, channelFactor, &total)) return std::nullopt;
    return total;
}

bool PreviewLoader::defersAnalysis(const AudioMetadata& metadata, std::int64_t limit) {
    const auto samples = sampleCount(metadata);
    return !samples || *samples > limit;
}

std::optional<AudioAnalysis> PreviewLoader::analyze(const std::filesystem::path& url,
                                                    const std::vector<std::string>& labels,
                                                    const CancellationTest& isCancelled,
                                                    const std::function<void(double)>& progress) {
    std::optional<ChannelMap> map;
    if (!labels.empty()) {
        ChannelMap m;
        m.labels = labels;
        for (const auto& label : labels) m.weights.push_back(ChannelMap::weight(label));
        map = std::move(m);
    }
    try {
        return AudioAnalyzer().analyze(url, map, spectrogramColumns, isCancelled, progress);
    } catch (...) {
        // The caller tells a cancellation apart by its own flag; failures are not itemised.
        return std::nullopt;
    }
}

} // namespace vaun
