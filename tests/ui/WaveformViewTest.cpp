#include "PreviewViews/WaveformView.h"
#include "RenderSupport.h"
#include "Toolkit/BarFill.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace vaun {
namespace {

using test::colorDistance;
using test::over;
using test::PaintRecorder;
using test::render;

constexpr int tolerance = 10;

// Buckets of a 440 Hz tone that starts loud and decays, reduced the way the generator does.
std::vector<float> toneBurst(int pairs, double seconds = 2, double decay = 3) {
    const int rate = 48000;
    const int frames = int(seconds * rate);
    std::vector<float> values;
    for (int b = 0; b < pairs; ++b) {
        float lo = 0, hi = 0;
        for (int f = frames * b / pairs; f < frames * (b + 1) / pairs; ++f) {
            const double t = double(f) / rate;
            const float s = float(0.9 * std::exp(-decay * t) * std::sin(2 * M_PI * 440 * t));
            lo = std::min(lo, s);
            hi = std::max(hi, s);
        }
        values.push_back(lo);
        values.push_back(hi);
    }
    return values;
}

std::vector<float> constantPairs(int pairs, float lo, float hi) {
    std::vector<float> values(std::size_t(2 * pairs), hi);
    for (std::size_t i = 0; i < values.size(); i += 2) values[i] = lo;
    return values;
}

QColor background(ColorScheme scheme) { return Appearance::of(scheme).windowBackground; }
QColor unplayedColor(ColorScheme scheme) {
    return over(WaveformBars::barColor(scheme, false), background(scheme));
}
// The played copy lies over the unplayed one.
QColor playedColor(ColorScheme scheme) { return over(WaveformBars::barColor(scheme, true), unplayedColor(scheme)); }
QColor blue(ColorScheme scheme) { return Appearance::of(scheme).blue; }

bool near(QColor a, QColor b, int within = tolerance) { return colorDistance(a, b) <= within; }

// Runs of consecutive pixels in row `y` matching `match`, as (start, length).
std::vector<std::pair<int, int>> runs(const QImage& image, int y, const std::function<bool(QColor)>& match) {
    std::vector<std::pair<int, int>> found;
    for (int x = 0; x < image.width(); ++x) {
        if (!match(image.pixelColor(x, y))) continue;
        if (!found.empty() && found.back().first + found.back().second == x)
            ++found.back().second;
        else
            found.emplace_back(x, 1);
    }
    return found;
}

// Columns of `image` whose every pixel is the playhead's blue.
std::vector<int> playheadColumns(const QImage& image, ColorScheme scheme) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        bool all = true;
        for (int y = 0; y < image.height() && all; ++y) all = near(image.pixelColor(x, y), blue(scheme));
        if (all) columns.push_back(x);
    }
    return columns;
}

std::unique_ptr<WaveformView> waveform(std::vector<float> values, double fraction, float gain = 1) {
    auto view = std::make_unique<WaveformView>();
    view->setValues(std::move(values));
    view->setFraction(fraction);
    view->setGain(gain);
    return view;
}


// --- bar geometry ---

TEST(WaveformBarGeometry, ManyPairsShareOneBarPerThreePoints) {
    // Bar b's extremes sit at a different position inside its 40 pairs, so a range that is
    // off by one pair hands them to a neighbour.
    std::vector<float> values = constantPairs(8000, -0.05f, 0.1f);
    auto highest = [](int b) { return 0.2f + 0.7f * float(b) / 200; };
    auto lowest = [](int b) { return -0.3f - 0.6f * float(b) / 200; };
    for (int b = 0; b < 200; ++b) {
        values[std::size_t(2 * (40 * b + b % 40) + 1)] = highest(b);
        values[std::size_t(2 * (40 * b + 39 - b % 40))] = lowest(b);
    }
    const auto bars = waveformBarRects(values, 1, QSizeF(600, 100));
    ASSERT_EQ(bars.size(), 200u);
    for (int b = 0; b < 200; ++b) {
        const QRectF& bar = bars[std::size_t(b)];
        EXPECT_DOUBLE_EQ(bar.x(), 3.0 * b);
        EXPECT_DOUBLE_EQ(bar.width(), 2.0);
        EXPECT_NEAR(bar.top(), 50 * (1 - highest(b)), 1e-4) << "bar " << b;
        EXPECT_NEAR(bar.bottom(), 50 * (1 - lowest(b)), 1e-4) << "bar " << b;
    }
}

