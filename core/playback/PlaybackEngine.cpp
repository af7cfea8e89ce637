#include "playback/PlaybackEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace vaun {
namespace {

using namespace std::chrono_literals;

// Ring of output frames: a few hundred milliseconds.
constexpr double kRingSeconds = 0.3;
// Decoded before the output starts or jumps: long enough for the first device callback.
constexpr double kPrefillSeconds = 0.1;
// How long play waits for the prefill before starting the output anyway.
constexpr auto kPrefillWait = 100ms;
// The reporter's pace: well inside one level reading (2048 frames).
constexpr auto kReportInterval = 5ms;
constexpr std::size_t kLevelSlots = 64;

std::uint32_t framesFor(double seconds, double rate, std::uint32_t atLeast) {
    const double frames = std::isfinite(rate) && rate > 0 ? std::ceil(seconds * rate) : 0.0;
    return std::max(atLeast, std::uint32_t(std::min(frames, 1.0e7)));
}

} // namespace

struct PlaybackEngine::Pipeline {
    FrameRing ring;
    LevelQueue levels;
    SegmentMarks marks;
    Feeder feeder;

    Pipeline(AudioFile file, std::unique_ptr<RouteRenderer> renderer)
        : ring(renderer->outputChannels(),
               framesFor(kRingSeconds, file.processingFormat().sampleRateHz, 8 * Feeder::kBlockFrames)),
          levels(file.processingFormat().channelCount, kLevelSlots),
          feeder(std::move(file), std::move(renderer), ring, levels, marks) {}
};

PlaybackEngine::PlaybackEngine(AudioFile file, std::unique_ptr<RouteRenderer> renderer,
                               std::unique_ptr<AudioOutput> output, Mode mode, Callbacks callbacks)
    : output_(std::move(output)),
      format_(output_->format()),
      mode_(mode),
      callbacks_(std::move(callbacks)),
      length_(std::max<std::int64_t>(file.length(), 0)),
      pipeline_(std::make_shared<Pipeline>(std::move(file), std::move(renderer))),
      ring_(pipeline_->ring),
      levels_(pipeline_->levels),
      marks_(pipeline_->marks),
      feeder_(pipeline_->feeder),
      prefillFrames_(mode == Mode::Manual ? 0
                                          : std::min<std::int64_t>(ring_.capacity() / 2,
                                                                   framesFor(kPrefillSeconds, format_.sampleRateHz,
                                                                             Feeder::kBlockFrames))),
      jumpFrames_(std::min<std::int64_t>(prefillFrames_, Feeder::kMeterFrames)) {
    if (ring_.channelCount() != format_.channelCount)
        throw std::logic_error("the route renders for another channel count than the output's");
    if (mode_ == Mode::RealTime) {
        feederThread_ = std::make_unique<FeederThread>(std::shared_ptr<Feeder>(pipeline_, &pipeline_->feeder));
        reporter_ = std::thread([this] { reporterLoop(); });
    }
}

PlaybackEngine::~PlaybackEngine() {
    output_->stop();
    {
        std::lock_guard lock(reportMutex_);
        quit_ = true;
    }
    reportWake_.notify_all();
    if (reporter_.joinable()) reporter_.join();
    feederThread_.reset();
}

void PlaybackEngine::start(std::int64_t frame, std::uint64_t segment) {
    frame = std::clamp<std::int64_t>(frame, 0, length_);
    if (running_) {
        segment_.store(segment, std::memory_order_release);
        startFrame_ = frame;
        beginFeeding(frame, segment);
        return;
    }
    // The output is stopped, so this thread is the ring's consumer: drop what is left. A
    // feeder still finishing an old step may write more of an old segment; the output skips
    // it, as it takes up no segment but this one. The new segment's begin replaces whatever
    // the feeder was doing.
    ring_.skipTo(ring_.writePosition());
    consumer_ = {};
    heard_.clear();
    segment_.store(segment, std::memory_order_release);
    startFrame_ = frame;
    outputFailureReported_.store(false, std::memory_order_relaxed);
    beginFeeding(frame, segment);
    if (feederThread_) feederThread_->waitPrimed(segment, prefillFrames_, kPrefillWait);
    rendered_.store(0, std::memory_order_relaxed);
    trailingSilence_.store(0, std::memory_order_relaxed);
    try {
        output_->start([this](float* interleaved, std::uint32_t frames) { render(interleaved, frames); });
    } catch (...) {
        haltFeeding();
        stoppedFrame_ = frame;
        throw;
    }
    running_ = true;
    {
        std::lock_guard lock(reportMutex_);
        reporting_ = true;
    }
    reportWake_.notify_all();
}

std::int64_t PlaybackEngine::halt() {
    if (!running_) return stoppedFrame_;
    const std::int64_t reached = positionFrames();
    {
        std::lock_guard lock(reportMutex_);
        reporting_ = false;
    }
    output_->stop();
    haltFeeding();
    running_ = false;
    stoppedFrame_ = reached;
    return reached;
}

std::int64_t PlaybackEngine::positionFrames() const {
    if (!running_) return stoppedFrame_;
    const auto heard = heardNow();
    const auto start = marks_.start.load();
    const std::uint64_t segment = segment_.load(std::memory_order_relaxed);
    if (!heard || !start || heard->segment != segment || start->segment != segment) return startFrame_;
    return std::min(startFrame_ + std::max<std::int64_t>(0, heard->position - start->position), length_);
}

std::optional<SegmentMark> PlaybackEngine::heardNow() const {
    auto heard = heard_.load();
    if (!heard || mode_ == Mode::Manual) return heard;
    const std::int64_t inDevice =
        std::max<std::int64_t>(0, rendered_.load(std::memory_order_acquire) - output_->framesPlayed());
    heard->position -= std::max<std::int64_t>(0, inDevice - trailingSilence_.load(std::memory_order_acquire));
    return heard;
}

