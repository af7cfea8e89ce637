// The multichannel player rendered offline: which route a file takes on which device, what
// reaches each output, and the segment logic (tokens, pause and resume, seeking, levels).
#include "PlaybackFixtures.h"
#include "common/Errors.h"
#include "playback/BinauralRenderer.h"
#include "playback/MultichannelPlayer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vaun::test {
namespace {

struct Levels {
    std::vector<std::vector<float>> peaks;
    std::vector<std::vector<float>> averages;
};

class MultichannelRender : public ::testing::Test {
protected:
    TempDir dir;
    LoopExecutor executor;

    std::unique_ptr<MultichannelPlayer> open(const std::filesystem::path& file, std::uint32_t outputs, double rate = kRate) {
        return std::make_unique<MultichannelPlayer>(file, executor, OutputFormat{rate, outputs});
    }

    static std::vector<float> render(MultichannelPlayer& player, std::int64_t frames) {
        return player.manualOutput()->render(std::uint32_t(frames));
    }

    // Counts onFinished calls, run when the executor's work is.
    static int* countFinishes(MultichannelPlayer& player) {
        auto count = std::make_shared<int>(0);
        player.setOnFinished([count] { ++*count; });
        return count.get(); // kept alive by the callback
    }

    static std::shared_ptr<Levels> collectLevels(MultichannelPlayer& player) {
        auto levels = std::make_shared<Levels>();
        player.setOnLevels([levels](const std::vector<float>& p, const std::vector<float>& a) {
            levels->peaks.push_back(p);
            levels->averages.push_back(a);
        });
        return levels;
    }
};

TEST_F(MultichannelRender, SixChannelsOnEightOutputsLandChannelIOnOutputI) {
    const auto planes = markedChannels(6, 30000);
    auto player = open(writeFloatWav(dir / "six.wav", planes), 8);
    EXPECT_EQ(player->route(), MultichannelPlayer::Route::discrete(6, 8));
    EXPECT_EQ(player->route().summary(), "Direct out \u00B7 6 of 8 outputs");

    player->play(0);
    const auto out = render(*player, 32000);
    for (std::uint32_t c = 0; c < 6; ++c) {
        const auto heard = channelOf(out, 8, c);
        EXPECT_EQ(slice(heard, 0, 30000), planes[c]) << "output " << c;
        EXPECT_EQ(rmsDB(heard, 30000), -160.0) << "after the end, output " << c;
    }
    for (std::uint32_t c = 6; c < 8; ++c) EXPECT_EQ(rmsDB(channelOf(out, 8, c)), -160.0) << "output " << c;
    EXPECT_EQ(player->underruns(), 0);
}

TEST_F(MultichannelRender, StereoOnStereoIsDirect) {
    auto player = open(writeFloatWav(dir / "st.wav", markedChannels(2, 4800)), 2);
    EXPECT_EQ(player->route().summary(), "Direct out \u00B7 2 of 2 outputs");
}

TEST_F(MultichannelRender, SixChannelsOnHeadphonesRenderTheFiveOneBed) {
    const std::int64_t frames = 48000;
    Planes planes;
    for (int c = 0; c < 6; ++c) planes.push_back(whiteNoise(frames, 0.3f, unsigned(c + 1)));
    auto player = open(writeFloatWav(dir / "bed.wav", planes), 2);
    EXPECT_EQ(player->route(), MultichannelPlayer::Route::binaural("5.1", "MIT KEMAR HRTF"));
    EXPECT_EQ(player->route().summary(), "Spatial (headphones) \u00B7 5.1 \u00B7 MIT KEMAR HRTF");

    auto* finished = countFinishes(*player);
    player->play(0);
    const auto out = render(*player, frames + 4096);
    const auto left = channelOf(out, 2, 0), right = channelOf(out, 2, 1);
    EXPECT_GT(rmsDB(left, 4800, 43200), -30.0);
    EXPECT_GT(rmsDB(right, 4800, 43200), -30.0);
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
    executor.runPending();
    EXPECT_EQ(*finished, 1);
    EXPECT_FALSE(player->isPlaying());
}

TEST_F(MultichannelRender, AFileLayoutOfItsOwnNamesTheBed) {
    auto player = open(writeFloatWav(dir / "mask.wav", markedChannels(6, 4800), kRate, 0x3F), 2);
    EXPECT_EQ(player->route().summary(), "Spatial (headphones) \u00B7 6-channel layout from file \u00B7 MIT KEMAR HRTF");
}

TEST_F(MultichannelRender, ChannelCountsWithoutABedFailWithCodeFour) {
    const auto file = writeFloatWav(dir / "sixteen.wav", markedChannels(16, 480));
    try {
        open(file, 2);
        FAIL() << "expected the code-4 error";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "Vaun");
        EXPECT_EQ(e.code(), 4);
        EXPECT_EQ(e.description(), "No speaker layout for 16 channels; connect an interface with 16 outputs to play it.");
    }
    EXPECT_NO_THROW(open(file, 16));
}

