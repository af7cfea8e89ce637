#include "analysis/AudioAnalyzer.h"

#include "decode/ReadAhead.h"
#include "analysis/LoudnessMeter.h"
#include "analysis/SpectrogramBuilder.h"
#include "analysis/TruePeakMeter.h"
#include "decode/AudioFile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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

// One file's reader and meters, fed a block at a time.
class FilePass {
public:
    FilePass(AudioFile file, const std::optional<ChannelMap>& channelMap, int spectrogramColumns,
             std::size_t readAheadBlocks) {
        const auto& format = file.processingFormat();
        channels_ = format.channelCount;
        const double rate = format.sampleRateHz;
        total_ = file.length();
        if (total_ < 1 || channels_ == 0 || !(rate > 0)) return;
        loudness_.emplace(rate, loudnessWeights(channelMap, file.fileFormat(), channels_));
        truePeak_.emplace(rate, channels_);
        // The loudness history's 100 ms steps, where the true peak goes over −1 dBTP.
        truePeak_->trackOvers(loudness_->segmentFrames(), float(std::pow(10.0, -1.0 / 20.0)));
        rate_ = rate;
        spectrogram_.emplace(total_, rate, spectrogramColumns);
        // The meters see the same blocks, in the same order and cut the same way, whether
        // decoding runs ahead on a thread of its own or not.
        reader_.emplace(std::move(file), AudioAnalyzer::blockFrames, total_, readAheadBlocks);
        live_ = reader_->valid();
    }

    bool live() const { return live_; }
    const ReadAhead::Block* block() const { return block_ ? &*block_ : nullptr; }
    LoudnessMeter& loudness() { return *loudness_; }
    std::size_t channels() const { return channels_; }
    double fraction() const { return double(done_) / double(total_); }

    // Reads the next block; false (and no longer live) at the end. Rethrows the decoder's
    // error at its place.
    bool read() {
        block_.reset();
        if (!live_ || done_ >= total_) return live_ = false;
        block_ = reader_->next();
        if (!block_ || block_->frames == 0) {
            block_.reset();
            return live_ = false;
        }
        return true;
    }

    // Feeds the block to the meters, the loudness meter from frame `from` on (the frames
    // before went to it together with another file's).
    void measure(std::int64_t from = 0) {
        const auto n = std::int64_t(block_->frames);
        const float* const* planes = block_->planes;
        if (from == 0) {
            loudness_->process(planes, channels_, n);
        } else if (from < n) {
            std::vector<const float*> rest(planes, planes + channels_);
            for (auto& p : rest) p += from;
            loudness_->process(rest.data(), channels_, n - from);
        }
        truePeak_->process(planes, channels_, n);
        spectrogram_->process(planes, channels_, n);
        reader_->release(*block_);
        block_.reset();
        done_ += n;
    }

    AudioAnalysis finish() {
        if (!reader_ || !reader_->valid()) return {};
        AudioAnalysis result;
        const auto& peaks = truePeak_->truePeak();
        float loudest = 0;
        for (float p : peaks) {
            // Per channel the level is formed in single precision, as the peaks are.
            result.channelTruePeakDBTP.push_back(p > 0 ? std::optional<double>(20.0f * std::log10(p)) : std::nullopt);
            loudest = std::max(loudest, p);
        }
        result.truePeakDBTP = decibels(double(loudest));
        result.samplePeakDBFS = decibels(double(truePeak_->samplePeak()));
        result.integratedLUFS = loudness_->integrated();
        result.loudnessRangeLU = loudness_->range();
        result.maxMomentaryLUFS = loudness_->maxMomentary();
        result.maxShortTermLUFS = loudness_->maxShortTerm();
        result.spectrogram = spectrogram_->finish();
        loudness_->history(result.history.momentary, result.history.shortTerm, LoudnessHistory::absent);
        for (std::int64_t step : truePeak_->overSteps())
            result.history.truePeakOvers.push_back(double(step * loudness_->segmentFrames()) / rate_);
        return result;
    }

private:
    std::size_t channels_ = 0;
    double rate_ = 0;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    bool live_ = false;
    std::optional<LoudnessMeter> loudness_;
    std::optional<TruePeakMeter> truePeak_;
    std::optional<SpectrogramBuilder> spectrogram_;
    std::optional<ReadAhead> reader_;
    std::optional<ReadAhead::Block> block_;
};

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
    FilePass pass(std::move(file), channelMap, spectrogramColumns, readAheadBlocks);
    if (!pass.live()) return {};
    double lastReported = -1;
    while (pass.live()) {
        throwIfCancelled(isCancelled);
        if (!pass.read()) break;
        pass.measure();
        if (pass.fraction() - lastReported >= 0.02) {
            if (progress) progress(pass.fraction());
            lastReported = pass.fraction();
        }
    }
    throwIfCancelled(isCancelled);
    return pass.finish();
}

void AudioAnalyzer::analyzeTogether(std::vector<AudioFile> files, const CancellationTest& isCancelled,
                                    const std::function<void(std::size_t, Outcome)>& finished) const {
    std::vector<std::optional<FilePass>> passes(files.size());
    const auto report = [&](std::size_t i, Outcome outcome) {
        passes[i].reset();
        if (finished) finished(i, std::move(outcome));
    };
    // Each file's failure is its own; the others go on without it.
    const auto guarded = [&](std::size_t i, auto&& step) {
        try {
            step();
        } catch (const CancellationError&) {
            throw;
        } catch (...) {
            report(i, Outcome{{}, std::current_exception()});
        }
    };
    for (std::size_t i = 0; i < files.size(); ++i)
        guarded(i, [&] { passes[i].emplace(std::move(files[i]), std::nullopt, 0, readAheadBlocks); });
    std::vector<LoudnessMeter::Feed> feeds;
    for (;;) {
        throwIfCancelled(isCancelled);
        std::int64_t together = std::numeric_limits<std::int64_t>::max();
        feeds.clear();
        for (std::size_t i = 0; i < passes.size(); ++i) {
            if (passes[i])
                guarded(i, [&] {
                    if (!passes[i]->read()) report(i, Outcome{passes[i]->finish(), nullptr});
                });
            if (!passes[i]) continue;
            FilePass& pass = *passes[i];
            feeds.push_back({&pass.loudness(), pass.block()->planes, pass.channels()});
            together = std::min<std::int64_t>(together, pass.block()->frames);
        }
        if (feeds.empty()) break;
        // Up to the shortest block, the meters run side by side; the rest of each block alone.
        if (feeds.size() < 2) together = 0;
        LoudnessMeter::processTogether(feeds, together);
        for (auto& pass : passes)
            if (pass) pass->measure(together);
    }
}

} // namespace vaun
