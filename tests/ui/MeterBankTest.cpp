#include "PreviewViews/MeterBank.h"
#include "PreviewViews/MeterLabels.h"

#include <QFontMetricsF>

#include "RenderSupport.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace vaun {
namespace {

using namespace std::chrono_literals;
using test::colorDistance;
using test::over;
using test::PaintRecorder;
using test::render;
using TimePoint = PeakHold::TimePoint;

constexpr int bankHeight = 132;

// A clock the test moves by hand.
struct ManualClock {
    TimePoint now{};
    MeterBank::Clock function() {
        return [this] { return now; };
    }
};

QStringList channelLabels(int n) {
    QStringList labels;
    for (int i = 0; i < n; ++i) labels << QString::number(i + 1);
    return labels;
}

QSize naturalSize(const MeterBank& bank) { return {bank.sizeHint().width(), bankHeight}; }

// What the user sees of a meter's parts over a bare background.
struct MeterColors {
    QColor background, track;
    explicit MeterColors(ColorScheme scheme) {
        const Appearance& a = Appearance::of(scheme);
        background = a.windowBackground;
        track = over(withOpacity(a.primaryLabel, 0.07), background);
    }
    QColor bar(QColor level) const { return over(withOpacity(level, 0.85), track); }
};

// First row from the top of `area` in column x whose colour is nearer `fill` than `track`.
int firstRowOf(const QImage& image, int x, QColor fill, QColor track, const QRectF& area) {
    for (int y = int(area.top()); y < int(area.bottom()); ++y) {
        const QColor c = image.pixelColor(x, y);
        if (colorDistance(c, fill) < colorDistance(c, track)) return y;
    }
    return -1;
}

// --- geometry, scale and colours ---

TEST(MeterGeometry, widthsFollowTheChannelCount) {
    struct Case {
        int channels, count;
        double width, gap, label;
    };
    for (Case c : {Case{0, 1, 15, 3, 8}, Case{1, 1, 15, 3, 8}, Case{6, 6, 15, 3, 8}, Case{7, 7, 13, 3, 8},
                   Case{12, 12, 13, 3, 8}, Case{13, 13, 11, 2, 6}, Case{24, 24, 11, 2, 6}}) {
        const MeterGeometry g = MeterGeometry::forChannels(c.channels);
        EXPECT_EQ(g.count, c.count) << c.channels;
        EXPECT_EQ(g.meterWidth, c.width) << c.channels;
        EXPECT_EQ(g.gap, c.gap) << c.channels;
        EXPECT_EQ(g.labelPoints, c.label) << c.channels;
    }
    EXPECT_EQ(MeterGeometry::forChannels(16).drawingWidth(), 206);
    EXPECT_EQ(MeterGeometry::forChannels(2).drawingWidth(), 33);
    EXPECT_EQ(MeterGeometry::forChannels(16).meterX(3), 39);
}

TEST(MeterScale, levelsMapLinearlyFromMinusSixtyToZero) {
    EXPECT_EQ(meterFraction(-60), 0.0f);
    EXPECT_EQ(meterFraction(-160), 0.0f);
    EXPECT_EQ(meterFraction(0), 1.0f);
    EXPECT_EQ(meterFraction(4), 1.0f);
    EXPECT_EQ(meterFraction(-30), 0.5f);
    EXPECT_FLOAT_EQ(meterFraction(-6), 0.9f);
    EXPECT_NEAR(meterFraction(-2), 0.9667f, 1e-4);
    EXPECT_EQ(meterFraction(std::nanf("")), 0.0f);

    const Appearance& a = Appearance::of(ColorScheme::light);
    EXPECT_EQ(meterColor(-2.9f, a), a.red);
    EXPECT_EQ(meterColor(-3, a), a.orange);
    EXPECT_EQ(meterColor(-11.9f, a), a.orange);
    EXPECT_EQ(meterColor(-12, a), a.green);
    EXPECT_EQ(meterColor(-100, a), a.green);
}

// --- peak hold ---

TEST(PeakHold, holdsAFallingPeakForOneAndAHalfSecondsThenJumps) {
    PeakHold hold;
    const TimePoint t0{};
    hold.update({-3}, t0);
    EXPECT_EQ(hold.held(), QVector<float>{-3});
    hold.update({-30}, t0 + 500ms);
    hold.update({-31}, t0 + 1500ms); // not yet more than 1.5 s
    EXPECT_EQ(hold.held(), QVector<float>{-3});
    hold.update({-32}, t0 + 1501ms);
    EXPECT_EQ(hold.held(), QVector<float>{-32}); // straight to the peak of that moment
    // A higher peak takes over at once and restarts the hold.
    hold.update({-10}, t0 + 1600ms);
    hold.update({-40}, t0 + 3000ms);
    EXPECT_EQ(hold.held(), QVector<float>{-10});
}

TEST(PeakHold, channelsHoldIndependently) {
    PeakHold hold;
    const TimePoint t0{};
    hold.update({-20, -5}, t0);
    hold.update({-10, -30}, t0 + 1s); // first rises, second falls
    hold.update({-40, -35}, t0 + 2s); // second timed out (2 s), first held since 1 s
    EXPECT_EQ(hold.held(), (QVector<float>{-10, -35}));
}

TEST(PeakHold, emptyClearsAndACountChangeStartsAfresh) {
    PeakHold hold;
    const TimePoint t0{};
    hold.update({-1, -1}, t0);
    hold.update({}, t0 + 100ms);
    EXPECT_TRUE(hold.held().isEmpty());
    hold.update({-20, -25}, t0 + 200ms); // a fresh hold, not compared with the cleared one
    EXPECT_EQ(hold.held(), (QVector<float>{-20, -25}));
    hold.update({-50, -50, -50}, t0 + 300ms);
    EXPECT_EQ(hold.held(), (QVector<float>{-50, -50, -50}));
}

// --- drawing ---

class MeterBankDrawing : public testing::TestWithParam<ColorScheme> {
protected:
    ManualClock clock;
    MeterBank bank{clock.function(), MeterPlates{}};
    MeterColors colors{GetParam()};

