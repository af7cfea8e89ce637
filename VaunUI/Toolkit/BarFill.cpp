#include "Toolkit/BarFill.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vaun {
namespace {

// The image fillBars may write into directly, or null when QPainter must do the filling.
QImage* directTarget(QPainter& painter) {
    const QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice()) return nullptr;
    if (engine->paintDevice()->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(engine->paintDevice());
    // Shared pixels would be detached by writing, away from the buffer the painter holds.
    if (image->format() != QImage::Format_ARGB32_Premultiplied || !image->isDetached()) return nullptr;
    if (painter.hasClipping() || painter.opacity() != 1 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return nullptr;
    const QTransform toPixels = painter.deviceTransform();
    if (toPixels.type() > QTransform::TxScale || toPixels.m11() <= 0 || toPixels.m11() != toPixels.m22())
        return nullptr;
    return image;
}

// Every channel of a premultiplied pixel times a / 255, two channels per multiplication.
quint32 scaled(quint32 pixel, quint32 a) {
    quint32 redBlue = (pixel & 0xff00ffu) * a;
    redBlue = ((redBlue + ((redBlue >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    quint32 alphaGreen = ((pixel >> 8) & 0xff00ffu) * a;
    alphaGreen = (alphaGreen + ((alphaGreen >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return alphaGreen | redBlue;
}

// How much of the pixel [p, p + 1) the span [from, to) covers, 0…255.
quint32 coverageIn(int p, double from, double to) {
    return quint32(std::clamp(std::min(p + 1.0, to) - std::max(double(p), from), 0.0, 1.0) * 255 + 0.5);
}

// Share of pixel (x, y)'s part of `bar` that lies inside its corners rounded to `radius`,
// from 4 × 4 samples; only pixels at a corner need it.
double roundedShare(int x, int y, const QRectF& bar, double radius) {
    const double left = std::max(double(x), bar.left()), right = std::min(x + 1.0, bar.right());
    const double top = std::max(double(y), bar.top()), bottom = std::min(y + 1.0, bar.bottom());
    int inside = 0;
    for (int j = 0; j < 4; ++j) {
        const double sy = top + (j + 0.5) / 4 * (bottom - top);
        const double dy = std::max({bar.top() + radius - sy, sy - (bar.bottom() - radius), 0.0});
        for (int i = 0; i < 4; ++i) {
            const double sx = left + (i + 0.5) / 4 * (right - left);
            const double dx = std::max({bar.left() + radius - sx, sx - (bar.right() - radius), 0.0});
            if (dx * dx + dy * dy <= radius * radius) ++inside;
        }
    }
    return inside / 16.0;
}

// One bar in device pixels, source-over in premultiplied `color`. Coverage is the product of
// the row's and the column's overlap, exact for a rectangle; a rounded corner is sampled.
// `columns` is scratch space kept across bars.
void rasterize(QImage& image, const QRectF& bar, double radius, QRgb color, std::vector<quint32>& columns) {
    if (!std::isfinite(bar.left()) || !std::isfinite(bar.right()) || !std::isfinite(bar.top()) ||
        !std::isfinite(bar.bottom()) || !(bar.width() > 0 && bar.height() > 0))
        return;
    const double r = std::clamp(radius, 0.0, std::min(bar.width(), bar.height()) / 2);
    auto clampedTo = [](double v, int limit) { return int(std::clamp(v, 0.0, double(limit))); };
    const int left = clampedTo(std::floor(bar.left()), image.width());
    const int right = clampedTo(std::ceil(bar.right()), image.width());
    const int top = clampedTo(std::floor(bar.top()), image.height());
    const int bottom = clampedTo(std::ceil(bar.bottom()), image.height());
    columns.resize(std::size_t(std::max(right - left, 0)));
    for (int x = left; x < right; ++x) columns[std::size_t(x - left)] = coverageIn(x, bar.left(), bar.right());
    uchar* bits = image.bits();
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(bits + std::ptrdiff_t(y) * image.bytesPerLine());
        const quint32 rowCoverage = coverageIn(y, bar.top(), bar.bottom());
        const bool cornerRow = r > 0 && (y < bar.top() + r || y + 1 > bar.bottom() - r);
        for (int x = left; x < right; ++x) {
            quint32 coverage = (columns[std::size_t(x - left)] * rowCoverage + 127) / 255;
            if (cornerRow && (x < bar.left() + r || x + 1 > bar.right() - r))
                coverage = quint32(coverage * roundedShare(x, y, bar, r) + 0.5);
            if (coverage == 0) continue;
            const quint32 source = coverage == 255 ? color : scaled(color, coverage);
            // Most of a copy is still transparent under its bars.
            row[x] = row[x] == 0 ? source : source + scaled(row[x], 255 - qAlpha(source));
        }
    }
}

} // namespace

void fillBars(QPainter& painter, const std::vector<QRectF>& rects, double radius, QColor color) {
    if (QImage* image = directTarget(painter)) {
        const QTransform toPixels = painter.deviceTransform();
        const QRgb premultiplied = qPremultiply(color.rgba());
        const double scale = toPixels.m11();
        const QPointF offset(toPixels.dx(), toPixels.dy());
        std::vector<quint32> columns;
        for (const QRectF& rect : rects)
            rasterize(*image, QRectF(rect.topLeft() * scale + offset, rect.size() * scale), radius * scale,
                      premultiplied, columns);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (const QRectF& rect : rects) {
        if (radius > 0)
            painter.drawRoundedRect(rect, radius, radius);
        else
            painter.drawRect(rect);
    }
    painter.restore();
}

} // namespace vaun
