#include "PreviewPlayback.h"

#include "playback/MultichannelPlayer.h"
#include "playback/SimplePlayer.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

const char* const kContext = "vaun::AudioPreviewController";

double positionFraction(double currentTime, double duration) {
    if (!(duration > 0)) return 0;
    return std::clamp(currentTime / duration, 0.0, 1.0);
}

} // namespace

QString describeError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QCoreApplication::translate(kContext, "An unknown error occurred.");
    }
}

PreviewPlayback::PreviewPlayback(PreviewModel& model, QObject& context) : model_(model), executor_(context) {
    timer_.setInterval(timerIntervalMs);
    timer_.setTimerType(Qt::CoarseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (timerStep_) timerStep_();
    });
}

PreviewPlayback::~PreviewPlayback() {
    life_.reset();
    timer_.stop();
    if (player_) player_->stop();
    if (multi_) multi_->stop();
    // The players go now, before the executor they post to.
    player_.reset();
    multi_.reset();
}

void PreviewPlayback::toggle(const std::filesystem::path& url, bool multichannel) {
    if (multichannel) toggleMultichannel(url);
    else toggleSimple(url);
}

double PreviewPlayback::startFraction() const {
    const double fraction = model_.fraction();
    return fraction >= 1 || !(fraction >= 0) ? 0.0 : fraction;
}

std::optional<OutputFormat> PreviewPlayback::playerOutput() const {
    if (!manualOutput_) return std::nullopt;
    OutputFormat format = *manualOutput_;
    const auto& metadata = model_.metadata();
    if (format.sampleRateHz <= 0 && metadata && metadata->sampleRateHz) format.sampleRateHz = *metadata->sampleRateHz;
    if (format.channelCount == 0)
        format.channelCount = metadata && metadata->channels && *metadata->channels > 0 ? std::uint32_t(*metadata->channels) : 2;
    return format;
}

// Pause, end and failure: no timer, no meters, the position where given.
void PreviewPlayback::halt(double fraction) {
    model_.setIsPlaying(false);
    model_.setFraction(fraction);
    timer_.stop();
    timerStep_ = nullptr;
    model_.setMeterPeak({});
    model_.setMeterAverage({});
}

void PreviewPlayback::reportFailure(const QString& description) {
    model_.setErrorMessage(QCoreApplication::translate(kContext, "Playback failed: %1").arg(description));
}

void PreviewPlayback::stoppedByFailure(const Error& error, double currentTime, double duration) {
    reportFailure(QString::fromStdString(error.description()));
    halt(positionFraction(currentTime, duration));
}

void PreviewPlayback::startTimer(std::function<void()> step) {
    timerStep_ = std::move(step);
    timer_.start();
}

void PreviewPlayback::toggleSimple(const std::filesystem::path& url) {
    if (player_ && player_->isPlaying()) {
        player_->pause();
        // Resume exactly where the sound stopped, not at the last tick.
        halt(positionFraction(player_->currentTime(), player_->duration()));
        return;
    }
    try {
        if (!player_) {
            auto player = std::make_unique<SimplePlayer>(url, executor_, playerOutput());
            SimplePlayer* p = player.get();
            player->setOnFailed([this, p](const Error& error) {
                if (player_.get() == p) stoppedByFailure(error, p->currentTime(), p->duration());
            });
            player_ = std::move(player);
        }
        player_->setCurrentTime(player_->duration() * startFraction());
        if (!player_->prepareToPlay() || !player_->play())
            throw VaunError(2, QCoreApplication::translate(kContext, "The audio device could not start playback.")
                                   .toStdString());
    } catch (...) {
        reportFailure(describeError(std::current_exception()));
        stop();
        return;
    }
    model_.setIsPlaying(true);
    startTimer([this] { tick(); });
}

