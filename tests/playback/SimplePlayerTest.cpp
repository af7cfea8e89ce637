// The simple player rendered offline: where mono and stereo files go, the operations a
// play button drives, and the meters it refreshes on demand.
#include "PlaybackFixtures.h"
#include "common/Errors.h"
#include "playback/SimplePlayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace vaun::test {
namespace {

class SimplePlayerRender : public ::testing::Test {
protected:
    TempDir dir;
    LoopExecutor executor;

    std::unique_ptr<SimplePlayer> open(const Planes& planes, std::uint32_t outputs) {
        return std::make_unique<SimplePlayer>(writeFloatWav(dir / "file.wav", planes), executor, OutputFormat{kRate, outputs});
    }
    static std::vector<float> render(SimplePlayer& player, std::int64_t frames) {
        return player.manualOutput()->render(std::uint32_t(frames));
    }
};

TEST_F(SimplePlayerRender, MonoPlaysCentredAndStereoLeftAndRight) {
    const auto mono = markedChannels(1, 4800);
    auto player = open(mono, 2);
    EXPECT_EQ(player->route().summary(), "Direct out \u00B7 1 of 2 outputs");
    EXPECT_EQ(player->numberOfChannels(), 1);
    ASSERT_TRUE(player->play());
    auto out = render(*player, 4800);
    EXPECT_EQ(channelOf(out, 2, 0), mono[0]);
    EXPECT_EQ(channelOf(out, 2, 1), mono[0]);

    const auto stereo = markedChannels(2, 4800);
    player = open(stereo, 4);
    EXPECT_EQ(player->route().summary(), "Direct out \u00B7 2 of 4 outputs");
    ASSERT_TRUE(player->play());
    out = render(*player, 4800);
    EXPECT_EQ(channelOf(out, 4, 0), stereo[0]);
    EXPECT_EQ(channelOf(out, 4, 1), stereo[1]);
    EXPECT_EQ(rmsDB(channelOf(out, 4, 2)), -160.0);

    // A one-output device hears both sides at half level each.
    player = open(stereo, 1);
    ASSERT_TRUE(player->play());
    out = render(*player, 4800);
    EXPECT_FLOAT_EQ(out[100], 0.5f * (stereo[0][100] + stereo[1][100]));
}

TEST_F(SimplePlayerRender, PlayPauseSeekAndTheEnd) {
    const auto planes = markedChannels(2, 48000);
    auto player = open(planes, 2);
    EXPECT_DOUBLE_EQ(player->duration(), 1.0);
    EXPECT_TRUE(player->prepareToPlay());
    EXPECT_FALSE(player->isPlaying());

    player->setCurrentTime(0.5); // while stopped: where the next play starts
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.5);
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(player->isPlaying());
    auto out = render(*player, 4800);
    EXPECT_EQ(channelOf(out, 2, 1), slice(planes[1], 24000, 4800));
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.6);

    player->pause();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.6);
    EXPECT_EQ(rmsDB(render(*player, 480)), -160.0);
    ASSERT_TRUE(player->play());
    out = render(*player, 480);
    EXPECT_EQ(channelOf(out, 2, 0), slice(planes[0], 28800, 480));

    player->setCurrentTime(0.1); // while playing: a seek
    out = render(*player, 480);
    EXPECT_EQ(channelOf(out, 2, 0), slice(planes[0], 4800, 480));

    render(*player, 48000);
    executor.runPending();
    EXPECT_FALSE(player->isPlaying()) << "the end of the file stops the player";
    EXPECT_DOUBLE_EQ(player->currentTime(), 1.0);
    ASSERT_TRUE(player->play()); // after the end: from the start
    out = render(*player, 480);
    EXPECT_EQ(channelOf(out, 2, 0), slice(planes[0], 0, 480));

    player->stop();
    EXPECT_FALSE(player->isPlaying());
    executor.runPending();
    EXPECT_EQ(rmsDB(render(*player, 480)), -160.0);
}

TEST_F(SimplePlayerRender, MetersShowWhatWasHeardSinceTheLastRefresh) {
    const Planes planes = {sine(997, 0.5, kRate, 48000), std::vector<float>(48000, 0.0f)};
    auto player = open(planes, 2);
    player->updateMeters();
    EXPECT_EQ(player->peakPower(0), -160.0f);
    ASSERT_TRUE(player->play());
    render(*player, 2400); // 0.05 s, a timer tick's worth: one reading of 2048 frames heard
    player->updateMeters();
    EXPECT_NEAR(player->peakPower(0), 20 * std::log10(0.5), 0.01);
    EXPECT_NEAR(player->averagePower(0), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.1);
    EXPECT_EQ(player->peakPower(1), -160.0f);
    EXPECT_EQ(player->averagePower(1), -160.0f);
    EXPECT_EQ(player->peakPower(2), -160.0f) << "a channel the file lacks";
    EXPECT_EQ(player->peakPower(-1), -160.0f);

    // No new reading since: the values stay while playing.
    const float peak = player->peakPower(0);
    player->updateMeters();
    EXPECT_EQ(player->peakPower(0), peak);

    player->pause();
    player->updateMeters();
    EXPECT_EQ(player->peakPower(0), -160.0f);
    EXPECT_EQ(player->averagePower(0), -160.0f);
}

TEST_F(SimplePlayerRender, UnreadableFilesFailToOpen) {
    std::ofstream(dir / "junk.wav") << "not audio at all";
    EXPECT_THROW(SimplePlayer(dir / "junk.wav", executor, OutputFormat{kRate, 2}), Error);
    EXPECT_THROW(SimplePlayer(dir / "absent.wav", executor, OutputFormat{kRate, 2}), Error);
}

} // namespace
} // namespace vaun::test
