#pragma once
// The plain player for files of at most two channels, with the operations a preview's play
// button needs and per-channel meters refreshed on demand. It plays on the same path as
// the multichannel player: a mono file centred (on both of the first two outputs), a
// stereo file left and right to outputs 0 and 1 (folded together on a one-output device).
//
// Every member function is for the owner's thread, the one `executor` runs work on; the
// end of the file reaches isPlaying() through it.
#include "playback/AudioOutput.h"
#include "playback/Executor.h"
#include "playback/ManualOutput.h"
#include "playback/Route.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

class PlaybackEngine;

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
    // False when the device can no longer play.
    bool prepareToPlay();
    // Starts from currentTime(); false when the device refuses.
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

    PlaybackRoute route() const { return route_; }
    std::int64_t underruns() const;
    std::optional<std::string> failure() const;
    ManualOutput* manualOutput() { return manual_; }

private:
    // What the owner's thread and the posted end share; the end holds it weakly.
    struct Shared {
        std::int64_t token = 0;
        bool isPlaying = false;
        std::int64_t position = 0; // while not playing
    };
    struct Meters;

    void startAt(std::int64_t frame);

    int channels_ = 0;
    double rate_ = 0;
    double duration_ = 0;
    std::int64_t length_ = 0;
    PlaybackRoute route_;
    std::vector<float> peak_;
    std::vector<float> average_;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Meters> meters_;
    ManualOutput* manual_ = nullptr;
    std::unique_ptr<PlaybackEngine> engine_; // last: stopped before the rest goes
};

} // namespace vaun