    QImage draw() { return render(bank, naturalSize(bank), GetParam()); }
    int centreX(int meter) const {
        return int(bank.drawingRect().left() + bank.meterGeometry().meterX(meter) + bank.meterGeometry().meterWidth / 2);
    }
};

TEST_P(MeterBankDrawing, silenceDrawsOnlyTheTracks) {
    bank.setLabels({"L", "R"});
    bank.setLevels({-60, -80}, {-60, -160});
    const QImage image = draw();
    const QRectF area = bank.drawingRect();
    ASSERT_GT(area.height(), 80);
    for (int meter : {0, 1})
        for (int y = int(area.top()) + 2; y < int(area.bottom()) - 1; y += 3)
            ASSERT_LE(colorDistance(image.pixelColor(centreX(meter), y), colors.track), 1) << meter << " " << y;
    // The gap between the meters stays bare.
    const int gapX = int(area.left() + 15 + 1);
    EXPECT_LE(colorDistance(image.pixelColor(gapX, int(area.center().y())), colors.background), 1);
}

TEST_P(MeterBankDrawing, averageBarsReachTheirLevelInTheirColour) {
    const Appearance& a = Appearance::of(GetParam());
    bank.setLabels({"L", "C", "R"});
    bank.setLevels({}, {-6, -2, -20});
    const QImage image = draw();
    const QRectF area = bank.drawingRect();
    const double h = area.height();
    struct Expect {
        QColor color;
        double fraction;
    };
    const Expect expected[] = {{a.orange, 0.9}, {a.red, 58.0 / 60}, {a.green, 40.0 / 60}};
    for (int i = 0; i < 3; ++i) {
        const QColor bar = colors.bar(expected[i].color);
        const int x = centreX(i);
        EXPECT_LE(colorDistance(image.pixelColor(x, int(area.bottom()) - 3), bar), 2) << i;
        EXPECT_LE(colorDistance(image.pixelColor(x, int(area.bottom() - h * expected[i].fraction) + 2), bar), 2) << i;
        const double top = area.bottom() - h * expected[i].fraction;
        EXPECT_NEAR(firstRowOf(image, x, bar, colors.track, area), top, 1.0) << i;
        // Above the bar only the track.
        EXPECT_LE(colorDistance(image.pixelColor(x, int(top) - 2), colors.track), 1) << i;
    }
}

TEST_P(MeterBankDrawing, heldPeakTickSitsOnTheBottomAtTheQuietestLevels) {
    const Appearance& a = Appearance::of(GetParam());
    bank.setLabels({"M"});
    bank.setLevels({-59.99f}, {-100});
    const QImage image = draw();
    const QRectF area = bank.drawingRect();
    const int bottom = int(area.bottom()); // first row below the meter
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), bottom - 1), a.green), 1);
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), bottom - 2), a.green), 1);
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), bottom - 3), colors.track), 1);
}

