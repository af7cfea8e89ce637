// Both players on a private sound server whose sink goes away mid-play: playback stops where
// the sound stopped, the owner hears of it once through the failure callback (never as the
// end), and the next play opens the device afresh.
#include "PlaybackFixtures.h"
#include "PulseTestServer.h"
#include "playback/LoopExecutor.h"
#include "playback/MultichannelPlayer.h"
#include "playback/SimplePlayer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace vaun::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PlayerDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseTestServer::available()) GTEST_SKIP() << "pulseaudio is not installed (scripts/setup installs it)";
        server.emplace();
        const auto loaded = server->pactlOutput("load-module module-null-sink sink_name=spare channels=4");
        ASSERT_TRUE(loaded) << server->log();
        module = *loaded;
        ASSERT_EQ(server->pactl("set-default-sink spare"), 0);
    }

    // Runs the owner's loop until `done` or `limit`.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        loop.runUntil([&] { return done() || Clock::now() > deadline; }, 10ms, nullptr);
        return done();
    }

    // Plays until `position` passes 0.3 s, removes the sink, and checks what the owner sees.
    template <class Player>
    void expectTheLostSinkStopsPlayback(Player& player, const std::function<double()>& position) {
        int failures = 0, ends = 0;
        std::string failure;
        player.setOnFailed([&](const Error& e) {
            ++failures;
            failure = e.description();
        });
        ASSERT_TRUE(runUntil([&] { return position() > 0.3; }, 5000ms));
        ASSERT_EQ(server->pactl("unload-module " + module), 0);
        const auto removed = Clock::now();
        EXPECT_TRUE(runUntil([&] { return failures > 0; }, 1000ms)) << "no failure within 1 s";
        EXPECT_LT(Clock::now() - removed, 1000ms);
        runUntil([] { return false; }, 200ms);
        EXPECT_EQ(failures, 1);
        EXPECT_EQ(ends, 0);
        EXPECT_EQ(failure, "The audio device stopped or went away.");
        EXPECT_FALSE(player.isPlaying());
        const double held = position();
        EXPECT_GT(held, 0.3);
        runUntil([] { return false; }, 200ms);
        EXPECT_EQ(position(), held) << "the position holds where the sound stopped";
    }

    TempDir dir;
    std::optional<PulseTestServer> server;
    std::string module;
    LoopExecutor loop;
};

TEST_F(PlayerDevice, TheMultichannelPlayerStopsAndPlaysAgainOnTheDeviceThereNow) {
    MultichannelPlayer player(writeFloatWav(dir / "four.wav", markedChannels(4, 10 * 48000)), loop);
    EXPECT_EQ(player.route().summary(), "Direct out \u00b7 4 of 4 outputs");
    bool finished = false;
    player.setOnFinished([&] { finished = true; });
    player.play(0);
    expectTheLostSinkStopsPlayback(player, [&] { return player.currentTime(); });
    EXPECT_FALSE(finished);

    // The server's default is now the eight-channel sink: playing again opens it.
    const double from = player.currentTime();
    player.play(from);
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(player.route().summary(), "Direct out \u00b7 4 of 8 outputs");
    EXPECT_TRUE(runUntil([&] { return player.currentTime() > from + 0.2; }, 3000ms));
    player.stop();
}

TEST_F(PlayerDevice, TheSimplePlayerStopsAndPlaysAgainOnTheDeviceThereNow) {
    SimplePlayer player(writeFloatWav(dir / "stereo.wav", markedChannels(2, 10 * 48000)), loop);
    ASSERT_TRUE(player.play());
    expectTheLostSinkStopsPlayback(player, [&] { return player.currentTime(); });
    const double from = player.currentTime();
    EXPECT_TRUE(player.prepareToPlay());
    EXPECT_TRUE(player.play());
    EXPECT_TRUE(player.isPlaying());
    EXPECT_TRUE(runUntil([&] { return player.currentTime() > from + 0.2; }, 3000ms));
    player.stop();
}

} // namespace
} // namespace vaun::test
