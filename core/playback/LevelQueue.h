#pragma once
// Level readings from the feeder to whoever reports them once the listener hears them:
// one producer, one consumer, fixed slots made up front, no locks.
#include <atomic>
#include <cstdint>
#include <vector>

namespace vaun {

struct LevelReading {
    std::uint16_t segment = 0;
    // Ring position just past the reading's last frame.
    std::int64_t endPosition = 0;
    // dBFS per file channel.
    std::vector<float> peaks;
    std::vector<float> averages;
};

class LevelQueue {
public:
    LevelQueue(std::uint32_t channelCount, std::size_t capacity) : slots_(capacity) {
        for (auto& s : slots_) {
            s.peaks.resize(channelCount);
            s.averages.resize(channelCount);
        }
    }

    // Producer: the slot to fill next, or null when the queue is full.
    LevelReading* slotToFill() {
        const std::size_t t = tail_.load(std::memory_order_relaxed);
        if (t - head_.load(std::memory_order_acquire) >= slots_.size()) return nullptr;
        return &slots_[t % slots_.size()];
    }
    // Producer: hands the slot filled last to the consumer.
    void publish() { tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    // Consumer: the oldest reading, or null.
    const LevelReading* front() const {
        const std::size_t h = head_.load(std::memory_order_relaxed);
        if (h == tail_.load(std::memory_order_acquire)) return nullptr;
        return &slots_[h % slots_.size()];
    }
    void pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
    std::vector<LevelReading> slots_;
    alignas(64) std::atomic<std::size_t> tail_{0};
    alignas(64) std::atomic<std::size_t> head_{0};
};

} // namespace vaun
