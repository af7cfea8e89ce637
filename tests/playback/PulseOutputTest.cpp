// PulseOutput against a private PulseAudio daemon with null sinks: what reaches each sink
// channel (recorded from the sink's monitor), the playback clock, stop and restart, underrun
// counting, and a server that dies, freezes or loses its sink while we play.
#include "PulseTestServer.h"
#include "playback/PulseOutput.h"

#include <gtest/gtest.h>
#include <pulse/def.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

namespace vaun::test {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// Waits up to `seconds` for `condition`; returns whether it came true.
template <class Condition>
bool eventually(double seconds, Condition condition) {
    const auto start = Clock::now();
    while (!condition()) {
        if (secondsSince(start) > seconds) return false;
        sleepSeconds(0.01);
    }
    return true;
}

// Interleaved sines, one frequency per output position, phase-continuous across calls; an
// optional stall in one call starves the server. Runs on the output's thread.
class ToneSource {
public:
    ToneSource(std::vector<double> frequencies, double rateHz, float amplitude = 0.25f)
        : frequencies_(std::move(frequencies)), rate_(rateHz), amplitude_(amplitude) {}

    AudioOutput::Render render() {
        return [this](float* out, std::uint32_t frames) { fill(out, frames); };
    }
    std::int64_t framesRendered() const { return rendered_.load(); }
    std::int64_t calls() const { return calls_.load(); }
    void stallOnce(double seconds) { stall_.store(seconds); }

private:
    void fill(float* out, std::uint32_t frames) {
        const std::int64_t first = rendered_.load(std::memory_order_relaxed);
        const std::size_t channels = frequencies_.size();
        for (std::uint32_t f = 0; f < frames; ++f)
            for (std::size_t c = 0; c < channels; ++c) {
                const double t = double(first + f) / rate_;
                out[f * channels + c] = amplitude_ * float(std::sin(2 * std::numbers::pi * frequencies_[c] * t));
            }
        rendered_.fetch_add(frames);
        calls_.fetch_add(1);
        if (const double s = stall_.exchange(0); s > 0) sleepSeconds(s);
    }

    std::vector<double> frequencies_;
    double rate_;
    float amplitude_;
    std::atomic<std::int64_t> rendered_{0};
    std::atomic<std::int64_t> calls_{0};
    std::atomic<double> stall_{0};
};

// Distinct frequencies, multiples of 50 Hz (see typicalToneAmplitude).
std::vector<double> distinctTones(unsigned channels) {
    std::vector<double> f;
    for (unsigned i = 0; i < channels; ++i) f.push_back(400 + 200 * i);
    return f;
}

void expectPulseError(const std::function<void()>& call, int code, const std::string& description) {
    try {
        call();
        ADD_FAILURE() << "no error; expected " << description;
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "PulseAudio");
        EXPECT_EQ(e.code(), code) << e.description();
        EXPECT_EQ(e.description(), description);
    }
}

TEST(PulseOutputWithoutServer, FailsWithThePulseAudioError) {
    TempDir dir;
    ScopedEnv server("PULSE_SERVER", "unix:" + (dir / "native").string());
    const auto start = Clock::now();
    const std::string refused = "Cannot connect to the sound server: Connection refused";
    expectPulseError([] { defaultSinkFormat(); }, PA_ERR_CONNECTIONREFUSED, refused);
    expectPulseError([] { openPulseOutput(48000); }, PA_ERR_CONNECTIONREFUSED, refused);
    EXPECT_LT(secondsSince(start), 2.0);

    // A rate the server cannot run is refused before anything is asked of it.
    for (double rate : {0.0, -48000.0, 1e9, std::nan("")}) {
        try {
            openPulseOutput(rate);
            ADD_FAILURE() << "rate " << rate << " accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.domain(), "PulseAudio");
            EXPECT_EQ(e.code(), PA_ERR_INVALID) << e.description();
        }
    }
}

