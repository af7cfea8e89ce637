// The engine on its threads, against a device that pulls on a thread of its own: the
// stream arrives whole and in order, a seek while playing jumps without a gap, levels and
// the end come once heard, a feeder that falls behind gives counted silence, and faults
// (a throwing renderer, a feeder stuck in a step) never take the owner down with them.
#include "PlaybackFixtures.h"
#include "common/Errors.h"
#include "playback/ManualOutput.h"
#include "playback/PlaybackEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vaun::test {
namespace {

using namespace std::chrono_literals;

// 256 frames at 48 kHz.
constexpr std::chrono::microseconds kRealTime{5333};

// Pulls `period` frames every `interval` on its own thread and keeps all it got; the last
// `latency` frames count as not yet heard.
class ThreadedDevice final : public AudioOutput {
public:
    ThreadedDevice(std::uint32_t channels, std::chrono::microseconds interval, std::uint32_t period = 256,
                   std::int64_t latency = 512)
        : format_{kRate, channels}, interval_(interval), period_(period), latency_(latency) {}
    ~ThreadedDevice() override { stop(); }

    OutputFormat format() const override { return format_; }
    void start(Render render) override {
        stop();
        rendered_ = 0;
        running_ = true;
        thread_ = std::thread([this, render = std::move(render)] {
            std::vector<float> buffer(std::size_t(period_) * format_.channelCount);
            auto next = std::chrono::steady_clock::now();
            while (running_) {
                render(buffer.data(), period_);
                {
                    std::lock_guard lock(mutex_);
                    recorded_.insert(recorded_.end(), buffer.begin(), buffer.end());
                }
                rendered_ += period_;
                next += interval_;
                std::this_thread::sleep_until(next);
            }
        });
    }
    void stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }
    bool isRunning() const override { return running_; }
    std::int64_t framesPlayed() const override { return std::max<std::int64_t>(0, rendered_ - latency_); }
    bool failed() const override { return false; }

    std::vector<float> recorded() {
        std::lock_guard lock(mutex_);
        return recorded_;
    }

private:
    OutputFormat format_;
    std::chrono::microseconds interval_;
    std::uint32_t period_;
    std::int64_t latency_;
    std::atomic<bool> running_{false};
    std::atomic<std::int64_t> rendered_{0};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<float> recorded_;
};

// Renders in order, first calling `beforeBlock` with the block's number (from 1): a renderer
// that takes its time, throws, or hangs like a read on a stuck file system.
class HookedRenderer final : public RouteRenderer {
public:
    HookedRenderer(std::uint32_t channels, std::function<void(int)> beforeBlock)
        : direct_(DirectRenderer::inOrder(channels, channels)), beforeBlock_(std::move(beforeBlock)) {}
    std::uint32_t outputChannels() const override { return direct_.outputChannels(); }
    void render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) override {
        beforeBlock_(++blocks_);
        direct_.render(planes, frames, out);
    }

private:
    DirectRenderer direct_;
    std::function<void(int)> beforeBlock_;
    int blocks_ = 0;
};

// Where a hooked renderer waits until the test lets it go.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool blocked = false;
    bool released = false;
    void wait() {
        std::unique_lock lock(mutex);
        blocked = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    }
    void release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

class EngineThreads : public ::testing::Test {
protected:
    TempDir dir;
    std::mutex mutex;
    std::condition_variable ended;
    std::vector<std::uint64_t> endedSegments;
    std::vector<std::pair<std::uint64_t, std::string>> failures;
    std::atomic<int> readings{0};
    ThreadedDevice* device = nullptr;

