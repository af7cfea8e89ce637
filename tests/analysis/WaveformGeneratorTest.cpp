// Waveform buckets from real files: the bucket plan, exact extremes against the written
// samples, lanes and their merge, cancellation, and files that end before their length.
#include "analysis/WaveformGenerator.h"
#include "decode/AudioFile.h"
#include "TestAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

namespace vaun::test {
namespace {

using Buckets = WaveformGenerator::Buckets;
using Plan = WaveformGenerator::Plan;
using Style = WaveformGenerator::Style;

constexpr WaveformGenerator generator{};

// A ramp of distinct values exactly representable in 32-bit float, rising or falling.
std::vector<float> ramp(std::int64_t frames, bool rising = true) {
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i) v[std::size_t(i)] = float(rising ? i : frames - 1 - i) / 4096.0f - 0.25f;
    return v;
}

std::vector<float> noise(std::int64_t frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (auto& x : v) x = uniform(random);
    return v;
}

// The extremes of frames [from, from + count) of each plane, straight from the samples.
struct Extremes {
    float low, high;
};
Extremes extremes(const Planes& planes, std::size_t firstPlane, std::size_t planeCount, std::int64_t from,
                  std::int64_t count) {
    Extremes e{std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    for (std::size_t c = firstPlane; c < firstPlane + planeCount; ++c) {
        const auto begin = planes[c].begin() + from;
        const auto [lo, hi] = std::minmax_element(begin, begin + count);
        e.low = std::min(e.low, *lo);
        e.high = std::max(e.high, *hi);
    }
    return e;
}

// Buckets computed from the written samples: bucket k starts at k·q + min(k, r).
std::vector<float> referenceValues(const Planes& planes, std::size_t firstPlane, std::size_t planeCount, int count,
                                   Style style = Style::minMax) {
    const auto length = std::int64_t(planes[0].size());
    const std::int64_t q = length / count, r = length % count;
    std::vector<float> values;
    for (int k = 0; k < count; ++k) {
        const std::int64_t from = k * q + std::min<std::int64_t>(k, r);
        const Extremes e = extremes(planes, firstPlane, planeCount, from, q + (k < r ? 1 : 0));
        if (style == Style::peak) {
            values.push_back(std::max(std::abs(e.low), std::abs(e.high)));
        } else {
            values.push_back(e.low);
            values.push_back(e.high);
        }
    }
    return values;
}

class WaveformTest : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const Planes& planes, SampleFormat format = SampleFormat::Float32) {
        const auto path = dir / name;
        WavOptions options;
        options.format = format;
        writeWav(path, planes, 48000, options);
        return path;
    }

    TempDir dir;
};

// --- bucket plan -------------------------------------------------------------------------

TEST(WaveformPlan, NeverMoreBucketsThanFramesOrTheCap) {
    EXPECT_EQ(WaveformGenerator::plan(100, 512), (Plan{100, 1, 0}));
    EXPECT_EQ(WaveformGenerator::plan(1000, 512), (Plan{512, 1, 488}));
    EXPECT_EQ(WaveformGenerator::plan(16384, 20000), (Plan{16384, 1, 0}));
    EXPECT_EQ(WaveformGenerator::plan(16385, 20000), (Plan{16384, 1, 1}));
    EXPECT_EQ(WaveformGenerator::plan(28'800'000, 512), (Plan{512, 56250, 0}));
    EXPECT_EQ(WaveformGenerator::plan(std::int64_t(1) << 40, 1 << 30).count, 16384);
    EXPECT_EQ(WaveformGenerator::plan(1, 512), (Plan{1, 1, 0}));
    for (const auto& [length, buckets] : {std::pair<std::int64_t, int>{0, 512}, {-5, 512}, {100, 0}, {100, -3}})
        EXPECT_EQ(WaveformGenerator::plan(length, buckets), Plan{}) << length << " frames, " << buckets << " buckets";
}

