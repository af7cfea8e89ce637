#include "PlaybackFixtures.h"
#include "playback/BinauralRenderer.h"
#include "playback/MultichannelPlayer.h"
#include "playback/ObjectBinauralRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace vaun {
namespace {

using test::balanceDB;
using test::kRate;
using test::renderAll;

std::vector<float> noise(std::size_t frames, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    std::vector<float> v(frames);
    for (auto& x : v) x = d(gen);
    return v;
}


SourceTrack sweepLeftToRight(double seconds) {
    SourceTrack t;
    t.blocks.push_back({0, 0, {90, 0, 1}});
    t.blocks.push_back({0, seconds, {-90, 0, 1}});
    return t;
}

TEST(ObjectBinauralRendererTest, BalanceFollowsASourceMovingFromLeftToRight) {
    const std::size_t frames = std::size_t(4 * kRate);
    ObjectBinauralRenderer r({sweepLeftToRight(4)}, kRate, 2, defaultHrtfPath());
    const auto out = renderAll(r, {noise(frames, 1)});
    const std::size_t window = std::size_t(0.5 * kRate);
    std::vector<double> balance;
    for (std::size_t w = 0; w + window <= frames; w += window) balance.push_back(balanceDB(out, w, w + window));
    EXPECT_GT(balance.front(), 6.0);
    EXPECT_LT(balance.back(), -6.0);
    for (std::size_t i = 1; i < balance.size(); ++i) EXPECT_LT(balance[i], balance[i - 1] + 1.0) << "window " << i;

    // After a seek, positions follow the file's time: at 3.5 s the source is on the right.
    r.restartAt(3.5);
    const auto late = renderAll(r, {noise(window, 2)});
    EXPECT_LT(balanceDB(late, 0, window), -6.0);
}

TEST(ObjectBinauralRendererTest, StaticSourceOnTheLeftIsLouderInTheLeftEar) {
    ObjectBinauralRenderer r({SourceTrack::fixed({30, 0, 1})}, kRate, 2, defaultHrtfPath());
    const auto out = renderAll(r, {noise(std::size_t(kRate), 3)});
    EXPECT_GT(balanceDB(out, 0, std::size_t(kRate)), 3.0);
}

// Worst block of a third difference against the block's level: a third difference takes a
// 500 Hz tone down by 70 dB, a step or a zipper it leaves.
double worstResidualDB(const std::vector<float>& lr, int ear) {
    const std::size_t block = ObjectBinauralRenderer::kBlockFrames, frames = lr.size() / 2;
    double worst = -200;
    for (std::size_t b = 4; (b + 1) * block < frames; ++b) {
        double s = 1e-20, hf = 1e-30;
        for (std::size_t i = b * block; i < (b + 1) * block; ++i) {
            auto y = [&](std::size_t k) { return double(lr[2 * k + ear]); };
            const double d = y(i) - 3 * y(i - 1) + 3 * y(i - 2) - y(i - 3);
            s += y(i) * y(i);
            hf += d * d;
        }
        worst = std::max(worst, 10 * std::log10(hf / s));
    }
    return worst;
}

TEST(ObjectBinauralRendererTest, MovingToneHasNoClicksAtBlockBoundaries) {
    const std::size_t frames = std::size_t(4 * kRate);
    std::vector<float> tone(frames);
    for (std::size_t i = 0; i < frames; ++i) tone[i] = 0.5f * float(std::sin(2 * std::numbers::pi * 500.0 * double(i) / kRate));
    SourceTrack jump; // a position jumping from left to right at 2 s
    jump.blocks.push_back({0, 0, {90, 0, 1}});
    jump.blocks.push_back({2, 0, {-90, 0, 2}});
    for (const SourceTrack& track : {sweepLeftToRight(4), jump}) {
        ObjectBinauralRenderer r({track}, kRate, 2, defaultHrtfPath());
        const auto out = renderAll(r, {tone});
        for (int ear = 0; ear < 2; ++ear) EXPECT_LT(worstResidualDB(out, ear), -50.0) << "ear " << ear;
    }
}

TEST(ObjectBinauralRendererTest, OneHundredTwentyEightSourcesPlayAboutAsLoudAsOne) {
    const std::size_t frames = std::size_t(kRate);
    std::vector<SourceTrack> tracks;
    std::vector<std::vector<float>> channels;
    for (unsigned i = 0; i < ObjectBinauralRenderer::kMaxSources; ++i) {
        tracks.push_back(SourceTrack::fixed({i * 360.0 / 128, double(int(i % 7) * 15 - 45), 1}));
        channels.push_back(noise(frames, 10 + i));
    }
    ObjectBinauralRenderer many(tracks, kRate, 1, defaultHrtfPath());
    const auto mono = renderAll(many, channels);
    ObjectBinauralRenderer one({SourceTrack::fixed({0, 0, 1})}, kRate, 1, defaultHrtfPath());
    const auto single = renderAll(one, {channels.front()});
    auto power = [](const std::vector<float>& v) {
        double p = 0;
        for (float x : v) p += double(x) * x;
        return p;
    };
    ASSERT_TRUE(std::isfinite(power(mono)));
    EXPECT_NEAR(10 * std::log10(power(mono) / power(single)), 0.0, 6.0);

    try {
        ObjectBinauralRenderer missing({SourceTrack::fixed({})}, kRate, 2, "/nonexistent/set.sofa");
        FAIL() << "no error for a missing set";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "VaunPlayback");
        EXPECT_NE(e.description().find("No HRTF set at /nonexistent/set.sofa"), std::string::npos);
    }
}