TEST_F(MultichannelRender, HrtfSetIsNamedAndItsAbsenceIsAnError) {
    const auto file = writeFloatWav(dir / "bed.wav", markedChannels(6, 4800));
    MultichannelPlayer::Options missing;
    missing.hrtfFile = dir / "nowhere.sofa";
    try {
        MultichannelPlayer player(file, executor, OutputFormat{kRate, 2}, missing);
        FAIL() << "expected an error for the missing set";
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("nowhere.sofa"), std::string::npos) << e.description();
    }
    // Nothing needs the set when the device has outputs enough.
    EXPECT_NO_THROW(MultichannelPlayer(file, executor, OutputFormat{kRate, 6}, missing));

    MultichannelPlayer::Options other;
    other.hrtfFile = dir / "Studio Kemar.sofa";
    std::filesystem::copy_file(defaultHrtfPath(), other.hrtfFile);
    MultichannelPlayer player(file, executor, OutputFormat{kRate, 2}, other);
    EXPECT_EQ(player.route().summary(), "Spatial (headphones) \u00B7 5.1 \u00B7 Studio Kemar");
}

TEST_F(MultichannelRender, ManualRenderingRunsAtTheFilesRate) {
    const auto file = writeFloatWav(dir / "st.wav", markedChannels(3, 480));
    EXPECT_THROW(open(file, 2, 44100), Error);
    EXPECT_THROW(open(file, 0), Error);
    EXPECT_THROW(open(dir / "missing.wav", 2), Error);
}

TEST_F(MultichannelRender, OnlyTheCurrentSegmentsCompletionFinishes) {
    auto player = open(writeFloatWav(dir / "tone.wav", markedChannels(3, 6 * 48000)), 4);
    auto* finished = countFinishes(*player);

    // play(from: 5) then at once play(from: 1): one completion.
    player->play(5.0);
    player->play(1.0);
    render(*player, 5 * 48000 + 100);
    executor.runPending();
    EXPECT_EQ(*finished, 1);

    // A completion already on its way when the segment is replaced does nothing.
    player->play(5.9);
    render(*player, 48000 / 5);
    player->play(0.0);
    executor.runPending();
    EXPECT_EQ(*finished, 1);
    EXPECT_TRUE(player->isPlaying());

    // Nor one that arrives after stop().
    player->play(5.99);
    render(*player, 4800);
    player->stop();
    executor.runPending();
    EXPECT_EQ(*finished, 1);
    EXPECT_FALSE(player->isPlaying());
}

TEST_F(MultichannelRender, PauseResumesAtTheExactFrame) {
    const auto planes = markedChannels(3, 48000);
    auto player = open(writeFloatWav(dir / "tone.wav", planes), 4);
    player->play(0);
    const auto first = render(*player, 12345);
    const double t = player->pause();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(std::int64_t(t * kRate), 12345);
    EXPECT_EQ(player->currentTime(), t);
    const auto paused = render(*player, 1000);
    EXPECT_EQ(rmsDB(paused), -160.0);

    player->play(t);
    const auto second = render(*player, 20000);
    for (std::uint32_t c = 0; c < 3; ++c) {
        auto heard = channelOf(first, 4, c);
        const auto more = channelOf(second, 4, c);
        heard.insert(heard.end(), more.begin(), more.end());
        EXPECT_EQ(heard, slice(planes[c], 0, 32345)) << "channel " << c;
    }
}

