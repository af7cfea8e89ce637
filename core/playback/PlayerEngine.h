#pragma once
// What both players share: the engine playing one file on the default sound device (or into
// memory), the segment token that makes late reports of replaced segments harmless, and
// recovery from a failure. A failure stops playback where the sound stopped and is told to
// the owner once; the next play opens the file and the device afresh, and a device that
// refuses a start is opened afresh once before its error is passed on.
//
// For the owner's thread, the one `executor` runs work on: the end and failures of segments
// are handed over to it.
#include "common/Errors.h"
#include "decode/AudioFormat.h"
#include "playback/Executor.h"
#include "playback/ManualOutput.h"
#include "playback/PlaybackEngine.h"
#include "playback/Route.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace vaun {

class RouteRenderer;

class PlayerEngine {
public:
    // The renderer for a file's channels on a device with `deviceChannels` outputs, and the
    // route it stands for. Throws when there is none (the code-4 error).
    using ChooseRoute = std::function<std::unique_ptr<RouteRenderer>(const AudioFormat& file, std::uint32_t deviceChannels,
                                                                     PlaybackRoute& route)>;
    using LevelsCallback = std::function<void(const std::vector<float>& peaks, const std::vector<float>& averages)>;

    // Opens the file and the output and chooses the route. Throws the decoder's, the device's
    // or the route's error. `levels` runs on the engine's reporter thread.
    PlayerEngine(const std::filesystem::path& url, Executor& executor, std::optional<OutputFormat> manualOutput,
                 ChooseRoute chooseRoute, LevelsCallback levels);
    ~PlayerEngine();
    PlayerEngine(const PlayerEngine&) = delete;
    PlayerEngine& operator=(const PlayerEngine&) = delete;

    const AudioFormat& fileFormat() const { return format_; }
    std::int64_t lengthFrames() const { return length_; }
    // May change when the device is opened afresh.
    const PlaybackRoute& route() const { return route_; }
    ManualOutput* manualOutput() const { return manual_; }

    // After a failure, opens the file and the device afresh now rather than at play();
    // false (and failure() tells why) when that fails. True otherwise.
    bool prepare();
    // Plays from `frame` as a new segment (a seek while playing). Throws the device's error.
    void play(std::int64_t frame);
    // Stops; returns the frame reached, where the position stays.
    std::int64_t stop();
    bool isPlaying() const { return shared_->playing; }
    // Where playback is, or stopped, or was put.
    std::int64_t positionFrames() const;
    // Moves the position while not playing.
    void setPosition(std::int64_t frame) { position_ = frame; }

    std::int64_t underruns() const;
    // The failure that stopped playback last, while the device or file is still in that state.
    std::optional<Error> failure() const;

    // Called on the owner's thread once the current segment has played to its end (the
    // position is then the file's end), or when playback failed.
    std::function<void()> onEnded;
    std::function<void(const Error&)> onFailed;

private:
    struct Shared {
        std::uint64_t token = 0;
        bool playing = false;
        PlayerEngine* owner = nullptr;
    };
    struct Opened;

    std::unique_ptr<PlaybackEngine> open();
    void reopen();
    void ended();
    void failed(const Error& error);

    const std::filesystem::path url_;
    Executor& executor_;
    const std::optional<OutputFormat> manualFormat_;
    const ChooseRoute chooseRoute_;
    const LevelsCallback levels_;
    AudioFormat format_;
    std::int64_t length_ = 0;
    PlaybackRoute route_;
    ManualOutput* manual_ = nullptr;
    std::int64_t position_ = 0;
    bool needsReopen_ = false;
    std::optional<Error> lastFailure_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<PlaybackEngine> engine_; // last: stopped before the rest goes
};

} // namespace vaun