TEST(WaveformBarGeometry, FewPairsGetOneWideBarEach) {
    const auto bars = waveformBarRects(toneBurst(10), 1, QSizeF(600, 100));
    ASSERT_EQ(bars.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_DOUBLE_EQ(bars[std::size_t(i)].x(), 60.0 * i);
        EXPECT_DOUBLE_EQ(bars[std::size_t(i)].width(), 59.0);
    }
}

TEST(WaveformBarGeometry, ClampsToFullScaleAndKeepsSilenceVisible) {
    const QSizeF size(300, 100);
    const auto loud = waveformBarRects(constantPairs(4, -0.4f, 0.8f), 2, size);
    ASSERT_FALSE(loud.empty());
    EXPECT_DOUBLE_EQ(loud[0].top(), 0.0);     // 0.8 × 2 clamped to full scale
    EXPECT_NEAR(loud[0].bottom(), 90.0, 1e-4); // -0.4 × 2 stays inside
    const auto silent = waveformBarRects(constantPairs(4, 0, 0), 1, size);
    EXPECT_DOUBLE_EQ(silent[0].top(), 50.0);
    EXPECT_DOUBLE_EQ(silent[0].height(), 1.0);
    // A bar follows the signal's own extremes and need not cross the centre.
    const auto above = waveformBarRects(constantPairs(4, 0.2f, 0.6f), 1, size);
    EXPECT_NEAR(above[0].top(), 20.0, 1e-4);
    EXPECT_NEAR(above[0].bottom(), 40.0, 1e-4);
    // Narrower than 3 points still leaves one bar at least 1 point wide.
    const auto narrow = waveformBarRects(toneBurst(50), 1, QSizeF(2, 100));
    ASSERT_EQ(narrow.size(), 1u);
    EXPECT_DOUBLE_EQ(narrow[0].width(), 1.0);
    EXPECT_TRUE(waveformBarRects({0.5f}, 1, size).empty());
}

TEST(WaveformBarGeometry, PlayheadStaysOnTheCanvas) {
    EXPECT_DOUBLE_EQ(waveformPlayheadX(0, 600), 0.0);
    EXPECT_DOUBLE_EQ(waveformPlayheadX(0.4, 600), 240.0);
    EXPECT_DOUBLE_EQ(waveformPlayheadX(1, 600), 599.0);
    EXPECT_DOUBLE_EQ(waveformPlayheadX(1.5, 600), 599.0);
    EXPECT_DOUBLE_EQ(waveformPlayheadX(-0.2, 600), 0.0);
    EXPECT_DOUBLE_EQ(waveformPlayheadX(std::nan(""), 600), 0.0);
}

TEST(WaveformBars, EqualityComparesDataNotAppearance) {
    const WaveformBars a{toneBurst(100), 1, false};
    WaveformBars b = a;
    EXPECT_EQ(a, b);
    b.values[77] += 0.001f;
    EXPECT_NE(a, b);
    EXPECT_NE(a, (WaveformBars{a.values, 2, false}));
    EXPECT_NE(a, (WaveformBars{a.values, 1, true}));
}