// A stereo bed by common definitions (silent) and one object sweeping from hard left to
// hard right over 4 s, as a DAW writes it: a short first block, then one that moves; and a
// spare silent track the metadata does not list.
std::filesystem::path sweepingMaster(const test::TempDir& dir, std::int64_t frames) {
    const char* const tracks[][3] = {{"ATU_00000001", "AT_00010001_01", "AP_00010002"},
                                     {"ATU_00000002", "AT_00010002_01", "AP_00010002"},
                                     {"ATU_00000003", "AT_00031001_01", "AP_00031001"}};
    std::vector<std::uint8_t> chna(4 + 40 * 3, 0);
    chna[0] = chna[2] = 3;
    for (int i = 0; i < 3; ++i) {
        std::uint8_t* entry = chna.data() + 4 + 40 * i;
        entry[0] = std::uint8_t(i + 1);
        std::memcpy(entry + 2, tracks[i][0], 12);
        std::memcpy(entry + 14, tracks[i][1], 14);
        std::memcpy(entry + 28, tracks[i][2], 11);
    }
    const std::string axml =
        "<?xml version=\"1.0\"?><ebuCoreMain><coreMetadata><format><audioFormatExtended>"
        "<audioProgramme audioProgrammeID=\"APR_1001\" audioProgrammeName=\"Sweep\"/>"
        "<audioObject audioObjectID=\"AO_1001\" audioObjectName=\"Jet\"><audioTrackUIDRef>ATU_00000003"
        "</audioTrackUIDRef></audioObject>"
        "<audioPackFormat audioPackFormatID=\"AP_00031001\" audioPackFormatName=\"Jet\" typeDefinition=\"Objects\">"
        "<audioChannelFormatIDRef>AC_00031001</audioChannelFormatIDRef></audioPackFormat>"
        "<audioChannelFormat audioChannelFormatID=\"AC_00031001\" audioChannelFormatName=\"Jet\" typeDefinition=\"Objects\">"
        "<audioBlockFormat audioBlockFormatID=\"AB_00031001_00000001\" rtime=\"00:00:00.00000\" duration=\"00:00:00.01000\">"
        "<position coordinate=\"azimuth\">90</position><position coordinate=\"elevation\">0</position></audioBlockFormat>"
        "<audioBlockFormat audioBlockFormatID=\"AB_00031001_00000002\" rtime=\"00:00:00.01000\" duration=\"00:00:03.99000\">"
        "<position coordinate=\"azimuth\">-90</position><position coordinate=\"elevation\">0</position></audioBlockFormat>"
        "</audioChannelFormat>"
        "<audioStreamFormat audioStreamFormatID=\"AS_00031001\"><audioChannelFormatIDRef>AC_00031001</audioChannelFormatIDRef>"
        "</audioStreamFormat><audioTrackFormat audioTrackFormatID=\"AT_00031001_01\"><audioStreamFormatIDRef>AS_00031001"
        "</audioStreamFormatIDRef></audioTrackFormat></audioFormatExtended></format></coreMetadata></ebuCoreMain>";
    test::WavOptions options;
    options.format = test::SampleFormat::Float32;
    options.extraChunks = {{"chna", chna}, {"axml", {axml.begin(), axml.end()}}};
    const auto path = dir / "sweep.wav";
    test::writeWav(path, {std::vector<float>(std::size_t(frames)), std::vector<float>(std::size_t(frames)),
                          noise(std::size_t(frames), 7), std::vector<float>(std::size_t(frames))}, kRate, options);
    return path;
}

