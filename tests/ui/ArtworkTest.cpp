// The artwork tile: thumbnails, default art per appearance, the symbol fallback, decoding order.
#include "PreviewViews/ArtworkView.h"
#include "PreviewViews/VaunArt.h"
#include "RenderSupport.h"
#include "Toolkit/Appearance.h"

#include <QAccessible>
#include <QBuffer>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace vaun;
using vaun::test::colorDistance;
using vaun::test::over;
using vaun::test::render;

namespace {

const QColor kCroppedLeft(255, 0, 0);   // outside the part a square crop keeps
const QColor kCroppedRight(0, 0, 255);
const QColor kKeptLeft(255, 220, 0);
const QColor kKeptRight(0, 190, 0);
const QColor kTop(220, 0, 220);

// A 3 : 2 picture whose outer columns (less than the sixth a square crop removes on each side)
// and the rest have distinct colours; a band across the top shows whether the height is kept.
std::vector<std::uint8_t> widePicture(const char* format = "JPG") {
    QImage picture(3000, 2000, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(0, 0, 400, 2000, kCroppedLeft);
    painter.fillRect(400, 0, 1100, 2000, kKeptLeft);
    painter.fillRect(1500, 0, 1100, 2000, kKeptRight);
    painter.fillRect(2600, 0, 400, 2000, kCroppedRight);
    painter.fillRect(400, 0, 2200, 150, kTop);
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format, 95);
    const QByteArray& bytes = buffer.data();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> plainPicture(QColor color, QSize size = QSize(400, 400)) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(color);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    const QByteArray& bytes = buffer.data();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

QByteArray asBytes(const std::vector<std::uint8_t>& data) {
    return QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
}

bool waitForDecoding(const ArtworkView& view) {
    return QTest::qWaitFor([&] { return !view.isDecoding(); }, 5000);
}

// The resource pixel that the tile's point `at` shows when the art is scaled to fit 56 points.
QColor artAt(const QImage& art, QPointF at) {
    const double scale = art.width() / double(ArtworkView::kSide);
    return art.pixelColor(int(at.x() * scale), int(at.y() * scale));
}

} // namespace

TEST(ArtworkThumbnail, KeepsTheAspectWithTheLongerSideAtMost160) {
    const std::optional<QImage> wide = ArtworkView::decodeThumbnail(asBytes(widePicture()));
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->size(), QSize(160, 107));

    const std::optional<QImage> tall = ArtworkView::decodeThumbnail(asBytes(plainPicture(Qt::gray, QSize(300, 1200))));
    ASSERT_TRUE(tall.has_value());
    EXPECT_EQ(tall->size(), QSize(40, 160));

    // Small pictures are not enlarged.
    const std::optional<QImage> small = ArtworkView::decodeThumbnail(asBytes(plainPicture(Qt::gray, QSize(100, 50))));
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(small->size(), QSize(100, 50));

    EXPECT_FALSE(ArtworkView::decodeThumbnail(QByteArray("definitely not a picture")).has_value());
    EXPECT_FALSE(ArtworkView::decodeThumbnail(QByteArray()).has_value());
}

TEST(ArtworkView, AWidePictureFillsTheTileWithItsSidesCropped) {
    ArtworkView view;
    QSignalSpy changes(&view, &ArtworkView::artworkChanged);
    view.setData(widePicture());
    ASSERT_TRUE(changes.wait(5000));
    ASSERT_TRUE(view.artwork().has_value());
    EXPECT_EQ(view.artwork()->size(), QSize(160, 107));

    const QImage tile = render(view, QSize(56, 56), ColorScheme::light, 2);
    ASSERT_EQ(tile.size(), QSize(112, 112));
    for (int y : {40, 56, 80}) {
        EXPECT_LE(colorDistance(tile.pixelColor(1, y), kKeptLeft), 40) << y;
        EXPECT_LE(colorDistance(tile.pixelColor(110, y), kKeptRight), 40) << y;
    }
    // The whole height is shown: the top band reaches the top edge.
    EXPECT_LE(colorDistance(tile.pixelColor(56, 2), kTop), 40);
    for (int y = 0; y < tile.height(); ++y)
        for (int x = 0; x < tile.width(); ++x) {
            const QColor pixel = tile.pixelColor(x, y);
            ASSERT_GT(colorDistance(pixel, kCroppedLeft), 60) << x << "," << y;
            ASSERT_GT(colorDistance(pixel, kCroppedRight), 60) << x << "," << y;
        }
    // Rounded corners show the window behind.
    EXPECT_LE(colorDistance(tile.pixelColor(1, 1), Appearance::of(ColorScheme::light).windowBackground), 3);
}

TEST(ArtworkView, WithoutPictureShowsTheDefaultArtOfTheAppearance) {
    ASSERT_TRUE(VaunArt::artworkDark().has_value());
    ASSERT_TRUE(VaunArt::artworkLight().has_value());
    ArtworkView view;
    QSignalSpy changes(&view, &ArtworkView::artworkChanged);
    // Away from the emblem's edges, where scaling blurs.
    const QPointF probes[] = {{4, 28}, {28, 4}, {12, 12}, {28, 28}, {46, 48}};

    const QImage dark = render(view, QSize(56, 56), ColorScheme::dark, 2);
    for (QPointF at : probes) {
        const QColor shown = dark.pixelColor((at * 2).toPoint());
        EXPECT_LE(colorDistance(shown, artAt(*VaunArt::artworkDark(), at)), 12) << at.x() << "," << at.y();
    }
    EXPECT_GT(colorDistance(dark.pixelColor(8, 56), artAt(*VaunArt::artworkLight(), {4, 28})), 60);

    // Switching the appearance swaps the art without decoding anything.
    const QImage light = render(view, QSize(56, 56), ColorScheme::light, 2);
    for (QPointF at : probes) {
        const QColor shown = light.pixelColor((at * 2).toPoint());
        EXPECT_LE(colorDistance(shown, artAt(*VaunArt::artworkLight(), at)), 12) << at.x() << "," << at.y();
    }
    EXPECT_EQ(changes.size(), 0);
    EXPECT_FALSE(view.isDecoding());
    EXPECT_FALSE(view.artwork().has_value());
}

