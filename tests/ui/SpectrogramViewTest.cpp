#include "PreviewViews/SpectrogramView.h"

#include "RenderSupport.h"

#include <QApplication>
#include <QPaintEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vaun {
namespace {

using test::colorDistance;
using test::PaintRecorder;
using test::render;

constexpr int viewWidth = 334; // a plot 300 points wide
constexpr int viewHeight = 132;
constexpr int plotLeft = 34;
constexpr int plotWidth = viewWidth - plotLeft;

Spectrogram uniform(std::int64_t columns, std::int64_t rows, std::uint8_t value, double maxHz = 24000) {
    Spectrogram s;
    s.columns = columns;
    s.rows = rows;
    s.minHz = 20;
    s.maxHz = maxHz;
    s.values.assign(std::size_t(columns * rows), value);
    return s;
}

QColor tableColor(int index) { return QColor::fromRgb(spectrogramColorTable()[std::size_t(index)]); }

QImage renderView(const Spectrogram& s, double fraction = 0.5, ColorScheme scheme = ColorScheme::dark, qreal dpr = 1) {
    SpectrogramView view;
    view.setSpectrogram(s);
    view.setFraction(fraction);
    return render(view, QSize(viewWidth, viewHeight), scheme, dpr);
}

// --- colour table and bitmap ---

TEST(SpectrogramColors, tableRunsFromVioletBlackToPaleYellow) {
    const SpectrogramColorTable table = spectrogramColorTable();
    EXPECT_EQ(table[0], qRgba(5, 2, 15, 255));
    EXPECT_EQ(table[128], qRgba(141, 28, 114, 255));
    EXPECT_EQ(table[255], qRgba(255, 242, 178, 255));
    for (QRgb entry : table) EXPECT_EQ(qAlpha(entry), 255);
    // Brighter bytes never get darker red: the map climbs monotonically in red.
    for (std::size_t i = 1; i < table.size(); ++i) EXPECT_GE(qRed(table[i]), qRed(table[i - 1])) << i;
}

TEST(SpectrogramBitmap, onePixelPerCellWithRowZeroAtTheBottom) {
    // Two columns, three rows: column 0 = bytes 0, 128, 255 from the lowest row up.
    Spectrogram s = uniform(2, 3, 0);
    s.values = {0, 128, 255, 255, 0, 128};
    const QImage bitmap = spectrogramBitmap(s);
    ASSERT_EQ(bitmap.size(), QSize(2, 3));
    EXPECT_TRUE(bitmap.format() == QImage::Format_ARGB32 || bitmap.format() == QImage::Format_RGB888);
    const SpectrogramColorTable table = spectrogramColorTable();
    EXPECT_EQ(bitmap.pixel(0, 2), table[0]);
    EXPECT_EQ(bitmap.pixel(0, 1), table[128]);
    EXPECT_EQ(bitmap.pixel(0, 0), table[255]);
    EXPECT_EQ(bitmap.pixel(1, 2), table[255]);
    EXPECT_EQ(bitmap.pixel(1, 1), table[0]);
    EXPECT_EQ(bitmap.pixel(1, 0), table[128]);
}

TEST(SpectrogramBitmap, degenerateRecordsGiveNoBitmap) {
    Spectrogram empty;
    EXPECT_TRUE(spectrogramBitmap(empty).isNull());

    Spectrogram noRows = uniform(4, 0, 0);
    EXPECT_TRUE(spectrogramBitmap(noRows).isNull());

    Spectrogram shortValues = uniform(4, 3, 0);
    shortValues.values.pop_back();
    EXPECT_TRUE(spectrogramBitmap(shortValues).isNull());

    Spectrogram negative = uniform(4, 3, 0);
    negative.columns = -4;
    EXPECT_TRUE(spectrogramBitmap(negative).isNull());

    // Counts whose product wraps around must not pass the length check.
    Spectrogram overflow = uniform(1, 1, 0);
    overflow.columns = std::int64_t(1) << 33;
    overflow.rows = std::int64_t(1) << 31;
    EXPECT_TRUE(spectrogramBitmap(overflow).isNull());

    Spectrogram zeroMin = uniform(4, 3, 0);
    zeroMin.minHz = 0;
    EXPECT_TRUE(spectrogramBitmap(zeroMin).isNull());

    Spectrogram inverted = uniform(4, 3, 0);
    inverted.maxHz = 10;
    EXPECT_TRUE(spectrogramBitmap(inverted).isNull());

    Spectrogram notANumber = uniform(4, 3, 0);
    notANumber.maxHz = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(spectrogramBitmap(notANumber).isNull());

    // Extra bytes beyond columns × rows are tolerated.
    Spectrogram longer = uniform(4, 3, 0);
    longer.values.push_back(7);
    EXPECT_FALSE(spectrogramBitmap(longer).isNull());
}

// --- geometry ---

TEST(SpectrogramGeometry, ticksBelowTheTopFrequencyOnly) {
    // A 16 kHz file tops out at 8 kHz: no "10k".
    const auto narrow = frequencyTicks(uniform(1, 1, 0, 8000), viewHeight);
    ASSERT_EQ(narrow.size(), 2u);
    EXPECT_EQ(narrow[0].text, "100");
    EXPECT_EQ(narrow[1].text, "1k");

    for (double maxHz : {22050.0, 24000.0}) {
        const auto wide = frequencyTicks(uniform(1, 1, 0, maxHz), viewHeight);
        ASSERT_EQ(wide.size(), 3u) << maxHz;
        EXPECT_EQ(wide[2].text, "10k");
        const double span = std::log(maxHz / 20);
        const double expected[] = {100, 1000, 10000};
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(wide[i].y, viewHeight * (1 - std::log(expected[i] / 20) / span), 1e-9);
        EXPECT_GT(wide[0].y, wide[1].y); // higher frequencies sit higher up
    }

    // A top frequency of exactly 10 kHz does not get the 10k label.
    EXPECT_EQ(frequencyTicks(uniform(1, 1, 0, 10000), viewHeight).size(), 2u);
    EXPECT_TRUE(frequencyTicks(Spectrogram{}, viewHeight).empty());
}

TEST(SpectrogramGeometry, playheadStaysInsideThePlot) {
    EXPECT_EQ(playheadOffset(300, 0), 0);
    EXPECT_EQ(playheadOffset(300, 1), 299);
    EXPECT_EQ(playheadOffset(300, 0.5), 150);
    EXPECT_EQ(playheadOffset(300, -0.2), 0);
    EXPECT_EQ(playheadOffset(300, 3), 299);
    EXPECT_EQ(playheadOffset(300, std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(playheadOffset(0.5, 1), 0); // narrower than the line itself
}

// --- rendering ---

TEST(SpectrogramRendering, uniformBytesFillThePlotWithTheirColour) {
    for (auto [byte, expected] : {std::pair{0, QColor(5, 2, 15)}, std::pair{255, QColor(255, 242, 178)}}) {
        const QImage image = renderView(uniform(480, 160, std::uint8_t(byte)));
        for (QPoint p : {QPoint(40, 60), QPoint(120, 100), QPoint(250, 125), QPoint(330, 40)})
            EXPECT_LE(colorDistance(image.pixelColor(p), expected), 1) << byte << " at " << p.x() << "," << p.y();
        // The label column stays the window background.
        EXPECT_LE(colorDistance(image.pixelColor(2, 2), Appearance::of(ColorScheme::dark).windowBackground), 1);
    }
}

TEST(SpectrogramRendering, lowestRowAtTheBottomHighestAtTheTop) {
    // Bottom half of the rows silent, top half full scale.
    Spectrogram s = uniform(8, 160, 0);
    for (std::size_t c = 0; c < 8; ++c)
        for (std::size_t r = 80; r < 160; ++r) s.values[c * 160 + r] = 255;
    const QImage image = renderView(s);
    EXPECT_LE(colorDistance(image.pixelColor(100, 125), tableColor(0)), 2);
    EXPECT_LE(colorDistance(image.pixelColor(100, 8), tableColor(255)), 2);
}

TEST(SpectrogramRendering, oneColumnFillsTheWholePlotWidth) {
    const QImage image = renderView(uniform(1, 160, 200), 0.5);
    for (int x : {plotLeft + 1, plotLeft + 10, plotLeft + plotWidth / 4, viewWidth - 10, viewWidth - 2})
        EXPECT_LE(colorDistance(image.pixelColor(x, 70), tableColor(200)), 1) << x;
}

TEST(SpectrogramRendering, cornersAreRoundedAndTheImageStartsAfterTheLabels) {
    const QImage image = renderView(uniform(480, 160, 255));
    const QColor background = Appearance::of(ColorScheme::dark).windowBackground;
    EXPECT_LE(colorDistance(image.pixelColor(plotLeft, 0), background), 40);
    EXPECT_LE(colorDistance(image.pixelColor(viewWidth - 1, viewHeight - 1), background), 40);
    EXPECT_LE(colorDistance(image.pixelColor(plotLeft - 1, 60), background), 1);
    EXPECT_LE(colorDistance(image.pixelColor(plotLeft + 1, 60), tableColor(255)), 1);
}

TEST(SpectrogramRendering, playheadIsAWhiteLineAtTheFraction) {
    const Spectrogram s = uniform(480, 160, 0);
    const QImage start = renderView(s, 0);
    EXPECT_LE(colorDistance(start.pixelColor(plotLeft, 60), Qt::white), 1);
    EXPECT_LE(colorDistance(start.pixelColor(plotLeft + 1, 60), tableColor(0)), 1);

    const QImage end = renderView(s, 1);
    EXPECT_LE(colorDistance(end.pixelColor(plotLeft + plotWidth - 1, 60), Qt::white), 1);
    EXPECT_LE(colorDistance(end.pixelColor(plotLeft + plotWidth - 2, 60), tableColor(0)), 1);

    const QImage middle = renderView(s, 0.5);
    for (int y : {1, 60, viewHeight - 2}) EXPECT_LE(colorDistance(middle.pixelColor(plotLeft + 150, y), Qt::white), 1);
    EXPECT_LE(colorDistance(middle.pixelColor(plotLeft + 148, 60), tableColor(0)), 1);
}

TEST(SpectrogramRendering, labelsAndGridAtTheTickHeights) {
    for (auto [maxHz, labels] : {std::pair{8000.0, 2}, std::pair{24000.0, 3}}) {
        const Spectrogram s = uniform(480, 160, 0, maxHz);
        const QImage image = renderView(s, 0.9, ColorScheme::light);
        const QColor background = Appearance::of(ColorScheme::light).windowBackground;
        int found = 0;
        for (const FrequencyTick& tick : frequencyTicks(s, viewHeight)) {
            // Some ink of the label near (15, y) in the label column.
            bool ink = false;
            for (int y = int(tick.y) - 4; y <= int(tick.y) + 4 && !ink; ++y)
                for (int x = 4; x < 28 && !ink; ++x)
                    ink = y >= 0 && y < viewHeight && colorDistance(image.pixelColor(x, y), background) > 40;
            EXPECT_TRUE(ink) << tick.text.toStdString();
            // The half-point grid line lightens the plot where it starts (it may straddle two rows).
            const int row = int(tick.y);
            const int lightest = std::max(image.pixelColor(plotLeft + 40, row).red(), image.pixelColor(plotLeft + 40, row + 1).red());
            EXPECT_GT(lightest, tableColor(0).red() + 5) << tick.text.toStdString();
            EXPECT_LE(colorDistance(image.pixelColor(plotLeft + 40, row + 4), tableColor(0)), 1);
            ++found;
        }
        EXPECT_EQ(found, labels);
        // No label where the missing 10k tick would be at 8 kHz: the column is blank above "1k".
        if (labels == 2) {
            bool ink = false;
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 34; ++x) ink = ink || colorDistance(image.pixelColor(x, y), background) > 40;
            EXPECT_FALSE(ink);
        }
    }
}

TEST(SpectrogramRendering, aNewRecordOfTheSameSizeReplacesThePicture) {
    SpectrogramView view;
    view.setSpectrogram(uniform(480, 160, 0));
    const QImage first = render(view, QSize(viewWidth, viewHeight));
    EXPECT_LE(colorDistance(first.pixelColor(100, 60), tableColor(0)), 1);

    view.setSpectrogram(uniform(480, 160, 255));
    const QImage second = render(view, QSize(viewWidth, viewHeight));
    EXPECT_LE(colorDistance(second.pixelColor(100, 60), tableColor(255)), 1);
    EXPECT_EQ(view.bitmap().pixel(0, 0), spectrogramColorTable()[255]);

    // Same bytes, another top frequency: the labels move although the picture does not.
    view.setSpectrogram(uniform(480, 160, 255, 8000));
    const QImage third = render(view, QSize(viewWidth, viewHeight));
    const QColor background = Appearance::of(ColorScheme::light).windowBackground;
    auto inkNear = [&](const QImage& image, double y) {
        int ink = 0;
        for (int row = std::max(0, int(y) - 3); row <= int(y) + 3; ++row)
            for (int x = 4; x < 28; ++x) ink += colorDistance(image.pixelColor(x, row), background) > 40;
        return ink;
    };
    const double wideY = frequencyTicks(uniform(1, 1, 0, 24000), viewHeight)[1].y;
    const double narrowY = frequencyTicks(uniform(1, 1, 0, 8000), viewHeight)[1].y;
    EXPECT_GT(inkNear(second, wideY), 0);
    EXPECT_GT(inkNear(third, narrowY), 0);
    EXPECT_EQ(inkNear(third, wideY), 0);
}

TEST(SpectrogramRendering, theBitmapIsBuiltWhenSetNotWhenPainted) {
    SpectrogramView view;
    EXPECT_TRUE(view.bitmap().isNull());
    view.setSpectrogram(uniform(3, 2, 9));
    EXPECT_EQ(view.bitmap().size(), QSize(3, 2));
    const qint64 key = view.bitmap().cacheKey();
    view.setSpectrogram(uniform(3, 2, 9)); // equal contents: kept
    EXPECT_EQ(view.bitmap().cacheKey(), key);
    view.setFraction(0.7);
    render(view, QSize(viewWidth, viewHeight));
    EXPECT_EQ(view.bitmap().cacheKey(), key);
}

TEST(SpectrogramRendering, sharpAtTwoPixelsPerPoint) {
    const QImage image = renderView(uniform(480, 160, 0), 0, ColorScheme::dark, 2);
    ASSERT_EQ(image.size(), QSize(2 * viewWidth, 2 * viewHeight));
    // The 1-point playhead covers exactly two device pixels.
    EXPECT_LE(colorDistance(image.pixelColor(2 * plotLeft, 100), Qt::white), 1);
    EXPECT_LE(colorDistance(image.pixelColor(2 * plotLeft + 1, 100), Qt::white), 1);
    EXPECT_LE(colorDistance(image.pixelColor(2 * plotLeft + 2, 100), tableColor(0)), 1);
}

TEST(SpectrogramRendering, degenerateRecordsDrawNothing) {
    const QColor background = Appearance::of(ColorScheme::dark).windowBackground;
    Spectrogram shortValues = uniform(480, 160, 255);
    shortValues.values.resize(100);
    Spectrogram zeroMin = uniform(480, 160, 255);
    zeroMin.minHz = 0;
    Spectrogram inverted = uniform(480, 160, 255);
    inverted.maxHz = 20;
    Spectrogram noColumns = uniform(0, 160, 255);
    for (const Spectrogram& s : {Spectrogram{}, shortValues, zeroMin, inverted, noColumns}) {
        const QImage image = renderView(s, 0.5);
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) painted += colorDistance(image.pixelColor(x, y), background) > 0;
        EXPECT_EQ(painted, 0);
    }
}

TEST(SpectrogramRendering, tinySizesDoNotBreak) {
    SpectrogramView view;
    view.setSpectrogram(uniform(480, 160, 128));
    view.setFraction(1);
    for (QSize size : {QSize(1, 1), QSize(34, 132), QSize(35, 1), QSize(400, 0)})
        EXPECT_NO_FATAL_FAILURE(render(view, size.expandedTo(QSize(1, 1))));
}

// --- repainting ---


TEST(SpectrogramRepaint, movingThePlayheadRepaintsOnlyTheStripItCrosses) {
    SpectrogramView view;
    view.setSpectrogram(uniform(480, 160, 10));
    view.resize(viewWidth, viewHeight);
    view.show();
    QApplication::processEvents();
    PaintRecorder recorder;
    view.installEventFilter(&recorder);

    view.setFraction(0.2);
    QApplication::processEvents();
    ASSERT_GT(recorder.paints, 0);
    const QRect strip = recorder.painted.boundingRect();
    EXPECT_LE(strip.left(), plotLeft);
    EXPECT_GE(strip.right(), plotLeft + 60);
    EXPECT_LE(strip.width(), 60 + 6);
    EXPECT_EQ(strip.height(), viewHeight);

    recorder.painted = {};
    recorder.paints = 0;
    view.setFraction(0.2);
    QApplication::processEvents();
    EXPECT_EQ(recorder.paints, 0);
    view.removeEventFilter(&recorder);
}

} // namespace
} // namespace vaun
