#include "PreviewViews/ChannelLanesView.h"
#include "RenderSupport.h"
#include "Toolkit/Typography.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace vaun {
namespace {

using Buckets = WaveformGenerator::Buckets;
using test::colorDistance;
using test::over;
using test::PaintRecorder;
using test::render;

constexpr int tolerance = 10;
constexpr double labelWidth = 34;

Buckets lane(std::vector<float> values) {
    Buckets b;
    b.bucketCount = int(values.size() / 2);
    b.framesPerBucket = 100;
    b.values = std::move(values);
    return b;
}

Buckets constantLane(int pairs, float lo, float hi) {
    std::vector<float> values;
    for (int i = 0; i < pairs; ++i) values.insert(values.end(), {lo, hi});
    return lane(std::move(values));
}

// A decaying tone burst of `amplitude` starting at `onset` (0…1 of the file), as min/max pairs.
Buckets burstLane(int pairs, double amplitude, double onset, double hz) {
    std::vector<float> values;
    const int framesPerPair = 94;
    for (int p = 0; p < pairs; ++p) {
        float lo = 0, hi = 0;
        for (int f = 0; f < framesPerPair; ++f) {
            const double t = (double(p) + double(f) / framesPerPair) / pairs - onset;
            if (t < 0) continue;
            const float s = float(amplitude * std::exp(-4 * t) * std::sin(2 * M_PI * hz * t * 10));
            lo = std::min(lo, s);
            hi = std::max(hi, s);
        }
        values.insert(values.end(), {lo, hi});
    }
    return lane(std::move(values));
}

std::vector<Buckets> fivePointOne() {
    return {burstLane(512, 0.9, 0.0, 440), burstLane(512, 0.8, 0.05, 550), burstLane(512, 0.7, 0.1, 330),
            burstLane(512, 0.5, 0.0, 40),  burstLane(512, 0.4, 0.3, 660), burstLane(512, 0.45, 0.35, 880)};
}

const QStringList fivePointOneLabels{"L", "R", "C", "LFE", "Ls", "Rs"};

std::unique_ptr<ChannelLanesView> lanesView(std::vector<Buckets> lanes, QStringList labels, double fraction) {
    auto view = std::make_unique<ChannelLanesView>();
    view->setLanes(std::move(lanes));
    view->setLabels(std::move(labels));
    view->setLabelWidth(labelWidth);
    view->setFraction(fraction);
    return view;
}

QColor background(ColorScheme scheme) { return Appearance::of(scheme).windowBackground; }
QColor blue(ColorScheme scheme) { return Appearance::of(scheme).blue; }
QColor unplayedColor(ColorScheme scheme) { return over(WaveformBars::barColor(scheme, false), background(scheme)); }
QColor playedColor(ColorScheme scheme) { return over(WaveformBars::barColor(scheme, true), unplayedColor(scheme)); }
bool near(QColor a, QColor b) { return colorDistance(a, b) <= tolerance; }

std::vector<int> playheadColumns(const QImage& image, ColorScheme scheme) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        bool all = true;
        for (int y = 0; y < image.height() && all; ++y) all = near(image.pixelColor(x, y), blue(scheme));
        if (all) columns.push_back(x);
    }
    return columns;
}

// Bounding box of the text-dark pixels in `area`; empty when there are none.
QRect ink(const QImage& image, QRect area, QColor paper) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (colorDistance(image.pixelColor(x, y), paper) > 40) box |= QRect(x, y, 1, 1);
    return box;
}


// --- geometry ---