class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseTestServer::available())
            GTEST_SKIP() << "pulseaudio is not installed (scripts/setup installs it)";
        server.emplace();
    }

    void setDefaultSink(const std::string& sink) { ASSERT_EQ(server->pactl("set-default-sink " + sink), 0); }

    // Plays a distinct tone on every position of a stream at `streamRate` for about a second and
    // checks that position i, and nothing else, is heard on sink channel i.
    void expectEachPositionOnItsChannel(const std::string& sink, unsigned channels, double sinkRate, double streamRate) {
        setDefaultSink(sink);
        MonitorRecording recording(sink, channels, unsigned(sinkRate), dir / "monitor.raw");
        const auto output = openPulseOutput(streamRate);
        ASSERT_EQ(output->format(), (OutputFormat{streamRate, channels}));
        const auto tones = distinctTones(channels);
        ToneSource source(tones, streamRate);
        output->start(source.render());
        sleepSeconds(1.2);
        output->stop();
        const Planes heard = afterOnset(recording.finish(), sinkRate, 0.02f, 0.2, 0.5);
        ASSERT_EQ(heard.size(), channels);
        ASSERT_GE(heard[0].size(), std::size_t(0.5 * sinkRate)) << "too little of the tone was recorded";
        for (unsigned c = 0; c < channels; ++c) {
            SCOPED_TRACE("sink channel " + std::to_string(c));
            EXPECT_NEAR(typicalToneAmplitude(heard[c], tones[c], sinkRate), 0.25, 0.02);
            for (unsigned other = 0; other < channels; ++other) {
                if (other == c) continue;
                EXPECT_LT(typicalToneAmplitude(heard[c], tones[other], sinkRate), 0.005) << tones[other] << " Hz";
            }
        }
    }

    TempDir dir;
    std::optional<PulseTestServer> server;
};

TEST_F(PulseOutputTest, ReportsTheDefaultSinksFormat) {
    EXPECT_EQ(defaultSinkFormat(), (OutputFormat{48000, 8}));
    EXPECT_EQ(openPulseOutput(96000)->format(), (OutputFormat{96000, 8}));
    setDefaultSink("two");
    EXPECT_EQ(defaultSinkFormat(), (OutputFormat{44100, 2}));
    EXPECT_EQ(openPulseOutput(48000)->format(), (OutputFormat{48000, 2}));
}

// The eight-channel sink has a 7.1 map in WAVE order, not the server's default map for eight
// channels: a stream that did not take over the sink's map would be remixed by name.
TEST_F(PulseOutputTest, EachPositionReachesItsChannelOnTheEightChannelSink) {
    expectEachPositionOnItsChannel("eight", 8, 48000, 48000);
}

TEST_F(PulseOutputTest, EachPositionReachesItsChannelThroughTheServersResampler) {
    expectEachPositionOnItsChannel("two", 2, 44100, 48000);
}

TEST_F(PulseOutputTest, FramesPlayedFollowsTheClockAndHoldsAfterStop) {
    const auto output = openPulseOutput(48000);
    ToneSource source(distinctTones(8), 48000);
    EXPECT_EQ(output->framesPlayed(), 0);
    output->start(source.render());
    EXPECT_TRUE(output->isRunning());
    ASSERT_TRUE(eventually(2, [&] { return output->framesPlayed() > 0; })) << "playback never began";

    const auto t0 = Clock::now();
    const std::int64_t f0 = output->framesPlayed();
    sleepSeconds(1.0);
    const std::int64_t f1 = output->framesPlayed();
    const double elapsed = secondsSince(t0);
    EXPECT_NEAR(double(f1 - f0) / 48000, elapsed, 0.05 * elapsed);
    // What is heard cannot be ahead of what was rendered; the buffer ahead stays near 50 ms.
    const std::int64_t rendered = source.framesRendered();
    EXPECT_LE(f1, rendered);
    EXPECT_LT(double(rendered - f1) / 48000, 0.25);

    output->stop();
    EXPECT_FALSE(output->isRunning());
    EXPECT_FALSE(output->failed());
    const std::int64_t atStop = output->framesPlayed();
    EXPECT_GE(atStop, f1);
    sleepSeconds(0.2);
    EXPECT_EQ(output->framesPlayed(), atStop);
}