TEST(ADMPlaybackTest, AnObjectSweptAcrossTheFrontIsHeardMovingOnHeadphones) {
    const std::int64_t frames = std::int64_t(4 * kRate);
    const test::TempDir dir;
    LoopExecutor executor;
    MultichannelPlayer player(sweepingMaster(dir, frames), executor, OutputFormat{kRate, 2});
    EXPECT_EQ(player.route().summary(),
              "Spatial (headphones) \u00B7 ADM \u00B7 Stereo bed + 1 object \u00B7 MIT KEMAR HRTF");
    player.play(0);
    const auto out = player.manualOutput()->render(std::uint32_t(frames));
    const std::size_t window = std::size_t(0.5 * kRate);
    EXPECT_GT(balanceDB(out, 0, window), 6.0);
    EXPECT_LT(balanceDB(out, std::size_t(frames) - window, std::size_t(frames)), -6.0);

    // A seek plays the positions of the file time it lands on.
    player.play(3.5);
    const auto late = player.manualOutput()->render(std::uint32_t(window));
    EXPECT_LT(balanceDB(late, window / 4, window), -6.0);

    // An object keeps its movement however many outputs there are.
    MultichannelPlayer four(sweepingMaster(dir, 4800), executor, OutputFormat{kRate, 4});
    EXPECT_TRUE(four.route().isBinaural());
}

// One object alone in a one-channel master, swept from left to right from `start` on.
std::filesystem::path loneObject(const test::TempDir& dir, std::int64_t frames, const std::string& start) {
    std::vector<std::uint8_t> chna(4 + 40, 0);
    chna[0] = chna[2] = 1;
    chna[4] = 1;
    std::memcpy(chna.data() + 6, "ATU_00000001", 12);
    std::memcpy(chna.data() + 18, "AT_00031001_01", 14);
    std::memcpy(chna.data() + 32, "AP_00031001", 11);
    const std::string axml =
        "<?xml version=\"1.0\"?><ebuCoreMain><coreMetadata><format><audioFormatExtended>"
        "<audioProgramme audioProgrammeID=\"APR_1001\" audioProgrammeName=\"Bee\"/>"
        "<audioObject audioObjectID=\"AO_1001\" audioObjectName=\"Bee\" start=\"" + start +
        "\"><audioTrackUIDRef>ATU_00000001</audioTrackUIDRef></audioObject>"
        "<audioChannelFormat audioChannelFormatID=\"AC_00031001\" audioChannelFormatName=\"Bee\" typeDefinition=\"Objects\">"
        "<audioBlockFormat audioBlockFormatID=\"AB_00031001_00000001\" rtime=\"00:00:00.00000\" duration=\"00:00:00.01000\">"
        "<position coordinate=\"azimuth\">90</position></audioBlockFormat>"
        "<audioBlockFormat audioBlockFormatID=\"AB_00031001_00000002\" rtime=\"00:00:00.01000\" duration=\"00:00:02.99000\">"
        "<position coordinate=\"azimuth\">-90</position></audioBlockFormat></audioChannelFormat>"
        "<audioStreamFormat audioStreamFormatID=\"AS_00031001\"><audioChannelFormatIDRef>AC_00031001</audioChannelFormatIDRef>"
        "</audioStreamFormat><audioTrackFormat audioTrackFormatID=\"AT_00031001_01\"><audioStreamFormatIDRef>AS_00031001"
        "</audioStreamFormatIDRef></audioTrackFormat></audioFormatExtended></format></coreMetadata></ebuCoreMain>";
    test::WavOptions options;
    options.format = test::SampleFormat::Float32;
    options.extraChunks = {{"chna", chna}, {"axml", {axml.begin(), axml.end()}}};
    const auto path = dir / "bee.wav";
    test::writeWav(path, {noise(std::size_t(frames), 9)}, kRate, options);
    return path;
}

TEST(ADMPlaybackTest, ALoneObjectOnTwoOutputsMovesAndSoundsFromItsStart) {
    const std::int64_t frames = std::int64_t(4 * kRate);
    const test::TempDir dir;
    LoopExecutor executor;
    MultichannelPlayer player(loneObject(dir, frames, "00:00:00.50000"), executor, OutputFormat{kRate, 2});
    EXPECT_TRUE(player.route().isBinaural()) << player.route().summary();
    player.play(0);
    const auto out = player.manualOutput()->render(std::uint32_t(frames));
    const std::size_t window = std::size_t(0.4 * kRate);
    EXPECT_LT(test::rmsDB(out, 0, std::size_t(0.49 * kRate) * 2), -90.0) << "silent before its start";
    EXPECT_GT(balanceDB(out, std::size_t(0.5 * kRate), std::size_t(0.5 * kRate) + window), 6.0);
    EXPECT_LT(balanceDB(out, std::size_t(frames) - window, std::size_t(frames)), -6.0);
}



} // namespace
} // namespace vaun
