#pragma once
// Reduces a whole file to a fixed number of buckets per channel, each holding the smallest
// and largest sample of its stretch of frames, so waveforms and channel lanes can be drawn
// without keeping the samples. One pass with its own decoder, apart from the full analysis.
#include "common/Errors.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vaun {

struct WaveformGenerator {
    // How `generate` reduces one bucket: the largest absolute sample, or the smallest and
    // the largest sample.
    enum class Style { peak, minMax };

    struct Buckets {
        // Buckets actually produced.
        int bucketCount = 0;
        // Length ÷ buckets rounded down; the first (length mod buckets) buckets hold one more.
        std::int64_t framesPerBucket = 0;
        // Per bucket in time order: minimum then maximum, or the one peak value. Decoded
        // 32-bit float samples (full scale ±1.0), not scaled.
        std::vector<float> values;

        bool isEmpty() const { return values.empty(); }
        friend bool operator==(const Buckets&, const Buckets&) = default;
    };

    // The division of `length` frames into buckets; never more buckets than frames or
    // than maxBuckets, whatever is asked.
    struct Plan {
        int count = 0;
        std::int64_t framesPerBucket = 0;
        std::int64_t remainder = 0; // buckets 0 ..< remainder hold framesPerBucket + 1 frames

        std::int64_t framesIn(int bucket) const { return framesPerBucket + (bucket < remainder ? 1 : 0); }
        friend bool operator==(const Plan&, const Plan&) = default;
    };

    static constexpr int maxBuckets = 16384;
    static constexpr std::uint32_t blockFrames = 4096;

    // Zero buckets when length or bucketCount is below 1.
    static Plan plan(std::int64_t length, int bucketCount);

    // One two-value lane per channel for the first min(maxChannels, channels) channels, all
    // with the same plan. Empty for a file of no frames or no channels, or when bucketCount
    // or maxChannels is below 1.
    //
    // Synchronous; polls isCancelled on the calling thread before opening, before every
    // block and after the last, and throws CancellationError when it answers true. The
    // decoder's errors pass unchanged; audio that ends before length() throws VaunError 3.
    //
    // NaN samples are skipped: they never reach a bucket, and a bucket of nothing but NaN
    // reads as (0, 0) like one that saw no samples. Infinities are kept.
    std::vector<Buckets> generateChannels(const std::filesystem::path& url, int bucketCount = 512,
                                          int maxChannels = 24,
                                          const CancellationTest& isCancelled = neverCancelled()) const;

    // The same pass reduced over every channel of the file together, in the layout of
    // `style`. Count 0 and no values where generateChannels would be empty.
    Buckets generate(const std::filesystem::path& url, int bucketCount = 512, Style style = Style::minMax,
                     const CancellationTest& isCancelled = neverCancelled()) const;

    // Merges two-value lanes bucket by bucket: smallest minimum, largest maximum. Starts from
    // the first lane; lanes of another value count are skipped. No lanes give count 0.
    static Buckets combine(const std::vector<Buckets>& lanes);
};

} // namespace vaun
