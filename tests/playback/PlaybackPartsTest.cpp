// The small parts under the engine: time and frame conversion, levels in dBFS, the frame
// ring between feeder and output.
#include "playback/FrameRing.h"
#include "playback/FrameTime.h"
#include "playback/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace vaun {
namespace {

TEST(FrameTime, SecondsOfAFrameTruncateBackToIt) {
    int nudged = 0;
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 22050.0, 11025.0, 192000.0}) {
        for (std::int64_t frame = 0; frame < 200000; frame += 7) {
            const double t = secondsForFrame(frame, rate);
            ASSERT_EQ(std::int64_t(t * rate), frame) << rate;
            ASSERT_EQ(frameAtSeconds(t, rate, INT64_MAX), frame);
            nudged += t != double(frame) / rate;
        }
    }
    EXPECT_GT(nudged, 0) << "plain division would have lost frames";
    EXPECT_EQ(secondsForFrame(10, 0), 0.0);
}

TEST(FrameTime, SecondsAreClampedToTheFile) {
    EXPECT_EQ(frameAtSeconds(-1, 48000, 100), 0);
    EXPECT_EQ(frameAtSeconds(1e300, 48000, 100), 100);
    EXPECT_EQ(frameAtSeconds(std::numeric_limits<double>::infinity(), 48000, 100), 100);
    EXPECT_EQ(frameAtSeconds(-std::numeric_limits<double>::infinity(), 48000, 100), 0);
    EXPECT_EQ(frameAtSeconds(std::nan(""), 48000, 100), 0);
    EXPECT_EQ(frameAtSeconds(1, 48000, -1), 0); // an empty file
    EXPECT_EQ(frameAtSeconds(0.5, 48000, 100000), 24000);
}

TEST(LevelMeter, PeakAndRmsInDecibels) {
    EXPECT_EQ(levelDecibels(0), -160.0f);
    EXPECT_EQ(levelDecibels(1), 0.0f);
    EXPECT_FLOAT_EQ(levelDecibels(0.5f), 20 * std::log10(0.5f));

    LevelAccumulator meter(2);
    std::vector<float> a = {0.5f, -1.0f, 0.5f, 0.0f}, b(4, 0.0f);
    const float* planes[] = {a.data(), b.data()};
    meter.add(planes, 1, 3); // -1, 0.5, 0
    EXPECT_EQ(meter.frames(), 3u);
    float peaks[2], averages[2];
    meter.take(peaks, averages);
    EXPECT_EQ(peaks[0], 0.0f);
    EXPECT_FLOAT_EQ(averages[0], levelDecibels(float(std::sqrt(1.25 / 3))));
    EXPECT_EQ(peaks[1], -160.0f);
    EXPECT_EQ(averages[1], -160.0f);
    EXPECT_EQ(meter.frames(), 0u);
    meter.take(peaks, averages);
    EXPECT_EQ(peaks[0], -160.0f) << "taking starts over";
}

TEST(FrameRing, WrapsAndNeverOverfills) {
    FrameRing ring(2, 5);
    const std::vector<float> in = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    EXPECT_EQ(ring.write(in.data(), 7), 5);
    std::vector<float> out(8);
    EXPECT_EQ(ring.read(out.data(), 3), 3);
    EXPECT_EQ(out[5], 6);
    EXPECT_EQ(ring.write(in.data() + 10, 2), 2); // wraps around
    EXPECT_EQ(ring.read(out.data(), 4, ring.readPosition() + 3), 3) << "not past the limit";
    EXPECT_EQ((std::vector<float>(out.begin(), out.begin() + 6)), (std::vector<float>{7, 8, 9, 10, 11, 12}));
    ring.skipTo(100);
    EXPECT_EQ(ring.readPosition(), ring.writePosition()) << "skipping stops at what was written";
}

TEST(FrameRing, OneProducerOneConsumerKeepOrder) {
    FrameRing ring(1, 64);
    constexpr int kFrames = 200000;
    std::thread producer([&] {
        for (int next = 0; next < kFrames;) {
            const float v = float(next);
            next += int(ring.write(&v, 1));
        }
    });
    int expected = 0;
    bool inOrder = true;
    while (expected < kFrames) {
        float buffer[16];
        const auto n = ring.read(buffer, 16);
        for (std::int64_t i = 0; i < n; ++i) inOrder = inOrder && buffer[i] == float(expected++);
    }
    producer.join();
    EXPECT_TRUE(inOrder);
}

} // namespace
} // namespace vaun
