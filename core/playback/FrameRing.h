#pragma once
// Interleaved frames from one producer thread to one consumer thread, without locks,
// waits or allocation after construction. Positions count frames since creation and never
// wrap, so a position names one frame for the life of the ring.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vaun {

class FrameRing {
public:
    FrameRing(std::uint32_t channelCount, std::uint32_t capacityFrames)
        : channels_(channelCount), capacity_(capacityFrames), samples_(std::size_t(channelCount) * capacityFrames) {}

    std::uint32_t channelCount() const { return channels_; }
    std::int64_t capacity() const { return capacity_; }

    // Either side.
    std::int64_t writePosition() const { return write_.load(std::memory_order_acquire); }
    std::int64_t readPosition() const { return read_.load(std::memory_order_acquire); }

    // Producer: copies up to `frames` frames in; returns how many fitted.
    std::int64_t write(const float* interleaved, std::int64_t frames) {
        const std::int64_t w = write_.load(std::memory_order_relaxed);
        const std::int64_t room = capacity_ - (w - read_.load(std::memory_order_acquire));
        const std::int64_t n = std::clamp<std::int64_t>(frames, 0, room);
        copyIn(interleaved, w, n);
        write_.store(w + n, std::memory_order_release);
        return n;
    }

    // Consumer: copies up to `frames` frames out, not past `limit`; returns how many.
    std::int64_t read(float* interleaved, std::int64_t frames, std::int64_t limit = INT64_MAX) {
        const std::int64_t r = read_.load(std::memory_order_relaxed);
        const std::int64_t end = std::min(write_.load(std::memory_order_acquire), limit);
        const std::int64_t n = std::clamp<std::int64_t>(std::min(frames, end - r), 0, frames);
        copyOut(interleaved, r, n);
        read_.store(r + n, std::memory_order_release);
        return n;
    }

    // Consumer: drops every frame before `position` (at most up to the write position).
    void skipTo(std::int64_t position) {
        const std::int64_t r = read_.load(std::memory_order_relaxed);
        const std::int64_t to = std::min(position, write_.load(std::memory_order_acquire));
        if (to > r) read_.store(to, std::memory_order_release);
    }

private:
    // Calls f(ring slot pointer, offset in frames from `position`, run length) for the one or
    // two runs the frames occupy.
    template <typename F>
    void forRuns(std::int64_t position, std::int64_t frames, F f) {
        for (std::int64_t done = 0; done < frames;) {
            const std::int64_t slot = (position + done) % capacity_;
            const std::int64_t run = std::min(frames - done, capacity_ - slot);
            f(samples_.data() + slot * channels_, done, run);
            done += run;
        }
    }
    void copyIn(const float* from, std::int64_t position, std::int64_t frames) {
        forRuns(position, frames, [&](float* slot, std::int64_t at, std::int64_t run) {
            std::memcpy(slot, from + at * channels_, std::size_t(run) * channels_ * sizeof(float));
        });
    }
    void copyOut(float* to, std::int64_t position, std::int64_t frames) {
        forRuns(position, frames, [&](float* slot, std::int64_t at, std::int64_t run) {
            std::memcpy(to + at * channels_, slot, std::size_t(run) * channels_ * sizeof(float));
        });
    }

    const std::uint32_t channels_;
    const std::int64_t capacity_;
    std::vector<float> samples_;
    alignas(64) std::atomic<std::int64_t> write_{0};
    alignas(64) std::atomic<std::int64_t> read_{0};
};

} // namespace vaun
