#pragma once
// Streams segments of one open file to an output. A feeder reads ahead (decoding, metering
// and rendering the route) into a lock-free ring of output frames a few hundred
// milliseconds long; the output's real-time callback only copies out of the ring, playing
// silence (and counting an underrun) when it runs dry. Moving to another frame while
// playing keeps the output running: the callback jumps to the new segment as soon as it is
// in the ring, so the only break is the jump itself. Levels, the end of a segment and a
// failure are reported once the listener hears them; a failing output at once.
//
// The owner's calls never wait on the feeder: a read stuck on a hung file system holds up
// neither halt() nor destruction.
//
// Real-time mode runs the feeder and the reporter on threads of their own. Manual mode (a
// ManualOutput pulled by the caller) has no threads: each render call first lets the feeder
// fill the ring, then copies, then reports on the caller's thread, so the output is exactly
// the file's frames and every report arrives in a known render call.
#include "common/Errors.h"
#include "decode/AudioFile.h"
#include "playback/AudioOutput.h"
#include "playback/Feeder.h"
#include "playback/FeederThread.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vaun {

class PlaybackEngine {
public:
    enum class Mode { RealTime, Manual };

    struct Callbacks {
        // Peak and RMS per file channel in dBFS for about 2048 frames just heard.
        std::function<void(const std::vector<float>& peaks, const std::vector<float>& averages)> levels;
        // The segment started with this token has been heard to its end.
        std::function<void(std::uint64_t segment)> segmentEnded;
        // Playback of this segment failed: a read or render failure once the sound up to it has
        // been heard (instead of segmentEnded), or the output failing (once per start).
        std::function<void(std::uint64_t segment, const Error& error)> failed;
    };

    // Callbacks run on the reporter thread (manual mode: inside render calls) and must not
    // call back into the engine.
    PlaybackEngine(AudioFile file, std::unique_ptr<RouteRenderer> renderer, std::unique_ptr<AudioOutput> output,
                   Mode mode, Callbacks callbacks);
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // The rest is for the owner's thread.

    // Plays from file frame `frame` as segment `segment` (tokens only ever grow); while
    // running, moves there without stopping the output. Throws the output's start error (the
    // engine then stays stopped).
    void start(std::int64_t frame, std::uint64_t segment);
    // Stops the output and tells the feeder to stop; returns the frame reached.
    std::int64_t halt();
    bool isRunning() const { return running_; }
    // The file frame the listener hears now.
    std::int64_t positionFrames() const;

    // Times the ring ran dry while playing plus the device's own underruns.
    std::int64_t underruns() const;
    // The device failing, or a read or render failure that ended the segment early.
    std::optional<Error> failure() const;
    AudioOutput& output() { return *output_; }
    const OutputFormat& outputFormat() const { return format_; }
    std::int64_t lengthFrames() const { return length_; }

private:
    // What the feeder writes to; shared with its thread, which may outlive the engine.
    struct Pipeline;
    struct Consumer {
        bool hasSegment = false;
        std::uint64_t segment = 0;
        std::int64_t start = 0; // ring position of the segment's first frame
        bool started = false;
    };

    void render(float* interleaved, std::uint32_t frames);
    void renderManually(float* interleaved, std::uint32_t frames);
    void consume(float* interleaved, std::uint32_t frames);
    void fillInline(std::int64_t frames);
    // Ring position the listener hears now.
    std::optional<SegmentMark> heardNow() const;
    void report(const std::optional<SegmentMark>& heard);
    void reporterLoop();
    void beginFeeding(std::int64_t frame, std::uint64_t segment);
    void haltFeeding();

    std::unique_ptr<AudioOutput> output_;
    const OutputFormat format_;
    const Mode mode_;
    const Callbacks callbacks_;
    const std::int64_t length_;
    const std::shared_ptr<Pipeline> pipeline_;
    FrameRing& ring_;
    LevelQueue& levels_;
    SegmentMarks& marks_;
    Feeder& feeder_;
    // Frames a new segment needs in the ring before the output starts, and before a
    // running output jumps to it.
    const std::int64_t prefillFrames_;
    const std::int64_t jumpFrames_;

    // Owner's thread.
    bool running_ = false;
    // The newest segment asked for; the output takes no other one up.
    std::atomic<std::uint64_t> segment_{0};
    std::int64_t startFrame_ = 0;
    std::int64_t stoppedFrame_ = 0;

    // Output callback (or the owner while the output is stopped).
    Consumer consumer_;
    std::atomic<std::int64_t> rendered_{0};
    std::atomic<std::int64_t> ringUnderruns_{0};
    AtomicSegmentMark heard_; // segment the callback plays, ring read position
    // Output frames since the callback last had data: silence in the device's buffer,
    // which the device latency must not be taken off the read position for.
    std::atomic<std::int64_t> trailingSilence_{0};

    // Reporter.
    std::optional<std::uint64_t> lastEnded_;
    std::atomic<bool> outputFailureReported_{false};
    std::mutex reportMutex_;
    std::condition_variable reportWake_;
    bool reporting_ = false;
    bool quit_ = false;

    std::unique_ptr<FeederThread> feederThread_;
    std::thread reporter_;
};

} // namespace vaun