// The bars written straight into a premultiplied image look as QPainter would draw them.
TEST(WaveformBars, DirectFillMatchesQPainter) {
    const QSizeF size(587, 97); // bars at fractional positions
    const std::vector<float> values = toneBurst(700, 2, 1);
    const QColor color = WaveformBars::barColor(ColorScheme::light, false);
    for (double radius : {1.0, 0.0}) {
        for (qreal ratio : {1.0, 1.5, 2.0}) {
            SCOPED_TRACE(testing::Message() << "radius " << radius << ", ratio " << ratio);
            auto draw = [&](QImage::Format format) {
                QImage image((size * ratio).toSize(), format);
                image.setDevicePixelRatio(ratio);
                image.fill(Qt::transparent);
                QPainter painter(&image);
                fillBars(painter, waveformBarRects(values, 1, size), radius, color);
                painter.end();
                return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            };
            const QImage direct = draw(QImage::Format_ARGB32_Premultiplied);
            const QImage painted = draw(QImage::Format_ARGB32); // not premultiplied: QPainter fills
            int worst = 0;
            long total = 0;
            for (int y = 0; y < direct.height(); ++y) {
                const auto* a = reinterpret_cast<const QRgb*>(direct.constScanLine(y));
                const auto* b = reinterpret_cast<const QRgb*>(painted.constScanLine(y));
                for (int x = 0; x < direct.width(); ++x) {
                    const int d = std::abs(qAlpha(a[x]) - qAlpha(b[x]));
                    worst = std::max(worst, d);
                    total += d;
                }
            }
            EXPECT_LE(worst, radius > 0 ? 20 : 2) << "only sampled corner pixels may differ visibly";
            EXPECT_LT(double(total) / (direct.width() * direct.height()), 0.3);
        }
    }
}

// --- what the view shows ---

TEST(WaveformView, ManyPairsDrawOneBarPerThreePoints) {
    auto view = waveform(constantPairs(8000, -0.5f, 0.5f), 0);
    const QImage image = render(*view, QSize(600, 100));
    const auto bars = runs(image, 40, [](QColor c) { return near(c, unplayedColor(ColorScheme::light)); });
    EXPECT_EQ(bars.size(), 200u);
}

TEST(WaveformView, FewPairsDrawWideBars) {
    auto view = waveform(toneBurst(10, 2, 0.5), 1);
    const QImage image = render(*view, QSize(600, 100));
    // Just above the centre every bar of a tone is present. Strict: the playhead's blue in
    // the last column is close to the played colour.
    const auto bars = runs(image, 45, [](QColor c) { return near(c, playedColor(ColorScheme::light), 3); });
    ASSERT_EQ(bars.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(bars[std::size_t(i)].first, 60 * i);
        EXPECT_EQ(bars[std::size_t(i)].second, 59);
    }
}

TEST(WaveformView, TooFewValuesLeaveABlankCanvasWithThePlayhead) {
    for (const std::vector<float>& values : {std::vector<float>{}, std::vector<float>{0.7f}}) {
        auto view = waveform(values, 0.5);
        const QImage image = render(*view, QSize(200, 80));
        EXPECT_EQ(playheadColumns(image, ColorScheme::light), std::vector<int>{100});
        int marked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (x != 100 && image.pixelColor(x, y) != background(ColorScheme::light)) ++marked;
        EXPECT_EQ(marked, 0) << "no bars and no centre line for " << values.size() << " values";
    }
}

TEST(WaveformView, GainEnlargesUpToFullScale) {
    const QSize size(600, 100);
    auto quiet = waveform(constantPairs(10, -0.4f, 0.8f), 0, 1);
    auto loud = waveform(constantPairs(10, -0.4f, 0.8f), 0, 2);
    const QImage plain = render(*quiet, size);
    const QImage enlarged = render(*loud, size);
    const QColor bar = unplayedColor(ColorScheme::light);
    EXPECT_TRUE(near(enlarged.pixelColor(30, 0), bar)) << "top clamped to the top edge";
    EXPECT_TRUE(near(enlarged.pixelColor(30, 89), bar));
    EXPECT_FALSE(near(enlarged.pixelColor(30, 91), bar));
    EXPECT_FALSE(near(plain.pixelColor(30, 8), bar));
    EXPECT_TRUE(near(plain.pixelColor(30, 11), bar));
}

