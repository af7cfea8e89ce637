#include "playback/MultichannelPlayer.h"

#include "common/Errors.h"
#include "decode/AudioFile.h"
#include "playback/BinauralRenderer.h"
#include "playback/FrameTime.h"
#include "playback/OutputChoice.h"
#include "playback/PlaybackEngine.h"

#include <mutex>

namespace vaun {

// The owner's level callback, set from the owner's thread and called on the reporter's.
struct MultichannelPlayer::LevelSink {
    std::mutex mutex;
    LevelsCallback callback;

    void deliver(const std::vector<float>& peaks, const std::vector<float>& averages) {
        LevelsCallback f;
        {
            std::lock_guard lock(mutex);
            f = callback;
        }
        if (f) f(peaks, averages);
    }
};

MultichannelPlayer::Options::Options() : hrtfFile(defaultHrtfPath()) {}

MultichannelPlayer::MultichannelPlayer(const std::filesystem::path& url, Executor& executor,
                                       std::optional<OutputFormat> manualOutput, Options options)
    : executor_(executor), shared_(std::make_shared<Shared>()), levels_(std::make_shared<LevelSink>()) {
    AudioFile file(url);
    const AudioFormat& format = file.processingFormat();
    const int channels = int(format.channelCount);
    rate_ = format.sampleRateHz;
    length_ = std::max<std::int64_t>(file.length(), 0);
    duration_ = rate_ > 0 ? double(length_) / rate_ : 0.0;

    ChosenOutput chosen = chooseOutput(rate_, manualOutput);
    manual_ = chosen.manual;
    const auto devices = int(chosen.output->format().channelCount);

    std::unique_ptr<RouteRenderer> renderer;
    if (devices < channels) {
        const auto bed = bedLayout(channels, format.channelLayout);
        if (!bed) throw noSpeakerLayout(channels);
        renderer = std::make_unique<BinauralRenderer>(*bed, rate_, std::uint32_t(devices), options.hrtfFile);
        route_ = Route::binaural(bed->name, hrtfDisplayName(options.hrtfFile));
    } else {
        renderer = std::make_unique<DirectRenderer>(DirectRenderer::inOrder(std::uint32_t(channels), std::uint32_t(devices)));
        route_ = Route::discrete(channels, devices);
    }

    PlaybackEngine::Callbacks callbacks;
    callbacks.levels = [sink = levels_](const std::vector<float>& peaks, const std::vector<float>& averages) {
        sink->deliver(peaks, averages);
    };
    // Completions go to the owner's thread; only the current segment's, while playing, count.
    callbacks.segmentEnded = [&executor, weak = std::weak_ptr<Shared>(shared_)](std::uint16_t segment) {
        executor.post([weak, segment] {
            const auto shared = weak.lock();
            if (!shared || std::uint16_t(shared->scheduledToken) != segment || !shared->isPlaying) return;
            shared->isPlaying = false;
            if (shared->onFinished) shared->onFinished();
        });
    };
    engine_ = std::make_unique<PlaybackEngine>(std::move(file), std::move(renderer), std::move(chosen.output),
                                               manual_ ? PlaybackEngine::Mode::Manual : PlaybackEngine::Mode::RealTime,
                                               std::move(callbacks));
}

MultichannelPlayer::~MultichannelPlayer() = default;

void MultichannelPlayer::play(double fromSeconds) {
    startFrame_ = frameAtSeconds(fromSeconds, rate_, length_ - 1);
    const std::int64_t token = ++shared_->scheduledToken;
    engine_->start(startFrame_, std::uint16_t(token));
    shared_->isPlaying = true;
}

double MultichannelPlayer::pause() {
    const double t = currentTime();
    shared_->isPlaying = false;
    ++shared_->scheduledToken;
    engine_->halt();
    startFrame_ = frameAtSeconds(t, rate_, length_);
    return t;
}

void MultichannelPlayer::stop() {
    shared_->isPlaying = false;
    ++shared_->scheduledToken;
    engine_->halt();
}

double MultichannelPlayer::currentTime() const {
    return secondsForFrame(engine_->isRunning() ? engine_->positionFrames() : startFrame_, rate_);
}

bool MultichannelPlayer::isPlaying() const { return shared_->isPlaying; }

void MultichannelPlayer::setOnLevels(LevelsCallback callback) {
    std::lock_guard lock(levels_->mutex);
    levels_->callback = std::move(callback);
}

void MultichannelPlayer::setOnFinished(std::function<void()> callback) { shared_->onFinished = std::move(callback); }

std::int64_t MultichannelPlayer::underruns() const { return engine_->underruns(); }

std::optional<std::string> MultichannelPlayer::failure() const { return engine_->failure(); }

} // namespace vaun
