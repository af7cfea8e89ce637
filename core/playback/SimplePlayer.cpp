#include "playback/SimplePlayer.h"

#include "decode/AudioFile.h"
#include "playback/FrameTime.h"
#include "playback/PlayerEngine.h"

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

    void resize(int channels) {
        std::lock_guard lock(mutex);
        peakDB.assign(std::size_t(channels), -160.0f);
        power.assign(std::size_t(channels), 0.0);
    }

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
    : meters_(std::make_shared<Meters>()) {
    auto chooseRoute = [](const AudioFormat& format, std::uint32_t devices, PlaybackRoute& route) {
        route = PlaybackRoute::discrete(int(format.channelCount), int(devices));
        return std::make_unique<DirectRenderer>(DirectRenderer::centred(format.channelCount, devices));
    };
    auto levels = [meters = meters_](const std::vector<float>& peaks, const std::vector<float>& averages) {
        meters->add(peaks, averages);
    };
    engine_ = std::make_unique<PlayerEngine>(url, executor, manualOutput, std::move(chooseRoute), std::move(levels));
    const AudioFormat& format = engine_->fileFormat();
    channels_ = int(format.channelCount);
    rate_ = format.sampleRateHz;
    length_ = engine_->lengthFrames();
    duration_ = rate_ > 0 ? double(length_) / rate_ : 0.0;
    peak_.assign(std::size_t(channels_), -160.0f);
    average_.assign(std::size_t(channels_), -160.0f);
    meters_->resize(channels_);
}

SimplePlayer::~SimplePlayer() = default;

double SimplePlayer::currentTime() const { return secondsForFrame(engine_->positionFrames(), rate_); }

void SimplePlayer::setCurrentTime(double seconds) {
    const std::int64_t frame = frameAtSeconds(seconds, rate_, length_);
    if (!engine_->isPlaying()) {
        engine_->setPosition(frame);
        return;
    }
    try {
        engine_->play(frame);
    } catch (const std::exception&) {
        // The device refused even when opened afresh: playback has stopped there.
        engine_->setPosition(frame);
    }
}

bool SimplePlayer::prepareToPlay() { return engine_->prepare(); }

bool SimplePlayer::play() {
    if (engine_->isPlaying()) return true;
    const std::int64_t position = engine_->positionFrames();
    try {
        engine_->play(position >= length_ ? 0 : position);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void SimplePlayer::pause() {
    if (engine_->isPlaying()) engine_->stop();
}

void SimplePlayer::stop() { engine_->stop(); }

bool SimplePlayer::isPlaying() const { return engine_->isPlaying(); }

void SimplePlayer::setOnFailed(std::function<void(const Error&)> callback) { engine_->onFailed = std::move(callback); }

PlaybackRoute SimplePlayer::route() const { return engine_->route(); }

ManualOutput* SimplePlayer::manualOutput() { return engine_->manualOutput(); }

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
    } else if (!engine_->isPlaying()) {
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

std::optional<Error> SimplePlayer::failure() const { return engine_->failure(); }

} // namespace vaun
