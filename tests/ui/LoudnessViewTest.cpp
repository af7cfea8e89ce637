#include "PreviewViews/LoudnessView.h"
#include "PreviewViews/PlayerDisplay.h"
#include "PreviewViews/PreviewText.h"
#include "PreviewViews/PreviewFormat.h"
#include "PreviewViews/TimeRuler.h"
#include "RenderSupport.h"
#include "TestAudio.h"
#include "analysis/AudioAnalyzer.h"
#include "inspect/ChannelMap.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vaun {
namespace {

// 10 s at −30 LUFS then 10 s at −20 LUFS: a stereo 997 Hz sine of 10^(L / 20) peak (a full-scale
// one reads 0 LUFS on two channels).
AudioAnalysis twoLevels(const test::TempDir& dir) {
    const auto amplitude = [](double lufs) { return std::pow(10.0, lufs / 20); };
    std::vector<float> channel = test::sine(997, amplitude(-30), 48000, 480000);
    const std::vector<float> louder = test::sine(997, amplitude(-20), 48000, 480000);
    channel.insert(channel.end(), louder.begin(), louder.end());
    const auto file = dir / "levels.wav";
    test::writeWav(file, {channel, channel}, 48000);
    ChannelMap map;
    map.labels = {"L", "R"};
    map.weights = {1, 1};
    return AudioAnalyzer().analyze(file, map, 480, [] { return false; });
}

// The row of the view where the most pixels take the integrated rule's colour.
int ruleRow(const QImage& image, ColorScheme scheme) {
    const QColor orange = Appearance::of(scheme).orange;
    int best = -1, bestCount = 0;
    for (int y = 0; y < image.height(); ++y) {
        int count = 0;
        for (int x = int(LoudnessLayout::labelColumn) + 2; x < image.width() - 80; ++x)
            if (test::colorDistance(image.pixelColor(x, y), orange) < 60) ++count;
        if (count > bestCount) best = y, bestCount = count;
    }
    return best;
}

TEST(LoudnessView, DrawsTheMeasuredIntegratedLevelAndRangeInBothAppearances) {
    test::TempDir dir;
    const AudioAnalysis analysis = twoLevels(dir);
    ASSERT_TRUE(analysis.integratedLUFS && analysis.loudnessRangeLU);

    LoudnessView view;
    view.setLoudness(analysis.history, analysis.integratedLUFS, 20.0);
    view.setFraction(1);
    // The band's percentiles are those the loudness range is the difference of.
    ASSERT_TRUE(view.rangeBounds());
    EXPECT_NEAR(view.rangeBounds()->high - view.rangeBounds()->low, *analysis.loudnessRangeLU, 0.05);
    EXPECT_NEAR(view.rangeBounds()->high, -20, 0.1);
    // A scale around the material, not the full −60 … 0.
    EXPECT_GT(view.scale().bottom, -60);
    EXPECT_LE(view.scale().bottom, -33);
    EXPECT_GE(view.scale().top, -18);

    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QImage image = test::render(view, {514, 132}, scheme);
        EXPECT_NEAR(ruleRow(image, scheme), view.yOf(*analysis.integratedLUFS), 1.0);
        // Short-term loudness sits at −30 in the first half and −20 in the second.
        const auto blueRow = [&](double seconds) {
            const int x = int(LoudnessLayout::labelColumn + 480 * seconds / 20);
            for (int y = 0; y < image.height(); ++y)
                if (test::colorDistance(image.pixelColor(x, y), Appearance::of(scheme).blue) < 90) return y;
            return -1;
        };
        EXPECT_NEAR(blueRow(6), view.yOf(-30), 2.0);
        EXPECT_NEAR(blueRow(16), view.yOf(-20), 2.0);
    }

    // Hovering reads the values of the window that ends there.
    const QString hover = view.hoverText(LoudnessLayout::labelColumn + 480 * 0.75);
    EXPECT_TRUE(hover.startsWith("0:15.0\n")) << hover.toStdString();
    EXPECT_TRUE(hover.contains("Short-term " + format::signedTenths(analysis.history.shortTerm[149]) + " LUFS"));
}

TEST(LoudnessView, TheDisplayShowsItAfterTheAnalysisAndPlaceholdersBefore) {
    PreviewModel model;
    model.setMode(PreviewModel::DisplayMode::loudness);
    EXPECT_EQ(PlayerDisplay::kindFor(model), PlayerDisplay::Kind::noLoudness);
    model.setAnalysisProgress(0.3);
    EXPECT_EQ(PlayerDisplay::kindFor(model), PlayerDisplay::Kind::analysing);
    AudioAnalysis analysis;
    analysis.history.momentary.assign(50, -23);
    model.setAnalysis(analysis);
    EXPECT_EQ(PlayerDisplay::kindFor(model), PlayerDisplay::Kind::loudness);

    // A plot without a curve says why.
    LoudnessView view;
    view.setLoudness(analysis.history, std::nullopt, 5.0);
    EXPECT_EQ(view.emptyNote(), std::nullopt);
    analysis.history.momentary.assign(50, LoudnessHistory::absent);
    view.setLoudness(analysis.history, std::nullopt, 5.0);
    EXPECT_EQ(view.emptyNote(), "Below \u221270 LUFS throughout.");
    analysis.history.momentary.assign(2, LoudnessHistory::absent);
    view.setLoudness(analysis.history, std::nullopt, 0.2);
    EXPECT_EQ(view.emptyNote(), "Too short to measure loudness over time.");
}

std::vector<QString> labels(const std::vector<RulerTick>& ticks) {
    std::vector<QString> out;
    for (const RulerTick& tick : ticks) out.push_back(tick.text);
    return out;
}

TEST(TimeRuler, StepsSuitTheLengthAndTimecodeLandsOnWholeValues) {
    using L = std::vector<QString>;
    EXPECT_EQ(labels(rulerTicks(20, 480)), (L{"0:00", "0:02", "0:04", "0:06", "0:08", "0:10", "0:12", "0:14", "0:16",
                                              "0:18", "0:20"}));
    EXPECT_EQ(labels(rulerTicks(3600, 480)),
              (L{"0:00:00", "0:10:00", "0:20:00", "0:30:00", "0:40:00", "0:50:00", "1:00:00"}));
    EXPECT_EQ(labels(rulerTicks(36000, 480)),
              (L{"0:00:00", "2:00:00", "4:00:00", "6:00:00", "8:00:00", "10:00:00"}));
    EXPECT_EQ(labels(rulerTicks(1.5, 480)).at(1), "0:00.2");

    // 25 fps from 10:59:50:00: ticks on whole quarter minutes, 10 s in for the first.
    const auto nd = Timecode::make(std::uint64_t(39590) * 48000, 48000, {25, 1}, false);
    const auto ticks = rulerTicks(95, 480, nd);
    EXPECT_EQ(labels(ticks), (L{"11:00:00:00", "11:00:15:00", "11:00:30:00", "11:00:45:00", "11:01:00:00",
                                "11:01:15:00"}));
    EXPECT_NEAR(ticks.front().seconds, 10, 1e-6);
    // 29.97 drop-frame from 00:00:50;00: minute one has no frames 0 and 1.
    const auto df = Timecode::make(2402400, 48000, {30000, 1001}, true);
    EXPECT_EQ(labels(rulerTicks(20, 480, df)),
              (L{"00:00:50;00", "00:00:55;00", "00:01:00;02", "00:01:05;00", "00:01:10;00"}));
    EXPECT_TRUE(rulerTicks(0, 480).empty());
    EXPECT_TRUE(rulerTicks(std::nan(""), 480).empty());
}

} // namespace
} // namespace vaun