TEST(LaneBarGeometry, OneBarPerTwoPointsRightOfTheLabels) {
    const QRectF laneRect(0, 22, 600, 22); // second lane, centre at 33
    // 566 pairs over 566 points: 283 bars of exactly 2 pairs, the larger maximum second.
    std::vector<float> values;
    for (int p = 0; p < 566; ++p) values.insert(values.end(), {-0.1f, float(p % 2 ? 0.2 + p / 1000.0 : 0.1)});
    const auto bars = laneBarRects(values, 1, labelWidth, laneRect);
    ASSERT_EQ(bars.size(), 283u);
    for (int j = 0; j < 283; ++j) {
        const QRectF& bar = bars[std::size_t(j)];
        EXPECT_DOUBLE_EQ(bar.x(), labelWidth + 2 * j);
        EXPECT_DOUBLE_EQ(bar.width(), 1.5);
        EXPECT_NEAR(bar.top(), 33 - 22 * 0.45 * (0.2 + (2 * j + 1) / 1000.0), 1e-4) << "bar " << j;
        EXPECT_NEAR(bar.bottom(), 33 + 22 * 0.45 * 0.1, 1e-4);
    }
    // Fewer pairs than the width allows: one wide bar per pair.
    const auto wide = laneBarRects(constantLane(10, -0.5f, 0.5f).values, 1, labelWidth, laneRect);
    ASSERT_EQ(wide.size(), 10u);
    EXPECT_DOUBLE_EQ(wide[3].x(), labelWidth + 566 * 3 / 10.0);
    EXPECT_DOUBLE_EQ(wide[3].width(), 56.1);
    // No room right of the labels still leaves one bar 1 point wide.
    const auto cramped = laneBarRects(constantLane(10, -0.5f, 0.5f).values, 1, labelWidth, QRectF(0, 0, 30, 22));
    ASSERT_EQ(cramped.size(), 1u);
    EXPECT_DOUBLE_EQ(cramped[0].width(), 1.0);
}

TEST(LaneBarGeometry, EveryBarTouchesTheCentreLine) {
    const QRectF laneRect(0, 0, 600, 100); // centre 50, full scale 45 points either side
    auto first = [&](float lo, float hi, float gain) {
        return laneBarRects(constantLane(10, lo, hi).values, gain, labelWidth, laneRect).front();
    };
    const QRectF above = first(0.2f, 0.6f, 1);
    EXPECT_NEAR(above.top(), 50 - 45 * 0.6, 1e-4);
    EXPECT_DOUBLE_EQ(above.bottom(), 50.0);
    const QRectF below = first(-0.6f, -0.2f, 1);
    EXPECT_DOUBLE_EQ(below.top(), 50.0);
    EXPECT_NEAR(below.bottom(), 50 + 45 * 0.6, 1e-4);
    const QRectF clamped = first(-0.8f, 0.8f, 2);
    EXPECT_DOUBLE_EQ(clamped.top(), 5.0);
    EXPECT_DOUBLE_EQ(clamped.bottom(), 95.0);
    const QRectF silent = first(0, 0, 1);
    EXPECT_DOUBLE_EQ(silent.top(), 50.0);
    EXPECT_DOUBLE_EQ(silent.height(), 0.75);
    EXPECT_TRUE(laneBarRects({0.4f}, 1, labelWidth, laneRect).empty());
}

TEST(LaneBarGeometry, LabelsAndPlayhead) {
    EXPECT_DOUBLE_EQ(laneLabelPointSize(10), 7.0);
    EXPECT_DOUBLE_EQ(laneLabelPointSize(20), 9.0);
    EXPECT_DOUBLE_EQ(laneLabelPointSize(40), 11.0);
    const QStringList two{"L", "R"};
    EXPECT_EQ(laneLabel(two, 1), "R");
    EXPECT_EQ(laneLabel(two, 2), "3");
    EXPECT_EQ(laneLabel(two, 3), "4");
    EXPECT_DOUBLE_EQ(lanePlayheadX(0, 600, labelWidth), labelWidth);
    EXPECT_DOUBLE_EQ(lanePlayheadX(0.5, 600, labelWidth), labelWidth + 283);
    EXPECT_DOUBLE_EQ(lanePlayheadX(1, 600, labelWidth), 599.0);
    EXPECT_DOUBLE_EQ(lanePlayheadX(-1, 600, labelWidth), labelWidth);
}

TEST(ChannelLaneBars, EqualityComparesLanesByTheirValuesOnly) {
    const ChannelLaneBars a{fivePointOne(), fivePointOneLabels, 1, labelWidth, false};
    ChannelLaneBars b = a;
    b.lanes[2].bucketCount = 7;
    b.lanes[2].framesPerBucket = 1;
    EXPECT_EQ(a, b);
    b.lanes[2].values[5] += 0.01f;
    EXPECT_NE(a, b);
    b = a;
    b.labels[3] = "Lfe";
    EXPECT_NE(a, b);
    b = a;
    b.labelWidth = 30;
    EXPECT_NE(a, b);
    b = a;
    b.lanes.pop_back();
    EXPECT_NE(a, b);
}