TEST_F(PulseOutputTest, StopEndsRenderingAndStartPlaysAgain) {
    const auto output = openPulseOutput(48000);
    ToneSource first(distinctTones(8), 48000);
    output->start(first.render());
    ASSERT_TRUE(eventually(2, [&] { return output->framesPlayed() > 4800; }));
    output->stop();
    const std::int64_t calls = first.calls();
    sleepSeconds(0.3);
    EXPECT_EQ(first.calls(), calls) << "render called after stop() returned";

    // Resume: a fresh clock, the new source pulled, the old one left alone.
    ToneSource second(distinctTones(8), 48000);
    output->start(second.render());
    EXPECT_TRUE(output->isRunning());
    EXPECT_LT(output->framesPlayed(), 4800);
    ASSERT_TRUE(eventually(2, [&] { return output->framesPlayed() > 9600; }));
    EXPECT_GT(second.calls(), 0);
    EXPECT_EQ(first.calls(), calls);

    // start() while running replaces the source.
    ToneSource third(distinctTones(8), 48000);
    output->start(third.render());
    ASSERT_TRUE(eventually(2, [&] { return third.calls() > 0; }));
    const std::int64_t secondCalls = second.calls();
    sleepSeconds(0.2);
    EXPECT_EQ(second.calls(), secondCalls);
    output->stop();
    output->stop();  // twice is harmless
    EXPECT_FALSE(output->failed());
}

TEST_F(PulseOutputTest, CountsUnderruns) {
    const auto output = openPulseOutput(48000);
    ToneSource source(distinctTones(8), 48000);
    output->start(source.render());
    ASSERT_TRUE(eventually(2, [&] { return output->framesPlayed() > 4800; }));
    const std::int64_t before = output->underruns();
    source.stallOnce(0.4);  // far longer than the ~50 ms the server holds
    EXPECT_TRUE(eventually(3, [&] { return output->underruns() > before; }));
    EXPECT_FALSE(output->failed());
    output->stop();
}

TEST_F(PulseOutputTest, AKilledServerFailsTheOutputWithoutHanging) {
    auto output = openPulseOutput(48000);
    ToneSource source(distinctTones(8), 48000);
    output->start(source.render());
    ASSERT_TRUE(eventually(2, [&] { return output->framesPlayed() > 4800; }));

    server->kill();
    const auto start = Clock::now();
    EXPECT_TRUE(eventually(3, [&] { return output->failed(); }));
    EXPECT_FALSE(output->isRunning());
    EXPECT_GT(output->framesPlayed(), 0);
    output->stop();
    EXPECT_THROW(output->start(source.render()), PulseError);
    output.reset();
    EXPECT_THROW(openPulseOutput(48000), PulseError);
    EXPECT_LT(secondsSince(start), 5.0);
}

TEST_F(PulseOutputTest, ARemovedSinkFailsTheOutput) {
    const auto module = server->pactlOutput("load-module module-null-sink sink_name=spare channels=4");
    ASSERT_TRUE(module) << server->log();
    setDefaultSink("spare");
    const auto output = openPulseOutput(48000);
    EXPECT_EQ(output->format().channelCount, 4u);
    ToneSource source(distinctTones(4), 48000);
    output->start(source.render());
    ASSERT_TRUE(eventually(2, [&] { return output->framesPlayed() > 0; }));

    ASSERT_EQ(server->pactl("unload-module " + *module), 0);
    EXPECT_TRUE(eventually(3, [&] { return output->failed(); }));
    EXPECT_FALSE(output->isRunning());
    output->stop();
}

// A server that stops answering (here: stopped with SIGSTOP) costs a bounded wait, never a hang.
TEST_F(PulseOutputTest, AFrozenServerTimesOut) {
    auto output = openPulseOutput(48000);
    ToneSource source(distinctTones(8), 48000);
    output->start(source.render());
    ASSERT_TRUE(eventually(2, [&] { return output->framesPlayed() > 0; }));

    server->signal(SIGSTOP);
    auto start = Clock::now();
    output->stop();
    output.reset();
    EXPECT_LT(secondsSince(start), 4.0) << "stop() on a frozen server";

    start = Clock::now();
    try {
        openPulseOutput(48000);
        ADD_FAILURE() << "a frozen server accepted a connection";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "PulseAudio");
        EXPECT_EQ(e.code(), PA_ERR_TIMEOUT);
        EXPECT_EQ(e.description().rfind("Cannot connect to the sound server", 0), 0u) << e.description();
        EXPECT_NE(e.description().find(": Timeout"), std::string::npos) << e.description();
    }
    EXPECT_LT(secondsSince(start), 8.0);
    server->signal(SIGCONT);
}

} // namespace
} // namespace vaun::test