std::int64_t PlaybackEngine::underruns() const {
    return ringUnderruns_.load(std::memory_order_relaxed) + output_->underruns();
}

std::optional<Error> PlaybackEngine::failure() const {
    if (output_->failed()) return output_->failure();
    if (auto f = feeder_.failure()) return std::move(f->error);
    return std::nullopt;
}

void PlaybackEngine::beginFeeding(std::int64_t frame, std::uint64_t segment) {
    if (feederThread_) feederThread_->begin(frame, segment);
    else feeder_.begin(frame, segment);
}

void PlaybackEngine::haltFeeding() {
    if (feederThread_) feederThread_->halt();
    else feeder_.halt();
}

// Output thread from here on: no locks, waits or allocation (manual mode excepted).

void PlaybackEngine::render(float* interleaved, std::uint32_t frames) {
    if (mode_ == Mode::Manual) {
        renderManually(interleaved, frames);
        return;
    }
    consume(interleaved, frames);
    rendered_.fetch_add(frames, std::memory_order_release);
}

void PlaybackEngine::renderManually(float* interleaved, std::uint32_t frames) {
    const std::int64_t step = ring_.capacity() / 2;
    for (std::int64_t done = 0; done < frames;) {
        const std::int64_t n = std::min<std::int64_t>(step, frames - done);
        fillInline(n);
        consume(interleaved + done * format_.channelCount, std::uint32_t(n));
        rendered_.fetch_add(n, std::memory_order_release);
        done += n;
    }
    report(heard_.load());
}

void PlaybackEngine::fillInline(std::int64_t frames) {
    for (;;) {
        const auto start = marks_.start.load();
        if (!start) return;
        const std::int64_t from = std::max(start->position, ring_.readPosition());
        if (ring_.writePosition() - from >= frames) return;
        const auto progress = feeder_.produce();
        if (progress != Feeder::Progress::Wrote) return;
    }
}

void PlaybackEngine::consume(float* interleaved, std::uint32_t frames) {
    const auto start = marks_.start.load();
    const std::uint64_t wanted = segment_.load(std::memory_order_acquire);
    if (start && start->segment == wanted && (!consumer_.hasSegment || consumer_.segment != wanted)) {
        // The segment asked for: jump once enough of it is in the ring (or all of it, or
        // nothing of the old one is left); until then the old one plays on.
        const auto end = marks_.end.load();
        const bool complete = end && end->segment == start->segment;
        if (!consumer_.hasSegment || ring_.readPosition() >= start->position ||
            ring_.writePosition() - start->position >= jumpFrames_ || complete) {
            ring_.skipTo(start->position);
            consumer_ = {true, start->segment, start->position, false};
        }
    }
    std::int64_t n = 0;
    if (consumer_.hasSegment) {
        // An older segment plays up to where a newer one starts.
        const bool newer = start && start->segment > consumer_.segment;
        n = ring_.read(interleaved, frames, newer ? start->position : INT64_MAX);
    }
    if (n < frames) {
        std::memset(interleaved + n * format_.channelCount, 0, std::size_t(frames - n) * format_.channelCount * sizeof(float));
        const auto end = marks_.end.load();
        const bool atEnd = end && end->segment == consumer_.segment && ring_.readPosition() >= end->position;
        // A segment's first callback may come up short; later ones mean the feeder fell behind.
        if (consumer_.hasSegment && consumer_.started && !atEnd) ringUnderruns_.fetch_add(1, std::memory_order_relaxed);
    }
    const std::int64_t silence = frames - n;
    trailingSilence_.store(n > 0 ? silence : trailingSilence_.load(std::memory_order_relaxed) + silence,
                           std::memory_order_release);
    if (consumer_.hasSegment) {
        consumer_.started = consumer_.started || n > 0;
        heard_.store({consumer_.segment, ring_.readPosition()});
    }
}

// Reporter: levels and ends, once the listener hears them.

void PlaybackEngine::reporterLoop() {
    std::unique_lock lock(reportMutex_);
    for (;;) {
        reportWake_.wait_for(lock, kReportInterval, [&] { return quit_; });
        if (quit_) return;
        if (!reporting_) {
            reportWake_.wait(lock, [&] { return quit_ || reporting_; });
            continue;
        }
        lock.unlock();
        report(heardNow());
        lock.lock();
    }
}

void PlaybackEngine::report(const std::optional<SegmentMark>& heard) {
    if (output_->failed() && !outputFailureReported_.exchange(true)) {
        if (callbacks_.failed) callbacks_.failed(segment_.load(std::memory_order_acquire), output_->failure());
    }
    if (!heard) return;
    const std::int64_t position = heard->position;
    while (const LevelReading* reading = levels_.front()) {
        if (reading->segment > heard->segment || (reading->segment == heard->segment && reading->endPosition > position))
            break; // not heard yet
        if (reading->segment == heard->segment && callbacks_.levels) callbacks_.levels(reading->peaks, reading->averages);
        levels_.pop();
    }
    const auto end = marks_.end.load();
    if (end && end->segment == heard->segment && position >= end->position && lastEnded_ != heard->segment) {
        lastEnded_ = heard->segment;
        const auto failure = feeder_.failure();
        if (failure && failure->segment == heard->segment) {
            if (callbacks_.failed) callbacks_.failed(heard->segment, failure->error);
        } else if (callbacks_.segmentEnded) {
            callbacks_.segmentEnded(heard->segment);
        }
    }
}

} // namespace vaun
