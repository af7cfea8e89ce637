#include "PlaybackFixtures.h"
#include "playback/ADMScene.h"
#include "playback/BinauralRenderer.h"
#include "playback/LoopExecutor.h"
#include "playback/MultichannelPlayer.h"
#include "playback/SceneRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <complex>
#include <numbers>

namespace vaun {
namespace {

using test::kRate;
using test::renderAll;
using Channels = std::vector<std::vector<float>>;

double balanceDB(const std::vector<float>& lr) { return test::balanceDB(lr, 0, lr.size() / 2); }


// Level of one frequency in one ear over frames [from, to).
double toneDB(const std::vector<float>& lr, int ear, std::size_t from, std::size_t to, double hz) {
    std::complex<double> sum;
    for (std::size_t i = from; i < to; ++i)
        sum += double(lr[2 * i + std::size_t(ear)]) * std::polar(1.0, -2 * std::numbers::pi * hz * double(i) / kRate);
    return 20 * std::log10(std::abs(sum) / double(to - from) + 1e-20);
}

// A sound from `azimuth` on the ear plane in ACN/SN3D, components written out so the test
// pins the convention.
Channels horizontalField(const std::vector<float>& s, int order, double azimuthDegrees) {
    const double a = azimuthDegrees * std::numbers::pi / 180;
    const double r3 = std::sqrt(3.0) / 2, k31 = std::sqrt(3.0 / 8), k33 = std::sqrt(5.0 / 8);
    const double all[16] = {1, std::sin(a), 0, std::cos(a),
                            r3 * std::sin(2 * a), 0, -0.5, 0, r3 * std::cos(2 * a),
                            k33 * std::sin(3 * a), 0, -k31 * std::sin(a), 0, -k31 * std::cos(a), 0, k33 * std::cos(3 * a)};
    Channels field;
    for (int c = 0; c < AmbisonicFormat::channelsFor(order); ++c) {
        field.emplace_back(s.size());
        for (std::size_t i = 0; i < s.size(); ++i) field.back()[i] = float(all[c] * s[i]);
    }
    return field;
}

TEST(SoundFieldTest, FirstAndThirdOrderFieldsPlaceASourceAndPlayItAsLoudAsAnObject) {
    const auto s = test::whiteNoise(std::int64_t(kRate), 0.3f, 1);
    for (double azimuth : {90.0, -90.0, 0.0}) {
        ObjectBinauralRenderer object({SourceTrack::fixed({azimuth, 0, 1})}, kRate, 2, defaultHrtfPath());
        const double objectDB = test::rmsDB(renderAll(object, {s}));
        for (int order : {1, 3}) {
            SCOPED_TRACE("order " + std::to_string(order) + " at " + std::to_string(azimuth));
            auto scene = SceneRenderer::soundField({order}, kRate, 2, defaultHrtfPath());
            const auto out = renderAll(scene, horizontalField(s, order, azimuth));
            const double balance = balanceDB(out);
            if (azimuth > 0) {
                EXPECT_GT(balance, 6.0);
            } else if (azimuth < 0) {
                EXPECT_LT(balance, -6.0);
            } else {
                EXPECT_NEAR(balance, 0.0, 1.0);
            }
            EXPECT_NEAR(test::rmsDB(out), objectDB, 3.0);
        }
    }
}

TEST(SoundFieldTest, FuMaFieldSoundsLikeItsAmbiXTwin) {
    const auto s = test::whiteNoise(std::int64_t(kRate), 0.3f, 2);
    const double a = 40 * std::numbers::pi / 180, e = 25 * std::numbers::pi / 180;
    auto scaled = [&](double k) {
        std::vector<float> v(s.size());
        for (std::size_t i = 0; i < s.size(); ++i) v[i] = float(k * s[i]);
        return v;
    };
    const double x = std::cos(a) * std::cos(e), y = std::sin(a) * std::cos(e), z = std::sin(e);
    auto ambix = SceneRenderer::soundField({1}, kRate, 2, defaultHrtfPath());
    const auto acn = renderAll(ambix, {scaled(1), scaled(y), scaled(z), scaled(x)});
    auto fuma = SceneRenderer::soundField(
        {1, AmbisonicFormat::Normalization::FuMa, AmbisonicFormat::Ordering::FuMa}, kRate, 2, defaultHrtfPath());
    const auto bFormat = renderAll(fuma, {scaled(std::sqrt(0.5)), scaled(x), scaled(y), scaled(z)});
    for (std::uint32_t ear = 0; ear < 2; ++ear)
        EXPECT_NEAR(test::rmsDB(test::channelOf(bFormat, 2, ear)), test::rmsDB(test::channelOf(acn, 2, ear)), 0.5);
}

TEST(SoundFieldTest, AMovingObjectAndASoundFieldPlayTogether) {
    // Channel 0: a 4 kHz object sweeping from left to right; 1-4: a 2 kHz tone on the right.
    const std::size_t frames = std::size_t(2 * kRate), window = frames / 8;
    SourceTrack sweep;
    sweep.blocks.push_back({0, 0, {90, 0, 1}});
    sweep.blocks.push_back({0, 2, {-90, 0, 1}});
    const auto objectTone = test::sine(4000, 0.3, kRate, std::int64_t(frames));
    const Channels field = horizontalField(test::sine(2000, 0.3, kRate, std::int64_t(frames)), 1, -90);
    Channels file = {objectTone};
    file.insert(file.end(), field.begin(), field.end());

    SceneRenderer scene({sweep, {}, {}, {}, {}}, {{{1, 2, 3, 4}, {1}}}, kRate, 2, defaultHrtfPath());
    const auto out = renderAll(scene, file);
    auto balance = [&](const std::vector<float>& lr, std::size_t from, double hz) {
        return toneDB(lr, 0, from, from + window, hz) - toneDB(lr, 1, from, from + window, hz);
    };
    EXPECT_GT(balance(out, 0, 4000), 6.0);
    EXPECT_LT(balance(out, frames - window, 4000), -6.0);
    EXPECT_LT(balance(out, 0, 2000), -6.0);
    EXPECT_LT(balance(out, frames - window, 2000), -6.0);

    // Each plays as it would alone, weighed as one of two sources.
    ObjectBinauralRenderer objectAlone({sweep}, kRate, 2, defaultHrtfPath());
    auto fieldAlone = SceneRenderer::soundField({1}, kRate, 2, defaultHrtfPath());
    const auto object = renderAll(objectAlone, {objectTone});
    const auto ambience = renderAll(fieldAlone, field);
    for (int ear = 0; ear < 2; ++ear) {
        EXPECT_NEAR(toneDB(out, ear, 0, frames, 4000), toneDB(object, ear, 0, frames, 4000) - 3.0, 0.5);
        EXPECT_NEAR(toneDB(out, ear, 0, frames, 2000), toneDB(ambience, ear, 0, frames, 2000) - 3.0, 0.5);
    }
}

TEST(SoundFieldFileTest, AmbisonicFilesPlaySpatiallyOnAnyDevice) {
    const test::TempDir dir;
    // A .amb: extensible WAVE with the B-format sub-format GUID.
    const auto amb = test::writeFloatWav(dir / "field.amb", test::markedChannels(4, 4800), kRate, 0);
    {
        std::fstream f(amb, std::ios::in | std::ios::out | std::ios::binary);
        const unsigned char tail[12] = {0x21, 0x07, 0xD3, 0x11, 0x86, 0x44, 0xC8, 0xC1, 0xCA, 0, 0, 0};
        f.seekp(20 + 28);
        f.write(reinterpret_cast<const char*>(tail), sizeof tail);
    }
    LoopExecutor executor;
    for (std::uint32_t outputs : {2u, 8u}) {
        MultichannelPlayer player(amb, executor, OutputFormat{kRate, outputs});
        EXPECT_EQ(player.route().summary(), "Spatial (headphones) \u00B7 Ambisonics order 1 \u00B7 MIT KEMAR HRTF");
    }
    // Nine channels named as a second-order field by the metadata record, not refused.
    const auto ambix = test::writeFloatWav(dir / "ambix.wav", test::markedChannels(9, 4800));
    MultichannelPlayer::Options options;
    options.ambisonics = AmbisonicLayout{2, "SN3D", false};
    MultichannelPlayer second(ambix, executor, OutputFormat{kRate, 2}, options);
    EXPECT_EQ(second.route().summary(), "Spatial (headphones) \u00B7 Ambisonics order 2 \u00B7 MIT KEMAR HRTF");
}

TEST(SoundFieldFileTest, ADMHOATracksJoinTheSceneAsASoundField) {
    // The common first-order N3D pack, tracks given out of ACN order, beside one object.
    ChnaChunk chna;
    chna.entries = {{1, "ATU_00000001", "AT_00040102_01", "AP_00040011"},
                    {2, "ATU_00000002", "AT_00040101_01", "AP_00040011"},
                    {3, "ATU_00000003", "AT_00040104_01", "AP_00040011"},
                    {4, "ATU_00000004", "AT_00040103_01", "AP_00040011"},
                    {5, "ATU_00000005", "AT_00031001_01", "AP_00031001"}};
    ADMModel model = ADMModel::build(chna, nullptr);
    model.tracks[4].blocks.push_back({0.0, std::nullopt, 45, 0, 1, {}, {}, {}});
    const auto scene = admScene(model, 5);
    ASSERT_TRUE(scene);
    EXPECT_TRUE(scene->spatialOnly);
    ASSERT_EQ(scene->fields.size(), 1u);
    EXPECT_EQ(scene->fields[0].channels, (std::vector<int>{1, 0, 3, 2}));
    EXPECT_EQ(scene->fields[0].format.order, 1);
    EXPECT_EQ(scene->fields[0].format.normalization, AmbisonicFormat::Normalization::N3D);
}

} // namespace
} // namespace vaun
