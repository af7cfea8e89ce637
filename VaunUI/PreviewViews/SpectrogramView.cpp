#include "PreviewViews/SpectrogramView.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/DevicePixels.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace vaun {
namespace {

struct ColorStop {
    double position;
    double red, green, blue;
};

constexpr std::array<ColorStop, 5> colorStops{{
    {0.0, 0.02, 0.01, 0.06},
    {0.35, 0.25, 0.05, 0.45},
    {0.6, 0.75, 0.15, 0.45},
    {0.8, 0.98, 0.5, 0.2},
    {1.0, 1.0, 0.95, 0.7},
}};

int component(double lower, double upper, double t) {
    return std::clamp(int((lower + (upper - lower) * t) * 255), 0, 255);
}


} // namespace

SpectrogramColorTable spectrogramColorTable() {
    SpectrogramColorTable table{};
    for (int i = 0; i < 256; ++i) {
        const double b = i / 255.0;
        const std::size_t segment = b <= 0.35 ? 0 : b <= 0.6 ? 1 : b <= 0.8 ? 2 : 3;
        const ColorStop& lo = colorStops[segment];
        const ColorStop& hi = colorStops[segment + 1];
        const double t = (b - lo.position) / (hi.position - lo.position);
        table[std::size_t(i)] = qRgba(component(lo.red, hi.red, t), component(lo.green, hi.green, t),
                                      component(lo.blue, hi.blue, t), 255);
    }
    return table;
}

bool isDrawable(const Spectrogram& s) {
    // A scan line of ARGB pixels must fit QImage's int byte count.
    if (s.columns <= 0 || s.rows <= 0 || s.columns > INT_MAX / 4 || s.rows > INT_MAX) return false;
    if (std::uint64_t(s.columns) > s.values.size() / std::uint64_t(s.rows)) return false;
    return std::isfinite(s.minHz) && std::isfinite(s.maxHz) && s.minHz > 0 && s.maxHz > s.minHz;
}

QImage spectrogramBitmap(const Spectrogram& s) {
    if (!isDrawable(s)) return {};
    QImage image(int(s.columns), int(s.rows), QImage::Format_ARGB32);
    if (image.isNull()) return {};
    const SpectrogramColorTable table = spectrogramColorTable();
    const std::size_t rows = std::size_t(s.rows);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::size_t row = rows - 1 - std::size_t(y);
        for (int x = 0; x < image.width(); ++x) line[x] = table[s.values[std::size_t(x) * rows + row]];
    }
    return image;
}

std::vector<FrequencyTick> frequencyTicks(const Spectrogram& s, double height) {
    std::vector<FrequencyTick> ticks;
    if (!isDrawable(s)) return ticks;
    const double span = std::log(s.maxHz / s.minHz);
    for (long long hz : {100LL, 1000LL, 10000LL}) {
        if (double(hz) >= s.maxHz) continue;
        const QString text = hz < 1000 ? QString::asprintf("%lld", hz) : QString::asprintf("%lldk", hz / 1000);
        ticks.push_back({text, height * (1 - std::log(double(hz) / s.minHz) / span)});
    }
    return ticks;
}

double playheadOffset(double plotWidth, double fraction) {
    if (!std::isfinite(fraction)) fraction = 0;
    return std::max(0.0, std::min(plotWidth * fraction, plotWidth - 1));
}

SpectrogramView::SpectrogramView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void SpectrogramView::setSpectrogram(const Spectrogram& spectrogram) {
    // Compare the contents: two files of the same length share a byte count, not a picture.
    if (spectrogram == spectrogram_) return;
    spectrogram_ = spectrogram;
    bitmap_ = spectrogramBitmap(spectrogram_);
    backdrop_ = QImage();
    update();
}

void SpectrogramView::setFraction(double fraction) {
    if (!std::isfinite(fraction)) fraction = 0;
    if (fraction == fraction_) return;
    const QRect before = playheadStrip(fraction_);
    fraction_ = fraction;
    if (!bitmap_.isNull()) update(before.united(playheadStrip(fraction_)));
}

QSize SpectrogramView::sizeHint() const { return {int(SpectrogramLayout::labelColumn) + 480, 132}; }

QSize SpectrogramView::minimumSizeHint() const { return {int(SpectrogramLayout::labelColumn) + 32, 32}; }

double SpectrogramView::plotWidth() const { return width() - SpectrogramLayout::labelColumn; }

QRect SpectrogramView::playheadStrip(double fraction) const {
    const double x = SpectrogramLayout::labelColumn + playheadOffset(plotWidth(), fraction);
    // A pixel of slack either side covers the rounding of the unantialiased line.
    return QRectF(x - 1, 0, SpectrogramLayout::playheadWidth + 2, height()).toAlignedRect();
}

QImage SpectrogramView::renderBackdrop(qreal ratio) const {
    const double w = plotWidth();
    const double h = height();
    QImage out((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    if (w <= 0 || h <= 0) {
        out.setDevicePixelRatio(ratio);
        return out;
    }
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);

    // The picture is scaled once to the plot's device pixels and filled into the rounded
    // rectangle as a texture, which keeps the corners antialiased.
    const QRectF plot(SpectrogramLayout::labelColumn * ratio, 0, w * ratio, h * ratio);
    const QSize scaledSize(std::max(1, int(std::lround(plot.width()))), std::max(1, int(std::lround(plot.height()))));
    QBrush picture(bitmap_.scaled(scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    picture.setTransform(QTransform::fromTranslate(plot.x(), 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(picture);
    const double radius = SpectrogramLayout::cornerRadius * ratio;
    painter.drawRoundedRect(plot, radius, radius);

    painter.scale(ratio, ratio);
    const QColor grid = withOpacity(Qt::white, 0.12);
    painter.setFont(systemFont(9, FontWeight::medium, FontDesign::rounded));
    painter.setPen(Appearance::of(colorScheme(*this)).secondaryLabel);
    for (const FrequencyTick& tick : frequencyTicks(spectrogram_, h)) {
        painter.fillRect(QRectF(SpectrogramLayout::labelColumn, tick.y, w, SpectrogramLayout::gridLineHeight), grid);
        const QRectF box(SpectrogramLayout::labelCentreX - 20, tick.y - 10, 40, 20);
        painter.drawText(box, Qt::AlignCenter | Qt::TextDontClip, tick.text);
    }
    painter.end();
    out.setDevicePixelRatio(ratio);
    return out;
}

void SpectrogramView::paintEvent(QPaintEvent*) {
    if (bitmap_.isNull()) return;
    QPainter painter(this);
    const qreal ratio = paintedPixelRatio(painter);
    if (backdrop_.isNull() || backdrop_.devicePixelRatio() != ratio) backdrop_ = renderBackdrop(ratio);
    painter.drawImage(QPointF(0, 0), backdrop_);

    const double w = plotWidth();
    if (w <= 0) return;
    const double x = SpectrogramLayout::labelColumn + playheadOffset(w, fraction_);
    painter.fillRect(QRectF(x, 0, SpectrogramLayout::playheadWidth, height()), Qt::white);
}

void SpectrogramView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        backdrop_ = QImage();
        update();
    }
    QWidget::changeEvent(event);
}

void SpectrogramView::resizeEvent(QResizeEvent* event) {
    backdrop_ = QImage();
    QWidget::resizeEvent(event);
}

} // namespace vaun