// --- what the view shows ---

TEST(ChannelLanesView, ExtraLanesAreNumbered) {
    const QSize size(400, 88); // four lanes of 22 points
    std::vector<Buckets> lanes(4, constantLane(100, -0.5f, 0.5f));
    auto unlabelled = lanesView(lanes, {"L", "R"}, 0);
    auto labelled = lanesView(lanes, {"L", "R", "3", "4"}, 0);
    const QImage shown = render(*unlabelled, size);
    const QImage expected = render(*labelled, size);
    const QRect column(0, 0, int(labelWidth), size.height());
    EXPECT_EQ(shown.copy(column), expected.copy(column));
    for (int k = 0; k < 4; ++k) {
        const QRect label = ink(shown, QRect(0, 22 * k + 1, int(labelWidth), 21), background(ColorScheme::light));
        ASSERT_FALSE(label.isEmpty()) << "lane " << k;
        EXPECT_LE(std::abs(label.center().y() - (22 * k + 11)), 2) << "label centred on lane " << k;
        EXPECT_GE(label.left(), 4);
        EXPECT_LE(label.left(), 6);
    }
}

TEST(ChannelLanesView, LabelSizeFollowsLaneHeightWithinLimits) {
    auto capHeightShown = [](int laneHeight) {
        auto view = lanesView(std::vector<Buckets>(4, constantLane(100, -0.5f, 0.5f)), {"L", "L", "L", "L"}, 0);
        const QImage image = render(*view, QSize(300, 4 * laneHeight));
        return ink(image, QRect(0, 1, int(labelWidth), laneHeight - 1), background(ColorScheme::light)).height();
    };
    auto capHeight = [](double points) {
        return QFontMetricsF(systemFont(points, FontWeight::semibold, FontDesign::rounded)).capHeight();
    };
    EXPECT_NEAR(capHeightShown(10), capHeight(7), 1.5);  // 4.5 raised to the lower limit
    EXPECT_NEAR(capHeightShown(40), capHeight(11), 1.5); // 18 lowered to the upper limit
    EXPECT_GT(capHeightShown(40), capHeightShown(10) + 2);
}

TEST(ChannelLanesView, OneSidedSignalStillReachesTheCentre) {
    auto view = lanesView({constantLane(10, 0.2f, 0.6f)}, {"M"}, 0);
    const QImage image = render(*view, QSize(600, 100));
    const QColor bar = unplayedColor(ColorScheme::light);
    EXPECT_FALSE(near(image.pixelColor(100, 21), bar));
    for (int y = 24; y < 50; ++y) EXPECT_TRUE(near(image.pixelColor(100, y), bar)) << "row " << y;
    EXPECT_FALSE(near(image.pixelColor(100, 51), bar));
}

TEST(ChannelLanesView, SeparatorsDivideTheLanes) {
    auto view = lanesView(fivePointOne(), fivePointOneLabels, 0.4);
    const QImage image = render(*view, QSize(600, 132), ColorScheme::light, 2); // lanes of 22 points
    const QColor separator = over(withOpacity(Appearance::of(ColorScheme::light).primaryLabel, 0.08),
                                  background(ColorScheme::light));
    EXPECT_EQ(image.pixelColor(60, 0), background(ColorScheme::light)) << "none above the first lane";
    for (int k = 1; k < 6; ++k) {
        EXPECT_TRUE(near(image.pixelColor(1, 44 * k), separator)) << "lane " << k;
        EXPECT_EQ(image.pixelColor(1, 44 * k + 1), background(ColorScheme::light));
    }
}