    std::unique_ptr<PlaybackEngine> make(const Planes& planes, std::chrono::microseconds interval,
                                         std::unique_ptr<RouteRenderer> renderer = nullptr) {
        const auto channels = std::uint32_t(planes.size());
        AudioFile file(writeFloatWav(dir / "file.wav", planes));
        auto output = std::make_unique<ThreadedDevice>(channels, interval);
        device = output.get();
        if (!renderer) renderer = std::make_unique<DirectRenderer>(DirectRenderer::inOrder(channels, channels));
        PlaybackEngine::Callbacks callbacks;
        callbacks.levels = [this](const std::vector<float>&, const std::vector<float>&) { ++readings; };
        callbacks.segmentEnded = [this](std::uint64_t segment) {
            std::lock_guard lock(mutex);
            endedSegments.push_back(segment);
            ended.notify_all();
        };
        callbacks.failed = [this](std::uint64_t segment, const Error& error) {
            std::lock_guard lock(mutex);
            failures.emplace_back(segment, error.domain() + ": " + error.description());
            ended.notify_all();
        };
        return std::make_unique<PlaybackEngine>(std::move(file), std::move(renderer), std::move(output),
                                                PlaybackEngine::Mode::RealTime, std::move(callbacks));
    }

    bool waitForFailure(std::chrono::seconds limit = 10s) {
        std::unique_lock lock(mutex);
        return ended.wait_for(lock, limit, [&] { return !failures.empty(); });
    }

    bool waitForEnd(std::uint64_t segment, std::chrono::seconds limit = 10s) {
        std::unique_lock lock(mutex);
        return ended.wait_for(lock, limit, [&] {
            return std::find(endedSegments.begin(), endedSegments.end(), segment) != endedSegments.end();
        });
    }
};

TEST_F(EngineThreads, StreamsTheWholeFileInOrder) {
    const auto planes = markedChannels(3, 30000);
    auto engine = make(planes, kRealTime);
    engine->start(0, 1);
    ASSERT_TRUE(waitForEnd(1));
    EXPECT_EQ(engine->positionFrames(), 30000);
    engine->halt();
    const auto out = device->recorded();
    for (std::uint32_t c = 0; c < 3; ++c) EXPECT_EQ(slice(channelOf(out, 3, c), 0, 30000), planes[c]) << c;
    EXPECT_EQ(engine->underruns(), 0);
    EXPECT_EQ(readings, 15); // 14 × 2048 frames and the last 1328
}

TEST_F(EngineThreads, SeekWhilePlayingJumpsWithoutAGap) {
    const auto planes = markedChannels(2, 120000);
    auto engine = make(planes, kRealTime);
    engine->start(0, 1);
    while (engine->positionFrames() < 9600) std::this_thread::sleep_for(1ms);
    engine->start(96000, 2);
    ASSERT_TRUE(waitForEnd(2));
    engine->halt();
    const auto left = channelOf(device->recorded(), 2, 0);
    // Everything up to the jump is the start of the file, everything after it the file
    // from frame 96000 on: no frame is missing, repeated or silent around the jump.
    std::size_t jump = 0;
    while (jump < left.size() && left[jump] == planes[0][jump]) ++jump;
    ASSERT_GT(jump, 9600u);
    EXPECT_EQ(slice(left, std::int64_t(jump), 24000), slice(planes[0], 96000, 24000));
    EXPECT_EQ(engine->underruns(), 0);
    std::lock_guard lock(mutex);
    EXPECT_EQ(endedSegments, std::vector<std::uint64_t>{2}) << "the replaced segment never ends";
}

TEST_F(EngineThreads, HaltAndStartAgainPicksUpWhereItStopped) {
    const auto planes = markedChannels(2, 40000);
    auto engine = make(planes, kRealTime);
    engine->start(0, 1);
    while (engine->positionFrames() < 20000) std::this_thread::sleep_for(1ms);
    const std::int64_t reached = engine->halt();
    EXPECT_FALSE(engine->isRunning());
    EXPECT_EQ(engine->positionFrames(), reached);
    EXPECT_GE(reached, 20000);
    const std::size_t before = device->recorded().size() / 2;
    // What was heard (all but the device's latency) ends at `reached`.
    EXPECT_LE(std::int64_t(before) - 512 - reached, 256);

    engine->start(reached, 2);
    ASSERT_TRUE(waitForEnd(2));
    const auto left = channelOf(device->recorded(), 2, 0);
    EXPECT_EQ(slice(left, std::int64_t(before), 40000 - reached), slice(planes[0], reached, 40000 - reached));
}