void PreviewPlayback::toggleMultichannel(const std::filesystem::path& url) {
    if (multi_ && multi_->isPlaying()) {
        const double t = multi_->pause();
        halt(positionFraction(t, multi_->duration()));
        return;
    }
    try {
        if (!multi_) {
            MultichannelPlayer::Options options;
            if (model_.metadata()) options.ambisonics = model_.metadata()->ambisonics;
            auto multi = std::make_unique<MultichannelPlayer>(url, executor_, playerOutput(), std::move(options));
            const std::uint64_t serial = ++multiSerial_;
            MultichannelPlayer* m = multi.get();
            std::weak_ptr<const bool> life = life_;
            QtExecutor& executor = executor_;
            // Called on the reporter thread.
            multi->setOnLevels([this, life, serial, &executor](const std::vector<float>& peaks,
                                                               const std::vector<float>& averages) {
                executor.post([this, life, serial, peaks, averages] {
                    if (life.expired() || serial != multiSerial_ || !multi_ || !multi_->isPlaying()) return;
                    model_.setMeterPeak(QVector<float>(peaks.begin(), peaks.end()));
                    model_.setMeterAverage(QVector<float>(averages.begin(), averages.end()));
                });
            });
            multi->setOnFinished([this, m] {
                if (multi_.get() == m) halt(1.0);
            });
            multi->setOnFailed([this, m](const Error& error) {
                if (multi_.get() == m) stoppedByFailure(error, m->currentTime(), m->duration());
            });
            multi_ = std::move(multi);
            model_.setPlaybackRoute(QString::fromStdString(multi_->route().summary()));
        }
        multi_->play(multi_->duration() * startFraction());
        // A device opened afresh after a failure may route differently.
        model_.setPlaybackRoute(QString::fromStdString(multi_->route().summary()));
    } catch (...) {
        reportFailure(describeError(std::current_exception()));
        stop();
        return;
    }
    model_.setIsPlaying(true);
    startTimer([this] {
        if (multi_ && multi_->isPlaying() && multi_->duration() > 0)
            model_.setFraction(std::min(multi_->currentTime() / multi_->duration(), 1.0));
    });
}

void PreviewPlayback::tick() {
    if (!player_ || !player_->isPlaying()) {
        halt(1.0);
        return;
    }
    const double duration = player_->duration();
    model_.setFraction(duration > 0 ? std::min(player_->currentTime() / duration, 1.0) : 0.0);
    player_->updateMeters();
    const int n = std::min(player_->numberOfChannels(), maxMeters);
    QVector<float> peaks, averages;
    peaks.reserve(n);
    averages.reserve(n);
    for (int i = 0; i < n; ++i) {
        peaks.push_back(player_->peakPower(i));
        averages.push_back(player_->averagePower(i));
    }
    model_.setMeterPeak(peaks);
    model_.setMeterAverage(averages);
}

void PreviewPlayback::seek(double fraction) {
    if (!std::isfinite(fraction)) return;
    const double f = std::clamp(fraction, 0.0, 1.0);
    model_.setFraction(f);
    if (player_) player_->setCurrentTime(player_->duration() * f);
    if (multi_ && multi_->isPlaying()) {
        try {
            multi_->play(multi_->duration() * f);
        } catch (...) {
            // Still playing where it was: nothing to tell. Stopped: say so, or the preview
            // would claim to play while nothing does.
            if (!multi_->isPlaying()) {
                reportFailure(describeError(std::current_exception()));
                halt(positionFraction(multi_->currentTime(), multi_->duration()));
            }
        }
    }
}

void PreviewPlayback::stop() {
    if (player_) {
        player_->stop();
        player_.reset();
    }
    if (multi_) {
        multi_->stop();
        multi_.reset();
    }
    model_.setPlaybackRoute(std::nullopt);
    timer_.stop();
    timerStep_ = nullptr;
    model_.setIsPlaying(false);
    model_.setFraction(0);
    model_.setMeterPeak({});
    model_.setMeterAverage({});
}

} // namespace vaun
