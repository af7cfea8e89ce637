#include "analysis/WaveformGenerator.h"

#include "decode/AudioFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace vaun {
namespace {

using Buckets = WaveformGenerator::Buckets;
using Plan = WaveformGenerator::Plan;
using Style = WaveformGenerator::Style;

// Running extremes start at the largest finite float either way, so a bucket that saw no
// samples (or only NaN) is recognisable by its minimum still lying above its maximum.
constexpr float kStart = std::numeric_limits<float>::max();

[[noreturn]] void failEndedEarly() {
    throw VaunError(3, "Audio ended before the declared frame count or supplied no PCM samples.");
}

// Four lanes of floats; GCC and Clang lower operations on these to packed instructions
// (minps/maxps on baseline x86-64) or to scalars where the target has none.
typedef float Vec4 __attribute__((vector_size(16)));

// Folds a run of samples into running extremes, 16 at a time in four independent vector
// accumulators. `v < lo ? v : lo` is exactly the packed minimum's rule: a NaN in v loses the
// comparison and leaves lo alone, so NaN never enters the extremes.
void foldRun(const float* samples, std::size_t n, float& low, float& high) {
    constexpr std::size_t step = 16;
    float lowest = low, highest = high;
    std::size_t i = 0;
    if (n >= step) {
        Vec4 lo[4], hi[4];
        for (int k = 0; k < 4; ++k) {
            lo[k] = Vec4{lowest, lowest, lowest, lowest};
            hi[k] = Vec4{highest, highest, highest, highest};
        }
        for (; i + step <= n; i += step) {
            for (int k = 0; k < 4; ++k) {
                Vec4 v;
                std::memcpy(&v, samples + i + 4 * std::size_t(k), sizeof v); // unaligned load
                lo[k] = v < lo[k] ? v : lo[k];
                hi[k] = v > hi[k] ? v : hi[k];
            }
        }
        for (int k = 0; k < 4; ++k) {
            for (int j = 0; j < 4; ++j) {
                lowest = lo[k][j] < lowest ? lo[k][j] : lowest;
                highest = hi[k][j] > highest ? hi[k][j] : highest;
            }
        }
    }
    for (; i < n; ++i) {
        const float v = samples[i];
        lowest = v < lowest ? v : lowest;
        highest = v > highest ? v : highest;
    }
    low = lowest;
    high = highest;
}

// One output lane: the channels it folds together, its running extremes and its values.
struct Lane {
    Lane(std::uint32_t first, std::uint32_t count) : firstChannel(first), channelCount(count) {}

    std::uint32_t firstChannel;
    std::uint32_t channelCount;
    float low = kStart;
    float high = -kStart;
    std::vector<float> values;
};

// Walks decoded blocks through the bucket plan, closing buckets as they fill.
class BucketWalk {
public:
    BucketWalk(const Plan& plan, std::vector<Lane> lanes, Style style)
        : plan_(plan), style_(style), lanes_(std::move(lanes)), missing_(plan.framesIn(0)) {
        const auto perBucket = std::size_t(style == Style::peak ? 1 : 2);
        for (auto& lane : lanes_) lane.values.reserve(perBucket * std::size_t(plan.count));
    }

    bool done() const { return produced_ >= plan_.count; }

    void take(const float* const* planes, std::int64_t frames) {
        std::int64_t at = 0;
        while (at < frames && !done()) {
            const std::int64_t run = std::min(missing_, frames - at);
            for (auto& lane : lanes_) {
                for (std::uint32_t c = lane.firstChannel; c < lane.firstChannel + lane.channelCount; ++c)
                    foldRun(planes[c] + at, std::size_t(run), lane.low, lane.high);
            }
            at += run;
            missing_ -= run;
            if (missing_ == 0) close();
            else started_ = true;
        }
    }

    // A bucket cut short by the end of the reads keeps what it received.
    void finish() {
        if (started_ && !done()) close();
    }

    int produced() const { return produced_; }
    std::vector<Lane>& lanes() { return lanes_; }

private:
    void close() {
        for (auto& lane : lanes_) {
            const bool seen = lane.low <= lane.high;
            const float low = seen ? lane.low : 0.0f;
            const float high = seen ? lane.high : 0.0f;
            if (style_ == Style::peak) {
                lane.values.push_back(std::max(std::fabs(low), std::fabs(high)));
            } else {
                lane.values.push_back(low);
                lane.values.push_back(high);
            }
            lane.low = kStart;
            lane.high = -kStart;
        }
        ++produced_;
        started_ = false;
        missing_ = done() ? 0 : plan_.framesIn(produced_);
    }