TEST(ChannelLanesView, PlayheadStaysRightOfTheLabels) {
    const QSize size(600, 132);
    auto view = lanesView(fivePointOne(), fivePointOneLabels, 0);
    EXPECT_EQ(playheadColumns(render(*view, size), ColorScheme::light), std::vector<int>{34});
    view->setFraction(0.4); // 34 + 226.4
    EXPECT_EQ(playheadColumns(render(*view, size), ColorScheme::light), std::vector<int>{260});
    view->setFraction(1);
    const QImage end = render(*view, size);
    EXPECT_EQ(playheadColumns(end, ColorScheme::light), std::vector<int>{599});
    EXPECT_FALSE(ink(end, QRect(0, 1, int(labelWidth), 21), background(ColorScheme::light)).isEmpty())
        << "labels stay visible on the played side";

    auto empty = lanesView({}, fivePointOneLabels, 0.4);
    const QImage blank = render(*empty, size);
    EXPECT_TRUE(ink(blank, blank.rect(), background(ColorScheme::light)).isEmpty());
    EXPECT_TRUE(playheadColumns(blank, ColorScheme::light).empty());
}

TEST(ChannelLanesView, PlayedBarsLeftOfThePlayheadInBothAppearances) {
    std::vector<Buckets> lanes(2, constantLane(10, -0.5f, 0.5f));
    auto view = lanesView(lanes, {"L", "R"}, 0.5); // playhead at 317
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        SCOPED_TRACE(scheme == ColorScheme::dark ? "dark" : "light");
        const QImage image = render(*view, QSize(600, 100), scheme);
        const double opacity = scheme == ColorScheme::dark ? 0.65 : 0.42;
        const QColor unplayed = over(withOpacity(blue(scheme), opacity), background(scheme));
        EXPECT_EQ(playheadColumns(image, scheme), std::vector<int>{317});
        EXPECT_TRUE(near(image.pixelColor(60, 20), over(withOpacity(blue(scheme), 0.95), unplayed)));
        EXPECT_TRUE(near(image.pixelColor(315, 70), playedColor(scheme)));
        EXPECT_TRUE(near(image.pixelColor(320, 20), unplayed));
        EXPECT_TRUE(near(image.pixelColor(580, 70), unplayedColor(scheme)));
    }
}

TEST(ChannelLanesView, IsCrispAtTwicePixelDensity) {
    // 283 bars 1.5 points wide at a 2-point pitch: 3 full pixels and a 1-pixel gap.
    auto view = lanesView({constantLane(566, -0.5f, 0.5f)}, {"M"}, 0);
    const QImage image = render(*view, QSize(600, 50), ColorScheme::light, 2);
    EXPECT_EQ(playheadColumns(image, ColorScheme::light), (std::vector<int>{68, 69}));
    const QColor bar = unplayedColor(ColorScheme::light);
    for (int x = 72; x < 1200; x += 4) {
        EXPECT_EQ(image.pixelColor(x, 40), image.pixelColor(x + 2, 40));
        ASSERT_TRUE(near(image.pixelColor(x, 40), bar)) << "column " << x;
        ASSERT_EQ(image.pixelColor(x + 3, 40), background(ColorScheme::light)) << "column " << x + 3;
    }
}

// --- repainting ---

TEST(ChannelLanesView, PlaybackTicksRepaintOnlyTheCrossedStrip) {
    auto view = lanesView(fivePointOne(), fivePointOneLabels, 0);
    view->resize(600, 132);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QCoreApplication::processEvents();
    const int builds = view->cacheBuildCount();
    EXPECT_EQ(builds, 1);

    PaintRecorder spy(*view);
    view->setFraction(0.5); // 34 → 317
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.painted, QRegion(34, 0, 284, 132));
    spy.painted = {};
    view->setFraction(0.51); // 317 → 322
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.painted, QRegion(317, 0, 6, 132));
    EXPECT_EQ(view->cacheBuildCount(), builds);

    std::vector<Buckets> same = fivePointOne();
    for (Buckets& b : same) b.framesPerBucket += 1;
    view->setLanes(same);
    view->setLabels(fivePointOneLabels);
    view->setLabelWidth(labelWidth);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->cacheBuildCount(), builds);

    view->setLabels({"A", "B"});
    view->setLabelWidth(40);
    view->setGain(3);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->cacheBuildCount(), builds + 1);
}

} // namespace
} // namespace vaun
