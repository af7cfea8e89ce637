#pragma once
// The plain player for files of at most two channels, with the operations a preview's play
// button needs and per-channel meters refreshed on demand. It plays on the same path as
// the multichannel player: a mono file centred (on both of the first two outputs), a
// stereo file left and right to outputs 0 and 1 (folded together on a one-output device).
//
// Every member function is for the owner's thread, the one `executor` runs work on; the
// end of the file and failures reach it through that. A failure (the device gone, a read
// error) stops playback where the sound stopped and reaches onFailed; the next play() opens
// the device afresh.
#include "common/Errors.h"
#include "playback/AudioOutput.h"
#include "playback/Executor.h"
#include "playback/ManualOutput.h"
#include "playback/Route.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

class PlayerEngine;

class SimplePlayer {
public:
    // Opens the file and the device (or, with `manualOutput`, memory at the file's rate,
    // pulled through manualOutput()). Throws the decoder's or the device's error.
    SimplePlayer(const std::filesystem::path& url, Executor& executor,
                 std::optional<OutputFormat> manualOutput = std::nullopt);
    ~SimplePlayer();
    SimplePlayer(const SimplePlayer&) = delete;
    SimplePlayer& operator=(const SimplePlayer&) = delete;

    double duration() const { return duration_; }
    double currentTime() const;
    // Moves the position; while playing, playback continues from there.
    void setCurrentTime(double seconds);
    // After a failure, opens the device afresh; false when it cannot play (failure() says why).
    bool prepareToPlay();
    // Starts from currentTime() (from the start once at the end); false when the device
    // refuses, even opened afresh.
    bool play();
    void pause();
    // Stops; currentTime() stays where playback stopped.
    void stop();
    bool isPlaying() const;
    int numberOfChannels() const { return channels_; }

    // Takes the levels heard since the last refresh: the highest peak and the RMS over
    // them. While playing with nothing new heard the last values stay; otherwise −160.
    void updateMeters();
    // dBFS as of the last refresh; −160 for silence or a channel the file lacks.
    float peakPower(int channel) const;
    float averagePower(int channel) const;

    void setOnFailed(std::function<void(const Error&)> callback);

    PlaybackRoute route() const;
    std::int64_t underruns() const;
    // The failure that stopped playback, while it holds.
    std::optional<Error> failure() const;
    ManualOutput* manualOutput();

private:
    struct Meters;

    int channels_ = 0;
    double rate_ = 0;
    double duration_ = 0;
    std::int64_t length_ = 0;
    std::vector<float> peak_;
    std::vector<float> average_;
    std::shared_ptr<Meters> meters_;
    std::unique_ptr<PlayerEngine> engine_; // last: stopped before the rest goes
};

} // namespace vaun