TEST(WaveformPlan, BucketsCoverEveryFrameOnceWithTheLongerOnesFirst) {
    for (std::int64_t length : {1, 7, 511, 512, 513, 1000, 4097, 48077, 1'000'003}) {
        for (int asked : {1, 3, 512, 20000}) {
            const Plan plan = WaveformGenerator::plan(length, asked);
            std::int64_t covered = 0;
            for (int k = 0; k < plan.count; ++k) {
                ASSERT_GE(plan.framesIn(k), 1);
                if (k > 0) {
                    ASSERT_LE(plan.framesIn(k), plan.framesIn(k - 1));
                }
                covered += plan.framesIn(k);
            }
            EXPECT_EQ(covered, length) << length << " frames in " << asked << " buckets";
            EXPECT_EQ(plan.framesIn(plan.count - 1), plan.framesPerBucket);
        }
    }
}

// --- bucket contents ---------------------------------------------------------------------

TEST_F(WaveformTest, ShortFileGivesOneFramePerBucket) {
    const Planes planes{ramp(100)};
    const auto lanes = generator.generateChannels(write("short.wav", planes));
    ASSERT_EQ(lanes.size(), 1u);
    EXPECT_EQ(lanes[0].bucketCount, 100);
    EXPECT_EQ(lanes[0].framesPerBucket, 1);
    ASSERT_EQ(lanes[0].values.size(), 200u);
    for (std::size_t k = 0; k < 100; ++k) {
        EXPECT_EQ(lanes[0].values[2 * k], planes[0][k]);
        EXPECT_EQ(lanes[0].values[2 * k + 1], planes[0][k]);
    }
}

TEST_F(WaveformTest, LongerBucketsComeFirst) {
    // 1000 frames in 512 buckets: 488 of 2 frames, then 24 of 1. A rising and a falling ramp
    // show which frames each bucket took, and that the minimum comes before the maximum.
    const Planes planes{ramp(1000), ramp(1000, false)};
    const auto lanes = generator.generateChannels(write("thousand.wav", planes));
    ASSERT_EQ(lanes.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const auto& lane = lanes[c];
        EXPECT_EQ(lane.bucketCount, 512);
        EXPECT_EQ(lane.framesPerBucket, 1);
        ASSERT_EQ(lane.values.size(), 1024u);
        const auto& x = planes[c];
        for (std::size_t k = 0; k < 512; ++k) {
            const std::size_t first = k < 488 ? 2 * k : 976 + (k - 488);
            const std::size_t last = k < 488 ? first + 1 : first;
            ASSERT_EQ(lane.values[2 * k], std::min(x[first], x[last])) << "bucket " << k;
            ASSERT_EQ(lane.values[2 * k + 1], std::max(x[first], x[last])) << "bucket " << k;
        }
    }
}

TEST_F(WaveformTest, ImpulsesLandInTheirBuckets) {
    // 10000 frames in 512 buckets: 272 of 20 frames, then 240 of 19. Impulses at the edges
    // of long and short buckets, where they meet, and on both sides of a read-block boundary.
    std::vector<float> x(10000, 0.0f);
    const std::vector<std::pair<std::size_t, float>> impulses = {
        {0, 0.5f},      {19, -0.5f},     {20, 0.25f},     {5439, 0.75f},  {5440, -0.75f},
        {5458, 0.375f}, {5459, -0.375f}, {4095, 0.125f},  {4096, -0.125f}, {9999, 1.0f}};
    for (const auto& [at, v] : impulses) x[at] = v;
    const auto lanes = generator.generateChannels(write("impulses.wav", {x}));
    ASSERT_EQ(lanes.size(), 1u);
    ASSERT_EQ(lanes[0].bucketCount, 512);
    EXPECT_EQ(lanes[0].framesPerBucket, 19);
    auto bucketOf = [](std::size_t frame) { return frame < 5440 ? frame / 20 : 272 + (frame - 5440) / 19; };
    std::vector<float> expected(1024, 0.0f);
    for (const auto& [at, v] : impulses) {
        const std::size_t k = bucketOf(at);
        expected[2 * k] = std::min(expected[2 * k], v);
        expected[2 * k + 1] = std::max(expected[2 * k + 1], v);
    }
    EXPECT_EQ(lanes[0].values, expected);
    // Spot checks of the expectation itself.
    EXPECT_EQ(bucketOf(5458), 272u);
    EXPECT_EQ(bucketOf(9999), 511u);
    EXPECT_EQ(expected[2 * 204], -0.125f); // frames 4080-4099, across the block boundary
    EXPECT_EQ(expected[2 * 204 + 1], 0.125f);
}

