#include "playback/SimplePlayer.h"

#include "decode/AudioFile.h"
#include "playback/FrameTime.h"
#include "playback/LevelMeter.h"
#include "playback/OutputChoice.h"
#include "playback/PlaybackEngine.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace vaun {

// Levels heard since the last refresh, gathered on the reporter thread.
struct SimplePlayer::Meters {
    std::mutex mutex;
    std::vector<float> peakDB;    // highest peak
    std::vector<double> power;    // sum of mean squares
    int readings = 0;

    explicit Meters(int channels) : peakDB(std::size_t(channels), -160.0f), power(std::size_t(channels), 0.0) {}

    void add(const std::vector<float>& peaks, const std::vector<float>& averages) {
        std::lock_guard lock(mutex);
        for (std::size_t c = 0; c < peakDB.size() && c < peaks.size(); ++c) {
            peakDB[c] = std::max(peakDB[c], peaks[c]);
            power[c] += std::pow(10.0, double(averages[c]) / 10.0);
        }
        ++readings;
    }
};

SimplePlayer::SimplePlayer(const std::filesystem::path& url, Executor& executor, std::optional<OutputFormat> manualOutput)
    : shared_(std::make_shared<Shared>()) {
    AudioFile file(url);
    const AudioFormat& format = file.processingFormat();
    channels_ = int(format.channelCount);
    rate_ = format.sampleRateHz;
    length_ = std::max<std::int64_t>(file.length(), 0);
    duration_ = rate_ > 0 ? double(length_) / rate_ : 0.0;
    peak_.assign(std::size_t(channels_), -160.0f);
    average_.assign(std::size_t(channels_), -160.0f);
    meters_ = std::make_shared<Meters>(channels_);

    ChosenOutput chosen = chooseOutput(rate_, manualOutput);
    manual_ = chosen.manual;
    const auto devices = chosen.output->format().channelCount;
    route_ = PlaybackRoute::discrete(channels_, int(devices));
    auto renderer = std::make_unique<DirectRenderer>(DirectRenderer::centred(std::uint32_t(channels_), devices));

    PlaybackEngine::Callbacks callbacks;
    callbacks.levels = [meters = meters_](const std::vector<float>& peaks, const std::vector<float>& averages) {
        meters->add(peaks, averages);
    };
    callbacks.segmentEnded = [&executor, weak = std::weak_ptr<Shared>(shared_), end = length_](std::uint16_t segment) {
        executor.post([weak, segment, end] {
            const auto shared = weak.lock();
            if (!shared || std::uint16_t(shared->token) != segment || !shared->isPlaying) return;
            shared->isPlaying = false;
            shared->position = end;
        });
    };
    engine_ = std::make_unique<PlaybackEngine>(std::move(file), std::move(renderer), std::move(chosen.output),
                                               manual_ ? PlaybackEngine::Mode::Manual : PlaybackEngine::Mode::RealTime,
                                               std::move(callbacks));
}

SimplePlayer::~SimplePlayer() = default;

double SimplePlayer::currentTime() const {
    return secondsForFrame(shared_->isPlaying ? engine_->positionFrames() : shared_->position, rate_);
}

void SimplePlayer::setCurrentTime(double seconds) {
    const std::int64_t frame = frameAtSeconds(seconds, rate_, length_);
    if (shared_->isPlaying) startAt(frame);
    else shared_->position = frame;
}

bool SimplePlayer::prepareToPlay() { return !engine_->output().failed(); }

bool SimplePlayer::play() {
    if (shared_->isPlaying) return true;
    try {
        startAt(shared_->position >= length_ ? 0 : shared_->position);
    } catch (const std::exception&) {
        return false;
    }
    shared_->isPlaying = true;
    return true;
}

void SimplePlayer::pause() {
    if (!shared_->isPlaying) return;
    ++shared_->token;
    shared_->isPlaying = false;
    shared_->position = engine_->halt();
}

void SimplePlayer::stop() {
    if (engine_->isRunning()) shared_->position = engine_->halt();
    ++shared_->token;
    shared_->isPlaying = false;
}

bool SimplePlayer::isPlaying() const { return shared_->isPlaying; }

void SimplePlayer::startAt(std::int64_t frame) {
    const std::int64_t token = ++shared_->token;
    engine_->start(frame, std::uint16_t(token));
}

void SimplePlayer::updateMeters() {
    std::lock_guard lock(meters_->mutex);
    if (meters_->readings > 0) {
        for (std::size_t c = 0; c < peak_.size(); ++c) {
            peak_[c] = meters_->peakDB[c];
            const double meanSquare = meters_->power[c] / meters_->readings;
            average_[c] = meanSquare > 0 ? float(10.0 * std::log10(meanSquare)) : -160.0f;
        }
        std::fill(meters_->peakDB.begin(), meters_->peakDB.end(), -160.0f);
        std::fill(meters_->power.begin(), meters_->power.end(), 0.0);
        meters_->readings = 0;
    } else if (!shared_->isPlaying) {
        std::fill(peak_.begin(), peak_.end(), -160.0f);
        std::fill(average_.begin(), average_.end(), -160.0f);
    }
}

float SimplePlayer::peakPower(int channel) const {
    return channel >= 0 && std::size_t(channel) < peak_.size() ? peak_[std::size_t(channel)] : -160.0f;
}

float SimplePlayer::averagePower(int channel) const {
    return channel >= 0 && std::size_t(channel) < average_.size() ? average_[std::size_t(channel)] : -160.0f;
}

std::int64_t SimplePlayer::underruns() const { return engine_->underruns(); }

std::optional<std::string> SimplePlayer::failure() const { return engine_->failure(); }

} // namespace vaun
