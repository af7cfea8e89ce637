#pragma once
// Plays one file of any channel count: straight to the device's outputs when it has enough
// (channel i to output i), else rendered for headphones: an ADM master with every track at
// its ADM position (objects moving as their blocks say), any other file as a speaker bed
// ("Spatial (headphones) · ADM · 7.1.2 bed + 4 objects · MIT KEMAR HRTF"). Starting and
// seeking schedule a segment of the file; every segment carries a token, so the completion
// of a segment that was replaced or stopped does nothing. Levels of the file's channels are
// reported for every buffer of about 2048 frames the listener hears.
//
// Every member function is for the owner's thread, the one `executor` runs work on; the
// completion and failures are handed over to it. onLevels runs on the engine's reporter
// thread. A failure (the device gone, a read or render error) stops playback where the sound
// stopped and reaches onFailed, not onFinished; the next play(from:) opens the device afresh.
#include "inspect/Ambisonics.h"
#include "inspect/AudioMetadata.h"
#include "common/Errors.h"
#include "playback/AudioOutput.h"
#include "playback/Executor.h"
#include "playback/ManualOutput.h"
#include "playback/Route.h"
#include "playback/SpeakerBed.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

class PlayerEngine;

class MultichannelPlayer {
public:
    using Route = PlaybackRoute;
    using LevelsCallback = std::function<void(const std::vector<float>& peaks, const std::vector<float>& averages)>;

    struct Options {
        // The HRTF set of the binaural route.
        std::filesystem::path hrtfFile;
        // The file is a sound field (as its metadata record tells); absent: as far as its
        // declared channel layout tells.
        std::optional<AmbisonicLayout> ambisonics;
        Options();
    };

    // Opens the file and chooses the route. Without `manualOutput` it plays to the default
    // sound device at the file's rate; with it, it renders into memory in that format (its
    // rate must be the file's), pulled through manualOutput(). Fails with the decoder's
    // error, the device's error, the code-4 error when too few outputs meet a channel count
    // without a speaker bed, or the renderer's error. ADM objects and sound fields and
    // Ambisonic files always play spatially, whatever the outputs.
    MultichannelPlayer(const std::filesystem::path& url, Executor& executor,
                       std::optional<OutputFormat> manualOutput = std::nullopt, Options options = Options());

    // The files this player is for rather than a plain stereo player: more than two
    // channels, a sound field, or an ADM master with objects or HOA.
    static bool isFor(const AudioMetadata& metadata);
    ~MultichannelPlayer();
    MultichannelPlayer(const MultichannelPlayer&) = delete;
    MultichannelPlayer& operator=(const MultichannelPlayer&) = delete;

    // Plays from `fromSeconds` (clamped to the file: negative from the start, past the end
    // from its last frame); while playing this is a seek. Throws the device's start error (or,
    // when the device is opened afresh, any error creation can give).
    void play(double fromSeconds);
    // Stops and returns the position; play(from:) with it resumes at the same frame.
    double pause();
    void stop();
    double currentTime() const;

    // The route chosen at creation, or when the device was last opened afresh.
    const Route& route() const;
    double duration() const { return duration_; }
    bool isPlaying() const;
    void setOnLevels(LevelsCallback callback);
    void setOnFinished(std::function<void()> callback);
    void setOnFailed(std::function<void(const Error&)> callback);
    std::int64_t underruns() const;
    // The failure that stopped playback, while it holds.
    std::optional<Error> failure() const;
    // The memory output, when rendering manually.
    ManualOutput* manualOutput();

    // The speaker bed for a channel count, given the file's own layout.
    static std::optional<SpeakerBed> bedLayout(int channelCount, const std::optional<AudioChannelLayout>& fileLayout) {
        return vaun::bedLayout(channelCount, fileLayout);
    }

private:
    struct LevelSink;

    double duration_ = 0;
    double rate_ = 0;
    std::int64_t length_ = 0;
    std::shared_ptr<LevelSink> levels_;
    std::unique_ptr<PlayerEngine> engine_; // last: stopped before the rest goes
};

} // namespace vaun