TEST_F(EngineThreads, AFeederThatFallsBehindGivesCountedSilence) {
    const auto planes = markedChannels(2, 48000);
    auto engine = make(planes, 2000us, std::make_unique<HookedRenderer>(2, [](int) { std::this_thread::sleep_for(30ms); }));
    engine->start(0, 1);
    ASSERT_TRUE(waitForEnd(1, 30s));
    engine->halt();
    EXPECT_GT(engine->underruns(), 0);
    // Whatever was played is the file in order, silence aside.
    std::vector<float> played;
    for (float v : channelOf(device->recorded(), 2, 1))
        if (v != 0.0f) played.push_back(v);
    std::vector<float> expected;
    for (float v : planes[1])
        if (v != 0.0f) expected.push_back(v);
    EXPECT_EQ(played, expected);
}

TEST_F(EngineThreads, ARendererThatThrowsEndsPlaybackWithItsError) {
    const auto planes = markedChannels(2, 48000);
    auto engine = make(planes, kRealTime, std::make_unique<HookedRenderer>(2, [](int block) {
        if (block == 3) throw DecoderError(-22, "The binaural renderer failed: Invalid argument");
    }));
    engine->start(0, 1);
    ASSERT_TRUE(waitForFailure());
    std::lock_guard lock(mutex);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], std::make_pair(std::uint64_t(1), std::string("FFmpeg: The binaural renderer failed: Invalid argument")));
    EXPECT_TRUE(endedSegments.empty()) << "a failure is no end";
    // Everything rendered before the failure was heard: two blocks.
    EXPECT_EQ(engine->positionFrames(), 2 * std::int64_t(Feeder::kBlockFrames));
    EXPECT_EQ(engine->failure()->description(), "The binaural renderer failed: Invalid argument");
}

TEST_F(EngineThreads, OwnerCallsReturnAtOnceWhileTheFeederIsStuck) {
    const auto planes = markedChannels(2, 480000);
    auto gate = std::make_shared<Gate>();
    auto engine = make(planes, kRealTime, std::make_unique<HookedRenderer>(2, [gate](int block) {
                           if (block == 40) gate->wait();
                       }));
    engine->start(0, 1);
    {
        std::unique_lock lock(gate->mutex);
        ASSERT_TRUE(gate->changed.wait_for(lock, 10s, [&] { return gate->blocked; }));
    }
    const auto timed = [](auto&& call) {
        const auto t0 = std::chrono::steady_clock::now();
        call();
        return std::chrono::steady_clock::now() - t0;
    };
    EXPECT_LT(timed([&] { engine->halt(); }), 1s);
    EXPECT_LT(timed([&] { engine->start(1000, 2); }), 1s);
    EXPECT_LT(timed([&] { engine->halt(); }), 1s);
    EXPECT_LT(timed([&] { engine.reset(); }), 1s);
    // The stuck step finishes after its engine is gone, harmlessly.
    gate->release();
    std::this_thread::sleep_for(100ms);
}

// A segment's end is told apart from every earlier segment's however many came between.
TEST(EngineTokens, TheEndAfterSeventyThousandReplacementsIsReported) {
    TempDir dir;
    AudioFile file(writeFloatWav(dir / "file.wav", markedChannels(1, 4800)));
    std::vector<std::uint64_t> ends;
    PlaybackEngine::Callbacks callbacks;
    callbacks.segmentEnded = [&](std::uint64_t segment) { ends.push_back(segment); };
    auto output = std::make_unique<ManualOutput>(OutputFormat{kRate, 1});
    ManualOutput& manual = *output;
    PlaybackEngine engine(std::move(file), std::make_unique<DirectRenderer>(DirectRenderer::inOrder(1, 1)),
                          std::move(output), PlaybackEngine::Mode::Manual, callbacks);
    engine.start(0, 1);
    manual.render(9600);
    ASSERT_EQ(ends, std::vector<std::uint64_t>{1});
    for (std::uint64_t token = 2; token <= 70001; ++token) engine.start(4000, token);
    // 1 + 2 × 65536: the same low bits as the segment that ended first.
    engine.start(0, 131073);
    manual.render(9600);
    EXPECT_EQ(ends, (std::vector<std::uint64_t>{1, 131073}));
}

} // namespace
} // namespace vaun::test