    Plan plan_;
    Style style_;
    std::vector<Lane> lanes_;
    int produced_ = 0;
    std::int64_t missing_;
    bool started_ = false;
};

// Which lanes a pass fills: one per channel up to a limit, or one over all channels.
struct LaneChoice {
    bool together = false;
    int maxChannels = 0;
};

struct PassResult {
    Plan plan;
    int produced = 0;
    std::vector<Lane> lanes;
};

// The one pass both entry points share. Absent when the result is empty by rule.
std::optional<PassResult> reduce(const std::filesystem::path& url, int bucketCount, LaneChoice choice, Style style,
                                 const CancellationTest& isCancelled) {
    throwIfCancelled(isCancelled);
    AudioFile file(url);
    const std::uint32_t channels = file.processingFormat().channelCount;
    const std::int64_t length = file.length();

    std::vector<Lane> lanes;
    if (choice.together) {
        lanes.emplace_back(0, channels);
    } else {
        const auto count = std::min<std::int64_t>(std::max(choice.maxChannels, 0), channels);
        for (std::int64_t c = 0; c < count; ++c) lanes.emplace_back(std::uint32_t(c), 1);
    }
    if (length < 1 || bucketCount < 1 || lanes.empty()) return std::nullopt;

    const Plan plan = WaveformGenerator::plan(length, bucketCount);
    auto buffer = AudioPCMBuffer::make(channels, WaveformGenerator::blockFrames);
    if (!buffer) return std::nullopt;

    // A plain loop on this thread: folding costs a few per cent of decoding, less than
    // handing blocks over from a read-ahead thread did when measured.
    BucketWalk walk(plan, std::move(lanes), style);
    std::int64_t read = 0;
    while (read < length && !walk.done()) {
        throwIfCancelled(isCancelled);
        const auto wanted = std::uint32_t(std::min<std::int64_t>(length - read, WaveformGenerator::blockFrames));
        file.read(*buffer, wanted);
        const auto frames = std::min(buffer->frameLength(), wanted);
        const float* const* planes = buffer->floatChannelData();
        if (frames == 0 || planes == nullptr) failEndedEarly();
        walk.take(planes, frames);
        read += frames;
    }
    walk.finish();
    throwIfCancelled(isCancelled);
    return PassResult{plan, walk.produced(), std::move(walk.lanes())};
}

} // namespace

Plan WaveformGenerator::plan(std::int64_t length, int bucketCount) {
    if (length < 1 || bucketCount < 1) return {};
    const int count = length <= maxBuckets ? int(std::min<std::int64_t>(length, bucketCount))
                                           : std::min(bucketCount, maxBuckets);
    const std::int64_t framesPerBucket = length / count;
    return Plan{count, framesPerBucket, length - framesPerBucket * count};
}

std::vector<Buckets> WaveformGenerator::generateChannels(const std::filesystem::path& url, int bucketCount,
                                                         int maxChannels, const CancellationTest& isCancelled) const {
    auto pass = reduce(url, bucketCount, LaneChoice{false, maxChannels}, Style::minMax, isCancelled);
    if (!pass) return {};
    std::vector<Buckets> result;
    result.reserve(pass->lanes.size());
    for (auto& lane : pass->lanes)
        result.push_back(Buckets{pass->produced, pass->plan.framesPerBucket, std::move(lane.values)});
    return result;
}

Buckets WaveformGenerator::generate(const std::filesystem::path& url, int bucketCount, Style style,
                                    const CancellationTest& isCancelled) const {
    auto pass = reduce(url, bucketCount, LaneChoice{true, 0}, style, isCancelled);
    if (!pass) return {};
    return Buckets{pass->produced, pass->plan.framesPerBucket, std::move(pass->lanes.front().values)};
}

Buckets WaveformGenerator::combine(const std::vector<Buckets>& lanes) {
    if (lanes.empty()) return {};
    Buckets result = lanes.front();
    for (std::size_t l = 1; l < lanes.size(); ++l) {
        const auto& values = lanes[l].values;
        if (values.empty() || values.size() != result.values.size()) continue;
        for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
            result.values[i] = std::min(result.values[i], values[i]);
            result.values[i + 1] = std::max(result.values[i + 1], values[i + 1]);
        }
    }
    return result;
}

} // namespace vaun