TEST(ArtworkView, WithoutAnyArtShowsTheBlueWaveformOnAPaleBlueTile) {
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const Appearance& look = Appearance::of(scheme);
        QImage tile = ArtworkView::tileImage(QSizeF(56, 56), 2, std::nullopt, std::nullopt, scheme);
        ASSERT_EQ(tile.size(), QSize(112, 112));
        EXPECT_EQ(tile.pixelColor(0, 0).alpha(), 0); // rounded corner

        QImage shown(tile.size(), QImage::Format_ARGB32_Premultiplied);
        shown.setDevicePixelRatio(2);
        shown.fill(look.windowBackground);
        QPainter painter(&shown);
        painter.drawImage(0, 0, tile);
        painter.end();
        const QColor pale = over(withOpacity(look.blue, ArtworkView::kSymbolTileOpacity), look.windowBackground);
        EXPECT_LE(colorDistance(shown.pixelColor(4, 56), pale), 3);
        EXPECT_LE(colorDistance(shown.pixelColor(56, 4), pale), 3);

        // The symbol: solid blue strokes in the middle, nothing near the edges.
        int middle = 0, outside = 0;
        for (int y = 0; y < 112; ++y)
            for (int x = 0; x < 112; ++x) {
                if (colorDistance(shown.pixelColor(x, y), look.blue) > 30) continue;
                const bool central = std::abs(x - 56) < 32 && std::abs(y - 56) < 32;
                (central ? middle : outside)++;
            }
        EXPECT_GT(middle, 150);
        EXPECT_EQ(outside, 0);
    }
}

TEST(ArtworkView, ANewPictureClearsTheOldOneBeforeDecoding) {
    ArtworkView view;
    QSignalSpy changes(&view, &ArtworkView::artworkChanged);
    view.setData(plainPicture(QColor(200, 40, 40)));
    ASSERT_TRUE(changes.wait(5000));
    ASSERT_TRUE(view.artwork().has_value());
    EXPECT_LE(colorDistance(view.artwork()->pixelColor(10, 10), QColor(200, 40, 40)), 2);

    changes.clear();
    view.setData(plainPicture(QColor(40, 40, 200)));
    // Synchronously: the old picture is gone and the default art shows while the new one decodes.
    EXPECT_FALSE(view.artwork().has_value());
    EXPECT_EQ(changes.size(), 1);
    // Painted without running the event loop, so the new thumbnail cannot land in between.
    applyColorScheme(view, ColorScheme::light);
    QImage between(QSize(112, 112), QImage::Format_ARGB32_Premultiplied);
    between.setDevicePixelRatio(2);
    between.fill(Qt::black);
    QPainter painter(&between);
    view.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    EXPECT_LE(colorDistance(between.pixelColor(8, 56), artAt(*VaunArt::artworkLight(), {4, 28})), 12);

    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 2; }, 5000));
    ASSERT_TRUE(view.artwork().has_value());
    EXPECT_LE(colorDistance(view.artwork()->pixelColor(10, 10), QColor(40, 40, 200)), 2);
    const QImage after = render(view, QSize(56, 56), ColorScheme::light, 2);
    EXPECT_LE(colorDistance(after.pixelColor(56, 56), QColor(40, 40, 200)), 2);

    // The same bytes again are not decoded again.
    changes.clear();
    view.setData(plainPicture(QColor(40, 40, 200)));
    EXPECT_FALSE(view.isDecoding());
    EXPECT_EQ(changes.size(), 0);
}

TEST(ArtworkView, AResultForAnOlderPictureIsDropped) {
    ArtworkView view;
    QSignalSpy changes(&view, &ArtworkView::artworkChanged);
    view.setData(widePicture()); // slow: a large picture
    view.setData(plainPicture(QColor(40, 160, 40), QSize(64, 64)));
    ASSERT_TRUE(waitForDecoding(view));
    QTest::qWait(300); // give the older decode time to finish, too
    ASSERT_TRUE(view.artwork().has_value());
    EXPECT_EQ(view.artwork()->size(), QSize(64, 64));
    EXPECT_EQ(changes.size(), 1);

    view.setData(std::nullopt);
    EXPECT_FALSE(view.artwork().has_value());
    EXPECT_FALSE(view.isDecoding());
}

TEST(ArtworkView, UndecodableBytesLeaveTheDefaultArt) {
    ArtworkView view;
    QSignalSpy changes(&view, &ArtworkView::artworkChanged);
    view.setData(std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0x00, 0x12, 0x34});
    ASSERT_TRUE(waitForDecoding(view));
    EXPECT_FALSE(view.artwork().has_value());
    EXPECT_EQ(changes.size(), 0);
    const QImage tile = render(view, QSize(56, 56), ColorScheme::dark, 2);
    EXPECT_LE(colorDistance(tile.pixelColor(56, 56), artAt(*VaunArt::artworkDark(), {28, 28})), 12);
}

TEST(ArtworkView, IsHiddenFromAssistiveTechnology) {
    ArtworkView view;
    EXPECT_EQ(view.sizeHint(), QSize(56, 56));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(accessible, nullptr);
    EXPECT_TRUE(accessible->state().invisible);
    EXPECT_EQ(accessible->role(), QAccessible::NoRole);
    EXPECT_TRUE(accessible->text(QAccessible::Name).isEmpty());
}
