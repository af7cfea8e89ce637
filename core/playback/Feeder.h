#pragma once
// Reads the scheduled segment of the file ahead of the output: decodes a block, meters the
// file's channels, renders the route and writes the device frames into the ring. Output
// frame k of a segment belongs to file frame (segment start + k), so ring positions double
// as the segment's clock for levels and the end.
#include "common/Errors.h"
#include "decode/AudioFile.h"
#include "playback/FrameRing.h"
#include "playback/LevelMeter.h"
#include "playback/LevelQueue.h"
#include "playback/RouteRenderer.h"
#include "playback/SegmentMark.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vaun {

// Where a feeder publishes the bounds of the segment it writes.
struct SegmentMarks {
    AtomicSegmentMark start; // segment id, ring position of its first frame
    AtomicSegmentMark end;   // segment id, ring position just past its last frame
};

class Feeder {
public:
    static constexpr std::uint32_t kBlockFrames = 1024;
    // Levels are reported per this many file frames.
    static constexpr std::uint32_t kMeterFrames = 2048;

    Feeder(AudioFile file, std::unique_ptr<RouteRenderer> renderer, FrameRing& ring, LevelQueue& levels,
           SegmentMarks& marks);

    // Starts segment `segment` at file frame `frame` (clamped to the file); its first frame
    // goes to the ring's current write position.
    void begin(std::int64_t frame, std::uint64_t segment);
    // Stops writing; what is still pending is dropped.
    void halt();

    enum class Progress { Idle, Wrote, Full, Ended };
    // One step: writes what is pending, else reads, meters and renders the next block.
    // Full: the ring has no room. Ended: the segment is in the ring and its end published.
    // A read or render failure ends the segment where the sound stopped and is kept as its
    // failure; nothing is thrown.
    Progress produce();

    std::uint64_t segment() const { return segment_; }
    // Frames of the current segment written so far.
    std::int64_t written() const { return written_; }
    bool ended() const { return !active_ && ended_; }
    struct Failure {
        std::uint64_t segment;
        Error error;
    };
    // The read or render failure that ended the last segment early. Any thread.
    std::optional<Failure> failure() const;

private:
    Progress step();
    void finishReading();
    void fail(std::exception_ptr error);
    void publishLevels();
    void meter(const AudioPCMBuffer& block, std::uint32_t frames);

    AudioFile file_;
    std::unique_ptr<RouteRenderer> renderer_;
    FrameRing& ring_;
    LevelQueue& levels_;
    SegmentMarks& marks_;
    AudioPCMBuffer block_;
    LevelAccumulator meter_;
    std::int64_t length_;

    std::vector<float> pending_; // rendered frames not yet in the ring
    std::size_t pendingFrom_ = 0; // frames of pending_ already written
    bool active_ = false;
    bool reading_ = false;
    bool ended_ = false;
    std::uint64_t segment_ = 0;
    std::int64_t segmentStart_ = 0; // ring position
    std::int64_t nextFrame_ = 0;    // file frame
    std::int64_t read_ = 0;         // file frames read in this segment
    std::int64_t written_ = 0;

    mutable std::mutex failureMutex_;
    std::optional<Failure> failure_;
};

} // namespace vaun