TEST_F(WaveformTest, ExtremesMatchTheWrittenSamplesExactly) {
    // Buckets smaller than a read block, straddling blocks, and larger than several.
    const std::int64_t frames = 3 * 4096 + 1234;
    const Planes planes{noise(frames, 1), noise(frames, 2), noise(frames, 3)};
    const auto path = write("noise.wav", planes);
    for (int count : {1, 3, 7, 512, 10000, 20000}) {
        SCOPED_TRACE(count);
        const int produced = std::min<int>(count, int(frames));
        const auto lanes = generator.generateChannels(path, count);
        ASSERT_EQ(lanes.size(), 3u);
        for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(lanes[c].bucketCount, produced);
            EXPECT_EQ(lanes[c].framesPerBucket, frames / produced);
            EXPECT_EQ(lanes[c].values, referenceValues(planes, c, 1, produced)) << "channel " << c;
        }
        // All channels together, either style.
        const Buckets together = generator.generate(path, count, Style::minMax);
        EXPECT_EQ(together.bucketCount, produced);
        EXPECT_EQ(together.framesPerBucket, frames / produced);
        EXPECT_EQ(together.values, referenceValues(planes, 0, 3, produced));
        EXPECT_EQ(together, WaveformGenerator::combine(lanes));
        const Buckets peaks = generator.generate(path, count, Style::peak);
        EXPECT_EQ(peaks.bucketCount, produced);
        EXPECT_EQ(peaks.values, referenceValues(planes, 0, 3, produced, Style::peak));
    }
}

TEST_F(WaveformTest, PeakIsTheLargerMagnitudeOfEitherSign) {
    // Two buckets: one pulled down further than up, one up further than down.
    const Planes planes{{-0.75f, 0.5f, -0.25f, 0.875f}, {0.25f, 0.125f, 0.0f, -0.5f}};
    const auto path = write("signs.wav", planes);
    EXPECT_EQ(generator.generate(path, 2, Style::minMax).values, (std::vector<float>{-0.75f, 0.5f, -0.5f, 0.875f}));
    const Buckets peaks = generator.generate(path, 2, Style::peak);
    EXPECT_EQ(peaks, (Buckets{2, 2, {0.75f, 0.875f}}));
}

TEST_F(WaveformTest, SamplesAreNotScaledOrClipped) {
    // Float files may exceed full scale; the buckets report what the decoder delivers.
    const Planes planes{{2.5f, -3.0f, 0.001f, -0.001f}};
    EXPECT_EQ(generator.generateChannels(write("hot.wav", planes), 2)[0].values,
              (std::vector<float>{-3.0f, 2.5f, -0.001f, 0.001f}));
}