TEST(WaveformView, PlayheadSplitsPlayedFromUnplayed) {
    const QSize size(600, 100);
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        SCOPED_TRACE(scheme == ColorScheme::dark ? "dark" : "light");
        auto view = waveform(constantPairs(10, -0.5f, 0.5f), 0.4);
        const QImage image = render(*view, size, scheme);
        EXPECT_EQ(playheadColumns(image, scheme), std::vector<int>{240});
        EXPECT_TRUE(near(image.pixelColor(30, 30), playedColor(scheme)));
        EXPECT_TRUE(near(image.pixelColor(238, 30), playedColor(scheme)));
        EXPECT_TRUE(near(image.pixelColor(241, 30), unplayedColor(scheme)));
        EXPECT_TRUE(near(image.pixelColor(570, 30), unplayedColor(scheme)));

        view->setFraction(0);
        EXPECT_EQ(playheadColumns(render(*view, size, scheme), scheme), std::vector<int>{0});
        view->setFraction(1);
        EXPECT_EQ(playheadColumns(render(*view, size, scheme), scheme), std::vector<int>{599});
    }
}

TEST(WaveformView, AppearanceChangesOnlyTheUnplayedOpacity) {
    auto view = waveform(constantPairs(10, -0.5f, 0.5f), 0.4);
    const QImage light = render(*view, QSize(600, 100), ColorScheme::light);
    const QImage dark = render(*view, QSize(600, 100), ColorScheme::dark);
    for (auto [scheme, image] : {std::pair{ColorScheme::light, light}, std::pair{ColorScheme::dark, dark}}) {
        const double opacity = scheme == ColorScheme::dark ? 0.65 : 0.42;
        const QColor unplayed = over(withOpacity(blue(scheme), opacity), background(scheme));
        EXPECT_TRUE(near(image.pixelColor(500, 30), unplayed));
        EXPECT_TRUE(near(image.pixelColor(30, 30), over(withOpacity(blue(scheme), 0.95), unplayed)));
        EXPECT_EQ(image.pixelColor(240, 30), blue(scheme));
        // The centre line shows in a gap between bars.
        EXPECT_GT(colorDistance(image.pixelColor(539, 50), background(scheme)), 2);
    }
}

TEST(WaveformView, IsCrispAtTwicePixelDensity) {
    auto view = waveform(constantPairs(10, -0.5f, 0.5f), 0.5);
    const QImage image = render(*view, QSize(600, 100), ColorScheme::light, 2);
    ASSERT_EQ(image.size(), QSize(1200, 200));
    EXPECT_EQ(playheadColumns(image, ColorScheme::light), (std::vector<int>{600, 601}));
    // Bars at doubled positions with hard edges: 118 full pixels, then a 2-pixel gap.
    const auto bars = runs(image, 60, [](QColor c) { return near(c, unplayedColor(ColorScheme::light)); });
    ASSERT_EQ(bars.size(), 5u);
    EXPECT_EQ(bars[0], std::pair(602, 116)); // starts under the playhead
    EXPECT_EQ(bars[1], std::pair(720, 118));
    EXPECT_EQ(bars[4], std::pair(1080, 118));
    EXPECT_EQ(image.pixelColor(838, 60), background(ColorScheme::light));
}

// --- repainting ---

TEST(WaveformView, PlaybackTicksRepaintOnlyTheCrossedStrip) {
    auto view = waveform(toneBurst(16384), 0);
    view->resize(600, 100);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QCoreApplication::processEvents();
    const int builds = view->cacheBuildCount();
    EXPECT_EQ(builds, 1);

    PaintRecorder spy(*view);
    view->setFraction(0.4); // 0 → 240
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.painted, QRegion(0, 0, 241, 100));

    spy.painted = {};
    view->setFraction(0.41); // 240 → 246
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.painted, QRegion(240, 0, 7, 100));

    spy.painted = {};
    view->setFraction(0.4101); // still column 246
    QCoreApplication::processEvents();
    EXPECT_TRUE(spy.painted.isEmpty());
    EXPECT_EQ(view->cacheBuildCount(), builds);

    view->setValues(toneBurst(16384)); // the same data
    view->setGain(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->cacheBuildCount(), builds);

    view->setGain(4);
    view->setValues(toneBurst(512));
    QCoreApplication::processEvents();
    EXPECT_EQ(view->cacheBuildCount(), builds + 1) << "both inputs land in one rebuild";

    applyColorScheme(*view, ColorScheme::dark);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->cacheBuildCount(), builds + 2);
}

} // namespace
} // namespace vaun