TEST_P(MeterBankDrawing, fallingPeakKeepsItsTickThenJumps) {
    const Appearance& a = Appearance::of(GetParam());
    bank.setLabels({"L"});
    const QRectF area = [&] { draw(); return bank.drawingRect(); }();
    const double h = area.height();
    // The row the 2-point tick covers fully, wherever between pixels its top falls.
    auto tickRow = [&](float level) { return int(std::floor(area.top() + h - h * meterFraction(level))) + 1; };

    bank.setLevels({-3}, {-60});
    clock.now += 1s;
    bank.setLevels({-30}, {-60});
    QImage image = draw();
    EXPECT_EQ(bank.held(), QVector<float>{-3});
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), tickRow(-3)), a.orange), 1);
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), tickRow(-30)), colors.track), 1);

    clock.now += 600ms;
    bank.setLevels({-31}, {-60});
    image = draw();
    EXPECT_EQ(bank.held(), QVector<float>{-31});
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), tickRow(-3)), colors.track), 1);
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), tickRow(-31)), a.green), 1);
}

TEST_P(MeterBankDrawing, endOfPlaybackClearsTheTicks) {
    bank.setLabels({"L", "R"});
    bank.setLevels({-1, -1}, {-10, -10});
    bank.setLevels({}, {});
    EXPECT_TRUE(bank.held().isEmpty());
    const QImage image = draw();
    const QRectF area = bank.drawingRect();
    for (int y = int(area.top()) + 2; y < int(area.bottom()) - 1; y += 2)
        ASSERT_LE(colorDistance(image.pixelColor(centreX(0), y), colors.track), 1) << y;
}

TEST_P(MeterBankDrawing, aChangedChannelCountStartsAFreshHold) {
    bank.setLabels({"L", "R"});
    bank.setLevels({-1, -1}, {-60, -60});
    clock.now += 100ms;
    bank.setLevels({-40, -40, -40}, {-60, -60, -60});
    EXPECT_EQ(bank.held(), (QVector<float>{-40, -40, -40}));
}

TEST_P(MeterBankDrawing, sixteenChannelsGetNarrowMeters) {
    bank.setLabels(channelLabels(16));
    EXPECT_EQ(bank.meterGeometry().meterWidth, 11);
    EXPECT_EQ(bank.meterGeometry().gap, 2);
    EXPECT_EQ(bank.meterGeometry().drawingWidth(), 206);
    EXPECT_EQ(bank.sizeHint().width(), 222);
    EXPECT_EQ(bank.labelRow().labelFont().pixelSize(), 6);
    EXPECT_EQ(bank.labelRow().content().count, 16);
    EXPECT_EQ(bank.labelRow().content().column, 11);
    EXPECT_EQ(bank.labelRow().content().spacing, 2);

    const QImage image = draw();
    const QRectF area = bank.drawingRect();
    EXPECT_EQ(area.left(), 8);
    EXPECT_EQ(area.width(), 206);
    const int y = int(area.center().y());
    for (int i = 0; i < 16; ++i) {
        EXPECT_LE(colorDistance(image.pixelColor(int(area.left()) + 13 * i + 5, y), colors.track), 1) << i;
        if (i < 15) {
            EXPECT_LE(colorDistance(image.pixelColor(int(area.left()) + 13 * i + 11, y), colors.background), 1) << i;
        }
    }
    EXPECT_LE(colorDistance(image.pixelColor(int(area.right()) + 1, y), colors.background), 1);
}

TEST_P(MeterBankDrawing, noLabelsStillLayOutOneMeter) {
    bank.setLabels({});
    EXPECT_EQ(bank.meterGeometry().count, 1);
    EXPECT_EQ(bank.sizeHint().width(), 16 + 15);
    EXPECT_EQ(bank.labelRow().content().count, 1);
    const QImage image = draw();
    EXPECT_LE(colorDistance(image.pixelColor(centreX(0), int(bank.drawingRect().center().y())), colors.track), 1);
}