TEST_F(WaveformTest, NaNSamplesNeverReachABucket) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Bucket 0: NaN first, inside both 16-sample runs and in the tail after them; bucket 1:
    // nothing but NaN, which reads like a bucket without samples.
    std::vector<float> x(80, nan);
    for (std::size_t i = 0; i < 40; ++i) x[i] = float(i) / 64.0f - 0.25f;
    for (std::size_t i : {0, 9, 20, 35}) x[i] = nan;
    const auto path = write("nan.wav", {x, std::vector<float>(80, 0.5f)});
    const auto lanes = generator.generateChannels(path, 2);
    ASSERT_EQ(lanes.size(), 2u);
    EXPECT_EQ(lanes[0].values, (std::vector<float>{1.0f / 64 - 0.25f, 39.0f / 64 - 0.25f, 0.0f, 0.0f}));
    EXPECT_EQ(lanes[1].values, (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(generator.generate(path, 2, Style::minMax).values,
              (std::vector<float>{1.0f / 64 - 0.25f, 0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(generator.generate(path, 2, Style::peak).values, (std::vector<float>{0.5f, 0.5f}));
}

TEST_F(WaveformTest, SilenceGivesZeros) {
    for (const auto format : {SampleFormat::Float32, SampleFormat::PCM24}) {
        const auto path = write("silence.wav", Planes(2, std::vector<float>(48000, 0.0f)), format);
        const auto lanes = generator.generateChannels(path);
        ASSERT_EQ(lanes.size(), 2u);
        for (const auto& lane : lanes) {
            EXPECT_EQ(lane.bucketCount, 512);
            EXPECT_EQ(lane.framesPerBucket, 93);
            EXPECT_EQ(lane.values, std::vector<float>(1024, 0.0f));
        }
        EXPECT_EQ(generator.generate(path, 512, Style::peak).values, std::vector<float>(512, 0.0f));
    }
}

TEST_F(WaveformTest, ManyBucketsAreCapped) {
    const std::int64_t frames = 40000;
    const Planes planes{noise(frames, 4)};
    const auto lanes = generator.generateChannels(write("long.wav", planes), 20000);
    ASSERT_EQ(lanes.size(), 1u);
    EXPECT_EQ(lanes[0].bucketCount, 16384);
    EXPECT_EQ(lanes[0].framesPerBucket, 2);
    EXPECT_EQ(lanes[0].values, referenceValues(planes, 0, 1, 16384));
}

// --- lanes -------------------------------------------------------------------------------

TEST_F(WaveformTest, LanesFollowTheChannelsUpToTheLimit) {
    // Channel c holds a constant (c + 1) / 64 so each lane shows where it came from.
    Planes planes;
    for (int c = 0; c < 32; ++c) planes.emplace_back(300, float(c + 1) / 64.0f);
    const auto path = write("thirty-two.wav", planes);
    ASSERT_EQ(AudioFile(path).processingFormat().channelCount, 32u);

    const auto lanes = generator.generateChannels(path, 10);
    ASSERT_EQ(lanes.size(), 24u);
    for (std::size_t c = 0; c < lanes.size(); ++c) {
        EXPECT_EQ(lanes[c].bucketCount, 10);
        EXPECT_EQ(lanes[c].framesPerBucket, 30);
        EXPECT_EQ(lanes[c].values, std::vector<float>(20, float(c + 1) / 64.0f)) << "lane " << c;
    }
    EXPECT_EQ(generator.generateChannels(path, 10, 2).size(), 2u);
    EXPECT_EQ(generator.generateChannels(path, 10, 40).size(), 32u);
    EXPECT_TRUE(generator.generateChannels(path, 10, 0).empty());
    EXPECT_TRUE(generator.generateChannels(path, 10, -1).empty());

    // The merged waveform spans the first 24 channels; generate reads every channel.
    const Buckets merged = WaveformGenerator::combine(lanes);
    EXPECT_EQ(merged.bucketCount, 10);
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(merged.values[2 * k], 1.0f / 64);
        EXPECT_EQ(merged.values[2 * k + 1], 24.0f / 64);
    }
    const Buckets all = generator.generate(path, 10, Style::minMax);
    EXPECT_EQ(all.values[0], 1.0f / 64);
    EXPECT_EQ(all.values[1], 32.0f / 64);
}

TEST(WaveformCombine, MergesPairwiseAndSkipsMismatchedLanes) {
    EXPECT_EQ(WaveformGenerator::combine({}), (Buckets{0, 0, {}}));
    EXPECT_TRUE(WaveformGenerator::combine({}).isEmpty());

    const Buckets one{3, 1000, {-0.5f, 0.25f, 0.0f, 0.0f, -1.0f, 1.0f}};
    EXPECT_EQ(WaveformGenerator::combine({one}), one);

    const Buckets a{1, 10, {-0.5f, 0.2f}};
    const Buckets b{1, 10, {-0.1f, 0.9f}};
    EXPECT_EQ(WaveformGenerator::combine({a, b}), (Buckets{1, 10, {-0.5f, 0.9f}}));
    EXPECT_EQ(WaveformGenerator::combine({b, a}), (Buckets{1, 10, {-0.5f, 0.9f}}));

    // A lane of another length, or an empty one, is left out; the first lane sets the shape.
    const Buckets longer{2, 5, {-0.9f, 0.95f, -0.8f, 0.8f}};
    EXPECT_EQ(WaveformGenerator::combine({a, longer, b, Buckets{}}), (Buckets{1, 10, {-0.5f, 0.9f}}));
    EXPECT_EQ(WaveformGenerator::combine({longer, a}), longer);
    EXPECT_EQ(WaveformGenerator::combine({Buckets{}, a}), Buckets{});
}

// --- empty results, errors and cancellation ----------------------------------------------

TEST_F(WaveformTest, NothingToReduceGivesEmptyResults) {
    const auto empty = write("empty.wav", {{}, {}});
    EXPECT_TRUE(generator.generateChannels(empty).empty());
    EXPECT_EQ(generator.generate(empty), Buckets{});

    const auto path = write("short.wav", {ramp(100)});
    for (int count : {0, -1}) {
        EXPECT_TRUE(generator.generateChannels(path, count).empty());
        const Buckets none = generator.generate(path, count, Style::peak);
        EXPECT_EQ(none, Buckets{});
        EXPECT_TRUE(none.isEmpty());
    }
}

TEST_F(WaveformTest, OpeningErrorsPassUnchanged) {
    try {
        generator.generateChannels(dir / "absent.wav");
        FAIL() << "no error";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), ENOENT);
    }
    const auto text = dir / "text.wav";
    std::ofstream(text) << "Not audio, only a sentence long enough to be sniffed as text.\n";
    EXPECT_THROW(generator.generate(text), DecoderError);
}

TEST_F(WaveformTest, CancellationIsPolledBeforeOpeningBetweenBlocksAndAtTheEnd) {
    // Cancelled before opening: no file is touched, so a missing one still cancels.
    const auto cancelled = [] { return true; };
    EXPECT_THROW(generator.generateChannels(dir / "absent.wav", 512, 24, cancelled), CancellationError);
    EXPECT_THROW(generator.generate(dir / "absent.wav", 512, Style::peak, cancelled), CancellationError);

    // Three full blocks and a partial one: a poll before opening, one per block, one after.
    const auto path = write("blocks.wav", {noise(3 * 4096 + 100, 5)});
    int polls = 0;
    const auto counting = [&] {
        ++polls;
        return false;
    };
    EXPECT_EQ(generator.generateChannels(path, 512, 24, counting).size(), 1u);
    EXPECT_EQ(polls, 6);

    for (int stopAt = 1; stopAt <= 6; ++stopAt) {
        SCOPED_TRACE(stopAt);
        int seen = 0;
        const auto cancelAt = [&] { return ++seen == stopAt; };
        EXPECT_THROW(generator.generateChannels(path, 512, 24, cancelAt), CancellationError);
        EXPECT_EQ(seen, stopAt);
        seen = 0;
        EXPECT_THROW(generator.generate(path, 512, Style::minMax, cancelAt), CancellationError);
    }
}

TEST_F(WaveformTest, AudioEndingBeforeItsLengthFailsWithCode3) {
    // A FLAC whose STREAMINFO promises every frame, with a stretch of its frames scribbled
    // over: the decoder stops at the damage, well short of the length it reported.
    const auto whole = dir / "whole.flac";
    ffmpeg(write("source.wav", {noise(5 * 48000, 6), noise(5 * 48000, 7)}, SampleFormat::PCM24), "-c:a flac", whole);
    std::ifstream in(whole, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 2000; ++i) bytes[i] = 0;
    const auto damaged = dir / "damaged.flac";
    std::ofstream(damaged, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    {
        AudioFile file(damaged);
        ASSERT_EQ(file.length(), 5 * 48000) << "the decoder no longer reports the promised length";
        auto buffer = AudioPCMBuffer::make(2, 4096);
        std::int64_t delivered = 0;
        do {
            file.read(*buffer, 4096);
            delivered += buffer->frameLength();
        } while (buffer->frameLength() > 0);
        ASSERT_LT(delivered, file.length()) << "the damage no longer ends the data early";
    }

    auto expectCode3 = [](auto&& pass) {
        try {
            pass();
            FAIL() << "no error";
        } catch (const VaunError& e) {
            EXPECT_EQ(e.domain(), "Vaun");
            EXPECT_EQ(e.code(), 3);
            EXPECT_EQ(e.description(), "Audio ended before the declared frame count or supplied no PCM samples.");
        }
    };
    expectCode3([&] { generator.generateChannels(damaged); });
    expectCode3([&] { generator.generate(damaged, 512, Style::peak); });
    EXPECT_EQ(generator.generateChannels(whole).size(), 2u);
}

} // namespace
} // namespace vaun::test
