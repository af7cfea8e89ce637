#include "playback/Feeder.h"

#include <algorithm>
#include <exception>
#include <new>

namespace vaun {
namespace {

// Whatever a read or the renderer threw, as the error the owner is told.
Error asError(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error("VaunPlayback", 2, "Playback stopped: not enough memory.");
    } catch (const std::exception& e) {
        return Error("VaunPlayback", 2, std::string("Playback stopped: ") + e.what());
    } catch (...) {
        return Error("VaunPlayback", 2, "Playback stopped by an unknown error.");
    }
}

} // namespace

Feeder::Feeder(AudioFile file, std::unique_ptr<RouteRenderer> renderer, FrameRing& ring, LevelQueue& levels,
               SegmentMarks& marks)
    : file_(std::move(file)),
      renderer_(std::move(renderer)),
      ring_(ring),
      levels_(levels),
      marks_(marks),
      block_(std::max<std::uint32_t>(file_.processingFormat().channelCount, 1), kBlockFrames),
      meter_(file_.processingFormat().channelCount),
      length_(std::max<std::int64_t>(file_.length(), 0)) {
    // Room for a drained renderer's tail on top of a block, so steady state never allocates.
    pending_.reserve(std::size_t(4 * kBlockFrames) * renderer_->outputChannels());
}

void Feeder::begin(std::int64_t frame, std::uint64_t segment) {
    segment_ = segment;
    segmentStart_ = ring_.writePosition();
    nextFrame_ = std::clamp<std::int64_t>(frame, 0, length_);
    read_ = written_ = 0;
    pending_.clear();
    pendingFrom_ = 0;
    meter_.reset();
    renderer_->restart(nextFrame_);
    active_ = reading_ = true;
    ended_ = false;
    {
        std::lock_guard lock(failureMutex_);
        failure_.reset();
    }
    marks_.start.store({segment_, segmentStart_});
    try {
        file_.setFramePosition(nextFrame_);
    } catch (...) {
        fail(std::current_exception());
    }
}

void Feeder::halt() {
    active_ = false;
    pending_.clear();
    pendingFrom_ = 0;
}

Feeder::Progress Feeder::produce() {
    if (!active_) return Progress::Idle;
    try {
        return step();
    } catch (...) {
        fail(std::current_exception());
        return Progress::Wrote;
    }
}

Feeder::Progress Feeder::step() {
    const std::uint32_t channels = renderer_->outputChannels();
    if (pendingFrom_ * channels == pending_.size()) {
        pending_.clear();
        pendingFrom_ = 0;
        if (!reading_) {
            marks_.end.store({segment_, segmentStart_ + written_});
            active_ = false;
            ended_ = true;
            return Progress::Ended;
        }
        const auto want = std::uint32_t(std::min<std::int64_t>(kBlockFrames, length_ - nextFrame_));
        std::uint32_t got = 0;
        if (want > 0) {
            try {
                file_.read(block_, want);
                got = block_.frameLength();
            } catch (...) {
                fail(std::current_exception());
                return Progress::Wrote;
            }
        }
        if (got == 0) {
            finishReading();
        } else {
            meter(block_, got);
            renderer_->render(block_.floatChannelData(), got, pending_);
            nextFrame_ += got;
        }
    }
    const std::size_t frames = pending_.size() / channels - pendingFrom_;
    const std::int64_t n = ring_.write(pending_.data() + pendingFrom_ * channels, std::int64_t(frames));
    pendingFrom_ += std::size_t(n);
    written_ += n;
    return std::size_t(n) < frames ? Progress::Full : Progress::Wrote;
}

std::optional<Feeder::Failure> Feeder::failure() const {
    std::lock_guard lock(failureMutex_);
    return failure_;
}

// The segment ends where the last good frames are: what is rendered but not yet written
// goes too, as it may be what broke.
void Feeder::fail(std::exception_ptr error) {
    {
        std::lock_guard lock(failureMutex_);
        if (!failure_) failure_ = Failure{segment_, asError(error)};
    }
    reading_ = false;
    pending_.clear();
    pendingFrom_ = 0;
    meter_.reset();
}

void Feeder::finishReading() {
    reading_ = false;
    renderer_->drain(pending_);
    if (meter_.frames() > 0) publishLevels();
}

void Feeder::meter(const AudioPCMBuffer& block, std::uint32_t frames) {
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = std::min(frames - done, kMeterFrames - meter_.frames());
        meter_.add(block.floatChannelData(), done, n);
        done += n;
        read_ += n;
        if (meter_.frames() == kMeterFrames) publishLevels();
    }
}

void Feeder::publishLevels() {
    LevelReading* slot = levels_.slotToFill();
    if (!slot) {
        meter_.reset(); // nobody is listening fast enough; this reading is lost
        return;
    }
    slot->segment = segment_;
    slot->endPosition = segmentStart_ + read_;
    meter_.take(slot->peaks.data(), slot->averages.data());
    levels_.publish();
}

} // namespace vaun