TEST_P(MeterBankDrawing, labelsSitUnderTheirMeters) {
    bank.setLabels({"L", "", "R"});
    const QImage image = draw();
    const QRect row = bank.labelRow().geometry();
    EXPECT_GE(row.top(), int(bank.drawingRect().bottom()) + 3);
    EXPECT_LE(row.bottom(), bankHeight - 9);
    auto inkUnder = [&](int meter) {
        const double left = bank.drawingRect().left() + bank.meterGeometry().meterX(meter);
        int ink = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = int(left); x < int(left + 15); ++x) ink += colorDistance(image.pixelColor(x, y), colors.background) > 30;
        return ink;
    };
    EXPECT_GT(inkUnder(0), 0);
    EXPECT_EQ(inkUnder(1), 0);
    EXPECT_GT(inkUnder(2), 0);
}

INSTANTIATE_TEST_SUITE_P(BothAppearances, MeterBankDrawing, testing::Values(ColorScheme::light, ColorScheme::dark));

// --- plate ---

// A plate 40 × 40 points at two pixels per point: a 14-point frame of `cap` around `middle`.
QImage plate(QColor cap, QColor middle) {
    QImage image(80, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(cap);
    QPainter(&image).fillRect(28, 28, 24, 24, middle);
    image.setDevicePixelRatio(2);
    return image;
}

TEST(MeterBankPlate, followsTheAppearanceAndKeepsItsCapsUnscaled) {
    const QColor lightCap(200, 40, 40), lightMiddle(40, 200, 40);
    const QColor darkCap(40, 40, 200), darkMiddle(200, 200, 40);
    ManualClock clock;
    MeterBank bank(clock.function(), MeterPlates{plate(lightCap, lightMiddle), plate(darkCap, darkMiddle)});
    bank.setLabels({"M"});
    for (qreal dpr : {1.0, 2.0}) {
        for (auto [scheme, cap, middle] : {std::tuple{ColorScheme::light, lightCap, lightMiddle},
                                           std::tuple{ColorScheme::dark, darkCap, darkMiddle}}) {
            // Wider than natural so the middle of the plate shows beside the centred meter.
            const QImage image = render(bank, QSize(80, bankHeight), scheme, dpr);
            auto at = [&](int x, int y) { return image.pixelColor(int(x * dpr), int(y * dpr)); };
            EXPECT_LE(colorDistance(at(4, 60), cap), 2) << dpr;
            EXPECT_LE(colorDistance(at(12, 60), cap), 2) << dpr;
            EXPECT_LE(colorDistance(at(17, 60), middle), 2) << dpr;  // a plain stretch would still be cap here
            EXPECT_LE(colorDistance(at(20, 4), cap), 2) << dpr;
            EXPECT_LE(colorDistance(at(20, 20), middle), 2) << dpr;  // 14 points down, not 14 × 3.3
            EXPECT_LE(colorDistance(at(20, 125), cap), 2) << dpr;
            EXPECT_LE(colorDistance(at(75, 60), cap), 2) << dpr;
            // The meter's track lies over the plate.
            const QColor track = over(withOpacity(Appearance::of(scheme).primaryLabel, 0.07), middle);
            EXPECT_LE(colorDistance(at(40, 60), track), 2) << dpr;
        }
    }
}

TEST(MeterBankPlate, missingPlateStillDrawsTheMeters) {
    ManualClock clock;
    MeterBank bank(clock.function(), MeterPlates{std::nullopt, plate(Qt::blue, Qt::blue)});
    bank.setLabels({"L"});
    bank.setLevels({}, {-6});
    const QImage image = render(bank, naturalSize(bank), ColorScheme::light);
    const MeterColors colors(ColorScheme::light);
    EXPECT_LE(colorDistance(image.pixelColor(2, 60), colors.background), 1);
    EXPECT_LE(colorDistance(image.pixelColor(15, 100), colors.bar(Appearance::of(ColorScheme::light).orange)), 2);
}

TEST(NinePatch, capsShrinkOnlyWhenTheTargetIsTooSmall) {
    QImage target(20, 10, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::black);
    QPainter painter(&target);
    drawNinePatch(painter, QRectF(0, 0, 20, 10), plate(Qt::red, Qt::green), 14);
    painter.end();
    // Ten points high: each vertical cap gets five, so no middle row is left.
    for (int y = 0; y < 10; ++y) EXPECT_LE(colorDistance(target.pixelColor(10, y), Qt::red), 2) << y;
}

// --- repainting ---


TEST(MeterLabelsRow, equalContentsDoNotRepaint) {
    MeterLabels labels;
    labels.setContent({{"L", "R"}, 2, 15, 3});
    labels.resize(60, 12);
    labels.show();
    QApplication::processEvents();
    PaintRecorder recorder;
    labels.installEventFilter(&recorder);

    labels.setContent({{"L", "R"}, 2, 15, 3});
    QApplication::processEvents();
    EXPECT_EQ(recorder.paints, 0);

    labels.setContent({{"L", "R"}, 2, 13, 3});
    QApplication::processEvents();
    EXPECT_GT(recorder.paints, 0);
    labels.removeEventFilter(&recorder);
}

TEST(MeterLabelsRow, fontFollowsTheSlotCount) {
    MeterLabels labels;
    labels.setContent({{}, 12, 13, 3});
    EXPECT_EQ(labels.labelFont().pixelSize(), 8);
    labels.setContent({{}, 13, 11, 2});
    EXPECT_EQ(labels.labelFont().pixelSize(), 6);
    EXPECT_EQ(labels.rowWidth(), 13 * 11 + 12 * 2);
}

TEST(MeterLabelsRow, longLabelsOverflowTheirSlot) {
    MeterLabels labels;
    labels.setContent({{"", "SURROUND", ""}, 3, 15, 3});
    const QImage image = render(labels, QSize(51, 12));
    const QColor background = Appearance::of(ColorScheme::light).windowBackground;
    int outside = 0; // ink in the neighbouring slots
    for (int y = 0; y < 12; ++y)
        for (int x : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50})
            outside += colorDistance(image.pixelColor(x, y), background) > 30;
    EXPECT_GT(outside, 0);
}

