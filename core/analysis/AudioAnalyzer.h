#pragma once
// One decoding pass that feeds every block to the loudness meter, the true-peak meter
// and the spectrogram builder.
#include "analysis/AudioAnalysis.h"
#include "common/Errors.h"
#include "decode/AudioFile.h"
#include "inspect/ChannelMap.h"

#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace vaun {

struct AudioAnalyzer {
    static constexpr std::uint32_t blockFrames = 8192;
    // Blocks decoded ahead on a thread of their own; 0 decodes on the calling thread, for
    // callers that run an analysis per core.
    std::size_t readAheadBlocks = 4;

    // Synchronous; calls isCancelled and progress on the calling thread. Throws
    // CancellationError when cancelled, and the decoder's error when the file cannot be
    // opened or read.
    AudioAnalysis analyze(const std::filesystem::path& url,
                          const std::optional<ChannelMap>& channelMap,
                          int spectrogramColumns,
                          const CancellationTest& isCancelled,
                          const std::function<void(double)>& progress = {}) const;
    // The same for a file the caller has opened already (and read the facts of).
    AudioAnalysis analyze(AudioFile file, const std::optional<ChannelMap>& channelMap, int spectrogramColumns,
                          const CancellationTest& isCancelled, const std::function<void(double)>& progress = {}) const;

    // A file's analysis, or the error that ended it.
    struct Outcome {
        AudioAnalysis analysis;
        std::exception_ptr error;
    };
    // Several files in one pass, their loudness filtering side by side (one- and
    // two-channel files leave most of its vector lanes idle); no spectrogram, no channel
    // map. Each file's outcome goes to `finished` (with its index) as soon as that file
    // is done: exactly what analyze() gives, or the error that ended it, which ends only
    // its own file. Throws CancellationError when cancelled.
    void analyzeTogether(std::vector<AudioFile> files, const CancellationTest& isCancelled,
                         const std::function<void(std::size_t, Outcome)>& finished) const;
};

} // namespace vaun
