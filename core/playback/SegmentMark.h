#pragma once
// A segment id with a ring position, passed between the playback threads in one lock-free
// word: where a segment starts in the ring, where it ends, how far the output has read.
#include <atomic>
#include <cstdint>
#include <optional>

namespace vaun {

struct SegmentMark {
    std::uint16_t segment = 0;
    // Ring position; 47 bits hold centuries of audio at any rate.
    std::int64_t position = 0;
    bool operator==(const SegmentMark&) const = default;
};

class AtomicSegmentMark {
public:
    void store(SegmentMark m) {
        const auto bits = kValid | (std::uint64_t(m.segment) << kPositionBits) |
                          (std::uint64_t(m.position) & kPositionMask);
        word_.store(bits, std::memory_order_release);
    }
    void clear() { word_.store(0, std::memory_order_release); }
    std::optional<SegmentMark> load() const {
        const std::uint64_t bits = word_.load(std::memory_order_acquire);
        if (!(bits & kValid)) return std::nullopt;
        return SegmentMark{std::uint16_t(bits >> kPositionBits), std::int64_t(bits & kPositionMask)};
    }

private:
    static constexpr int kPositionBits = 47;
    static constexpr std::uint64_t kPositionMask = (std::uint64_t(1) << kPositionBits) - 1;
    static constexpr std::uint64_t kValid = std::uint64_t(1) << 63;
    std::atomic<std::uint64_t> word_{0};
};

} // namespace vaun
