// Draws the application's pictures at build time and writes them as PNGs at two pixels per
// point: the default cover art ("artwork-light", "artwork-dark") and the backing plate of the
// level meters ("meter-plate-light", "meter-plate-dark"), stretched as a nine-patch with
// 14-point caps.
//
// Usage: vaun_make_art <output directory>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kArtPixels = 256;
constexpr int kPlatePixels = 128;
constexpr double kPlateRadius = 20; // 10 points

struct ArtPalette {
    QColor backgroundTop, backgroundBottom, glow, disc, discEdge, barStart, barEnd, barShadow;
};

struct PlatePalette {
    QColor top, bottom, innerShadow, edge, lip;
};

QImage blankImage(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Bar heights of the emblem, 0…1: a pleasing, fixed, roughly bell-shaped waveform.
double barLevel(int index, int count) {
    const double centre = (count - 1) / 2.0;
    const double envelope = std::exp(-std::pow((index - centre) / (count / 3.1), 2));
    const double ripple = 0.55 + 0.45 * std::abs(std::sin(index * 1.7 + 0.4));
    return envelope * ripple;
}

QImage artwork(const ArtPalette& colors) {
    QImage image = blankImage(kArtPixels);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(0, 0, kArtPixels, kArtPixels);

    QLinearGradient background(bounds.topLeft(), bounds.bottomRight());
    background.setColorAt(0, colors.backgroundTop);
    background.setColorAt(1, colors.backgroundBottom);
    painter.fillRect(bounds, background);
    QRadialGradient glow(QPointF(kArtPixels * 0.25, kArtPixels * 0.15), kArtPixels * 0.8);
    glow.setColorAt(0, colors.glow);
    glow.setColorAt(1, Qt::transparent);
    painter.fillRect(bounds, glow);

    const QPointF centre = bounds.center();
    const double discRadius = kArtPixels * 0.36;
    painter.setPen(QPen(colors.discEdge, 2));
    painter.setBrush(colors.disc);
    painter.drawEllipse(centre, discRadius, discRadius);

    constexpr int bars = 13;
    constexpr double barWidth = 8, gap = 6;
    const double total = bars * barWidth + (bars - 1) * gap;
    const double left = centre.x() - total / 2;
    QLinearGradient ink(QPointF(left, 0), QPointF(left + total, 0));
    ink.setColorAt(0, colors.barStart);
    ink.setColorAt(1, colors.barEnd);
    painter.setPen(Qt::NoPen);
    for (int pass = 0; pass < 2; ++pass) {
        // First a soft drop below the bars, then the bars themselves.
        if (pass == 0) painter.setBrush(colors.barShadow);
        else painter.setBrush(ink);
        for (int i = 0; i < bars; ++i) {
            const double height = 18 + 118 * barLevel(i, bars);
            const QRectF bar(left + i * (barWidth + gap), centre.y() - height / 2 + (pass == 0 ? 3 : 0), barWidth, height);
            painter.drawRoundedRect(bar, barWidth / 2, barWidth / 2);
        }
    }
    return image;
}

QImage plate(const PlatePalette& colors) {
    QImage image = blankImage(kPlatePixels);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(0, 0, kPlatePixels, kPlatePixels);
    QPainterPath shape;
    shape.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), kPlateRadius, kPlateRadius);

    QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
    fill.setColorAt(0, colors.top);
    fill.setColorAt(1, colors.bottom);
    painter.fillPath(shape, fill);

    // Inner shadow: a soft band under the top edge and a faint line all round inside the edge.
    painter.save();
    painter.setClipPath(shape);
    QLinearGradient shadow(QPointF(0, 0), QPointF(0, 14));
    shadow.setColorAt(0, colors.innerShadow);
    shadow.setColorAt(1, Qt::transparent);
    painter.fillRect(QRectF(0, 0, kPlatePixels, 14), shadow);
    QColor rim = colors.innerShadow;
    rim.setAlphaF(rim.alphaF() * 0.5f);
    painter.setPen(QPen(rim, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bounds.adjusted(1.5, 1.5, -1.5, -1.5), kPlateRadius - 1, kPlateRadius - 1);
    painter.restore();

    // A lighter lip fading in towards the bottom edge, then the hairline edge around it all.
    QLinearGradient lip(QPointF(0, kPlatePixels * 0.6), QPointF(0, kPlatePixels));
    lip.setColorAt(0, Qt::transparent);
    lip.setColorAt(1, colors.lip);
    painter.setPen(QPen(QBrush(lip), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bounds.adjusted(1.25, 1.25, -1.25, -1.25), kPlateRadius - 1, kPlateRadius - 1);
    painter.setPen(QPen(colors.edge, 1));
    painter.drawPath(shape);
    return image;
}

bool save(const QImage& image, const QDir& directory, const char* name) {
    const QString path = directory.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "vaun_make_art: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vaun_make_art <output directory>\n");
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(directory.absolutePath())) {
        std::fprintf(stderr, "vaun_make_art: cannot create %s\n", argv[1]);
        return 1;
    }

    const ArtPalette light{QColor(246, 249, 255), QColor(218, 229, 248), QColor(255, 255, 255, 170),
                           QColor(255, 255, 255, 110), QColor(255, 255, 255, 200), QColor(10, 132, 255),
                           QColor(94, 92, 230), QColor(40, 70, 160, 40)};
    const ArtPalette dark{QColor(40, 50, 74), QColor(16, 20, 31), QColor(255, 255, 255, 22),
                          QColor(255, 255, 255, 14), QColor(255, 255, 255, 30), QColor(64, 162, 255),
                          QColor(128, 122, 255), QColor(0, 0, 0, 90)};
    const PlatePalette plateLight{QColor(251, 251, 252), QColor(236, 237, 240), QColor(0, 0, 0, 30),
                                  QColor(0, 0, 0, 36), QColor(255, 255, 255, 200)};
    const PlatePalette plateDark{QColor(42, 42, 46), QColor(29, 29, 32), QColor(0, 0, 0, 110),
                                 QColor(255, 255, 255, 30), QColor(255, 255, 255, 14)};

    const bool written = save(artwork(light), directory, "artwork-light") &&
                         save(artwork(dark), directory, "artwork-dark") &&
                         save(plate(plateLight), directory, "meter-plate-light") &&
                         save(plate(plateDark), directory, "meter-plate-dark");
    return written ? 0 : 1;
}
