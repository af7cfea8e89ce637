#pragma once
// The preview's background work as plain functions: they take plain values (a path, labels,
// a cancellation test) and give plain values back, and never touch the model, so they can
// run on any thread.
#include "analysis/AudioAnalysis.h"
#include "analysis/WaveformGenerator.h"
#include "common/Errors.h"
#include "inspect/AudioMetadata.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct PreviewLoader {
    static constexpr int laneBuckets = 512;
    static constexpr int maxLanes = 24;
    static constexpr int spectrogramColumns = 480;
    static constexpr const char* artworkWarning = "Embedded artwork could not be read.";

    struct Loaded {
        AudioMetadata metadata;
        std::vector<WaveformGenerator::Buckets> lanes;
    };

    using ArtworkReader = std::function<void(AudioMetadata&, const std::filesystem::path&, const CancellationTest&)>;

    // Metadata, then one lane per channel, then the artwork. Throws what the assembler or the
    // waveform pass throws, and CancellationError whenever the test answers true; a picture
    // that cannot be read only adds artworkWarning.
    static Loaded load(const std::filesystem::path& url, const CancellationTest& isCancelled,
                       const ArtworkReader& readArtwork = defaultArtworkReader());
    static ArtworkReader defaultArtworkReader();

    // round(duration × rate) (halves away from zero) × max(1, channels). A count that does not
    // fit in 64 bits (or is not a number) gives nothing: such a file is never analysed
    // unasked.
    static std::optional<std::int64_t> sampleCount(const AudioMetadata& metadata);
    // More samples than `limit` (or an uncountable file) waits for the user's request.
    static bool defersAnalysis(const AudioMetadata& metadata, std::int64_t limit);

    // The loudness analysis with weights from the file's speaker labels (the file's own map
    // when there are none). Absent when it failed or was cancelled; progress is called on
    // the calling thread.
    static std::optional<AudioAnalysis> analyze(const std::filesystem::path& url,
                                                const std::vector<std::string>& labels,
                                                const CancellationTest& isCancelled,
                                                const std::function<void(double)>& progress);
};

} // namespace vaun
