#pragma once
// A segment token with a ring position, passed between the playback threads without locks:
// where a segment starts in the ring, where it ends, how far the output has read.
//
// Tokens are carried at full width, so an old mark can never pass for a new segment's. Each
// store goes to the next of a few slots and then publishes its number; a reader takes the
// published slot and keeps it only if the writer has not come round to that slot again
// meanwhile. The writer never waits, and a reader retries only when stores overtook it.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace vaun {

struct SegmentMark {
    std::uint64_t segment = 0;
    std::int64_t position = 0;
    bool operator==(const SegmentMark&) const = default;
};

// One writer at a time (handed over through a lock or a thread start); any number of readers.
class AtomicSegmentMark {
public:
    void store(SegmentMark m) {
        const std::uint64_t count = (published_.load(std::memory_order_relaxed) >> 1) + 1;
        Slot& slot = slots_[count % kSlots];
        // Orders the previous publication before these writes, for readers of this slot.
        std::atomic_thread_fence(std::memory_order_release);
        slot.segment.store(m.segment, std::memory_order_relaxed);
        slot.position.store(m.position, std::memory_order_relaxed);
        published_.store(count << 1 | 1, std::memory_order_release);
    }
    void clear() {
        published_.store(published_.load(std::memory_order_relaxed) & ~std::uint64_t(1), std::memory_order_release);
    }
    std::optional<SegmentMark> load() const {
        for (;;) {
            const std::uint64_t word = published_.load(std::memory_order_acquire);
            if (!(word & 1)) return std::nullopt;
            const std::uint64_t count = word >> 1;
            const Slot& slot = slots_[count % kSlots];
            const SegmentMark m{slot.segment.load(std::memory_order_relaxed), slot.position.load(std::memory_order_relaxed)};
            std::atomic_thread_fence(std::memory_order_acquire);
            // The writer starts rewriting this slot only after publishing count + kSlots - 1.
            if ((published_.load(std::memory_order_relaxed) >> 1) - count < kSlots - 1) return m;
        }
    }

private:
    static constexpr std::uint64_t kSlots = 4;
    struct Slot {
        std::atomic<std::uint64_t> segment{0};
        std::atomic<std::int64_t> position{0};
    };
    std::array<Slot, kSlots> slots_;
    // Stores so far << 1, low bit set while a mark is published.
    std::atomic<std::uint64_t> published_{0};
};

} // namespace vaun