TEST(MeterBankRepaint, levelsRepaintOnlyTheMeters) {
    ManualClock clock;
    MeterBank bank(clock.function(), MeterPlates{});
    bank.setLabels({"L", "R"});
    bank.resize(naturalSize(bank));
    bank.show();
    QApplication::processEvents();
    PaintRecorder bankPaints, labelPaints;
    bank.installEventFilter(&bankPaints);
    bank.labelRow().installEventFilter(&labelPaints);

    bank.setLevels({-3, -4}, {-10, -12});
    QApplication::processEvents();
    EXPECT_GT(bankPaints.paints, 0);
    EXPECT_TRUE(bank.drawingRect().toAlignedRect().contains(bankPaints.painted.boundingRect()));
    EXPECT_EQ(labelPaints.paints, 0);

    // Nothing visible changed: nothing repainted.
    bankPaints.reset();
    bank.setLevels({-3, -4}, {-10, -12});
    QApplication::processEvents();
    EXPECT_EQ(bankPaints.paints, 0);

    bank.removeEventFilter(&bankPaints);
    bank.labelRow().removeEventFilter(&labelPaints);
}

TEST(MeterBankAccessibility, carriesItsName) {
    MeterBank bank;
    EXPECT_EQ(bank.accessibleName(), "Playback level meters");
}

TEST(MeterLabelsRow, LabelsNeverRunIntoEachOtherAtAnyCount) {
    for (int count : {2, 8, 16, 24}) {
        const MeterGeometry g = MeterGeometry::forChannels(count);
        QStringList names;
        for (int i = 0; i < count; ++i) names << (i % 3 == 0 ? QString("LFE2") : QString("Atmos_Obj_%1").arg(i));
        MeterLabels labels;
        labels.setContent({names, count, g.meterWidth, g.gap});
        const QStringList shown = labels.shownLabels();
        ASSERT_EQ(shown.size(), count);
        const QFontMetricsF metrics(labels.labelFont());
        for (int i = 0; i + 1 < count; ++i) {
            const double gap = g.meterWidth + g.gap;
            const double reach = (metrics.horizontalAdvance(shown[i]) + metrics.horizontalAdvance(shown[i + 1])) / 2;
            EXPECT_LE(reach, gap) << count << " slots, labels " << shown[i].toStdString() << " and "
                                  << shown[i + 1].toStdString();
        }
    }
}

} // namespace
} // namespace vaun