TEST_F(MultichannelRender, SeekingWhilePlayingContinuesFromTheNewFrame) {
    const auto planes = markedChannels(3, 4 * 48000);
    auto player = open(writeFloatWav(dir / "tone.wav", planes), 3);
    player->play(0);
    const auto before = render(*player, 10000);
    EXPECT_DOUBLE_EQ(player->currentTime(), 10000 / kRate);
    player->play(2.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 2.0);
    const auto after = render(*player, 20000);
    for (std::uint32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(channelOf(before, 3, c), slice(planes[c], 0, 10000));
        EXPECT_EQ(channelOf(after, 3, c), slice(planes[c], 96000, 20000)) << "channel " << c;
    }
    EXPECT_DOUBLE_EQ(player->currentTime(), (96000 + 20000) / kRate);
    EXPECT_TRUE(player->isPlaying());
}

TEST_F(MultichannelRender, SeekTimesAreClampedToTheFile) {
    const auto planes = markedChannels(3, 4800);
    auto player = open(writeFloatWav(dir / "tone.wav", planes), 3);
    player->play(-3);
    EXPECT_EQ(channelOf(render(*player, 100), 3, 1), slice(planes[1], 0, 100));
    player->play(99);
    const auto last = render(*player, 100);
    EXPECT_EQ(last[3 * 0 + 2], planes[2][4799]);
    EXPECT_EQ(rmsDB(last, 3), -160.0);
    EXPECT_DOUBLE_EQ(player->duration(), 0.1);
}

TEST_F(MultichannelRender, SilenceMetersMinus160) {
    auto player = open(writeFloatWav(dir / "silent.wav", Planes(6, std::vector<float>(10000, 0.0f))), 8);
    auto levels = collectLevels(*player);
    player->play(0);
    render(*player, 12000);
    ASSERT_EQ(levels->peaks.size(), 5u); // four full buffers of 2048 and the last 1808 frames
    for (std::size_t i = 0; i < levels->peaks.size(); ++i) {
        EXPECT_EQ(levels->peaks[i], std::vector<float>(6, -160.0f));
        EXPECT_EQ(levels->averages[i], std::vector<float>(6, -160.0f));
    }
}

TEST_F(MultichannelRender, LevelsMeterTheFilesChannelsAsTheyAreHeard) {
    Planes planes;
    const double amplitudes[] = {1.0, 0.5, 0.25, 0.1, 0.05, 0.01};
    for (double a : amplitudes) planes.push_back(sine(1000, a, kRate, 48000));
    // Binaural: the meters still show the file's six channels, not the two ears.
    auto player = open(writeFloatWav(dir / "levels.wav", planes), 2);
    auto levels = collectLevels(*player);
    player->play(0);
    render(*player, 4095);
    EXPECT_EQ(levels->peaks.size(), 1u) << "a reading is reported once its last frame is heard";
    render(*player, 48000);
    ASSERT_EQ(levels->peaks.size(), 24u);
    for (std::size_t c = 0; c < 6; ++c) {
        float peak = -160, average = -160;
        for (std::size_t i = 0; i < 23; ++i) {
            ASSERT_EQ(levels->peaks[i].size(), 6u);
            peak = std::max(peak, levels->peaks[i][c]);
            average = std::max(average, levels->averages[i][c]);
        }
        float filePeak = 0;
        for (float v : planes[c]) filePeak = std::max(filePeak, std::fabs(v));
        EXPECT_FLOAT_EQ(peak, 20 * std::log10(filePeak)) << "channel " << c;
        EXPECT_NEAR(average, 20 * std::log10(amplitudes[c] / std::sqrt(2.0)), 0.05) << "channel " << c;
    }
}

TEST_F(MultichannelRender, PositionFollowsWhatWasRendered) {
    auto player = open(writeFloatWav(dir / "tone.wav", markedChannels(3, 48000)), 4);
    EXPECT_EQ(player->currentTime(), 0.0);
    player->play(0.25);
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.25);
    render(*player, 4800);
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.35);
    render(*player, 48000);
    EXPECT_DOUBLE_EQ(player->currentTime(), 1.0);
}

} // namespace
} // namespace vaun::test
