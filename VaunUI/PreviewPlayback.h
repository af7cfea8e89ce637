#pragma once
// Playback for the preview: the simple player for files of up to two channels, the
// multichannel player above, and the 0.05 s timer that copies position (and the simple
// player's meters) into the model while playing. The multichannel player pushes its levels
// from its reporter thread; they are handed to the UI thread and applied only while that
// same player is still the current one and playing.
//
// UI thread only. Work the players post runs on `context`'s thread; the players end before
// this object does, so nothing they post outlives it.
#include "PreviewModel.h"
#include "QtExecutor.h"
#include "playback/AudioOutput.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace vaun {

class MultichannelPlayer;
class SimplePlayer;
class Error;

// The error's own message: the description of ours, FFmpeg's text for decoder errors.
QString describeError(std::exception_ptr error);

class PreviewPlayback {
public:
    static constexpr int timerIntervalMs = 50;
    static constexpr int maxMeters = 24;

    PreviewPlayback(PreviewModel& model, QObject& context);
    ~PreviewPlayback();
    PreviewPlayback(const PreviewPlayback&) = delete;
    PreviewPlayback& operator=(const PreviewPlayback&) = delete;

    // Plays or pauses `url`; after the end, plays from the beginning.
    void toggle(const std::filesystem::path& url, bool multichannel);
    // Ignores a non-finite fraction; clamps the rest to 0…1.
    void seek(double fraction);
    // Drops the players: the next play opens the file again.
    void stop();
    bool hasTimer() const { return timer_.isActive(); }
    // Players made from now on render into memory (zero fields: the file's rate and
    // channel count); absent: the device.
    void setManualOutput(std::optional<OutputFormat> format) { manualOutput_ = format; }

private:
    void toggleSimple(const std::filesystem::path& url);
    void toggleMultichannel(const std::filesystem::path& url);
    void tick();
    void startTimer(std::function<void()> step);
    void halt(double fraction);
    void reportFailure(const QString& description);
    // A failure the player reports while playing: the position stays where the sound stopped.
    void stoppedByFailure(const Error& error, double currentTime, double duration);
    double startFraction() const;
    std::optional<OutputFormat> playerOutput() const;

    PreviewModel& model_;
    QtExecutor executor_;
    QTimer timer_;
    std::function<void()> timerStep_;
    // Tells work posted by the players that this object is gone.
    std::shared_ptr<const bool> life_ = std::make_shared<const bool>(true);
    // Which multichannel player is current, for level reports that arrive late.
    std::uint64_t multiSerial_ = 0;
    std::optional<OutputFormat> manualOutput_;
    std::unique_ptr<SimplePlayer> player_;
    std::unique_ptr<MultichannelPlayer> multi_;
};

} // namespace vaun
