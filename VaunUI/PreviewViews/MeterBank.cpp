#include "PreviewViews/MeterBank.h"

#include "PreviewViews/MeterLabels.h"
#include "PreviewViews/VaunArt.h"
#include "Toolkit/BarFill.h"
#include "Toolkit/DevicePixels.h"

#include <QEvent>
#include <QPaintEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vaun {
namespace {

constexpr float silentDBFS = -60;
constexpr double cornerRadius = 1.5;
constexpr double tickHeight = 2;

float levelAt(const QVector<float>& levels, int index) {
    return index < levels.size() ? levels[index] : silentDBFS;
}


} // namespace

MeterGeometry MeterGeometry::forChannels(qsizetype channels) {
    const int count = int(std::clamp<qsizetype>(channels, 1, 4096));
    if (count <= 6) return {count, 15, 3, 8};
    if (count <= 12) return {count, 13, 3, 8};
    return {count, 11, 2, 6};
}

float meterFraction(float levelDBFS) {
    if (std::isnan(levelDBFS)) return 0;
    return std::clamp((levelDBFS + 60.0f) / 60.0f, 0.0f, 1.0f);
}

MeterZone meterZone(float levelDBFS) {
    if (levelDBFS > -3) return MeterZone::red;
    if (levelDBFS > -12) return MeterZone::orange;
    return MeterZone::green;
}

QColor meterColor(float levelDBFS, const Appearance& appearance) {
    switch (meterZone(levelDBFS)) {
    case MeterZone::red: return appearance.red;
    case MeterZone::orange: return appearance.orange;
    case MeterZone::green: break;
    }
    return appearance.green;
}

void PeakHold::update(const QVector<float>& peak, TimePoint now) {
    if (peak.isEmpty()) {
        held_.clear();
        heldAt_.clear();
        return;
    }
    if (peak.size() != held_.size()) {
        held_ = peak;
        heldAt_ = QVector<TimePoint>(peak.size(), now);
        return;
    }
    for (qsizetype i = 0; i < peak.size(); ++i) {
        if (peak[i] >= held_[i] || now - heldAt_[i] > holdTime) {
            held_[i] = peak[i];
            heldAt_[i] = now;
        }
    }
}

MeterPlates MeterPlates::fromResources() { return {VaunArt::plateLight(), VaunArt::plateDark()}; }

const std::optional<QImage>& MeterPlates::forScheme(ColorScheme scheme) const {
    return scheme == ColorScheme::dark ? dark : light;
}

void drawNinePatch(QPainter& painter, const QRectF& target, const QImage& image, double capPoints) {
    if (image.isNull() || target.isEmpty()) return;
    const double ratio = image.devicePixelRatio();
    const double sourceCapX = std::min(capPoints * ratio, image.width() / 2.0);
    const double sourceCapY = std::min(capPoints * ratio, image.height() / 2.0);
    const double capX = std::min(sourceCapX / ratio, target.width() / 2);
    const double capY = std::min(sourceCapY / ratio, target.height() / 2);

    // Source rectangles are in image pixels, targets in the painter's points.
    const double sx[] = {0, sourceCapX, image.width() - sourceCapX, double(image.width())};
    const double sy[] = {0, sourceCapY, image.height() - sourceCapY, double(image.height())};
    const double tx[] = {target.left(), target.left() + capX, target.right() - capX, target.right()};
    const double ty[] = {target.top(), target.top() + capY, target.bottom() - capY, target.bottom()};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRectF source(sx[column], sy[row], sx[column + 1] - sx[column], sy[row + 1] - sy[row]);
            const QRectF slice(tx[column], ty[row], tx[column + 1] - tx[column], ty[row + 1] - ty[row]);
            if (source.isEmpty() || slice.isEmpty()) continue;
            painter.drawImage(slice, image, source);
        }
    }
}

MeterBank::MeterBank(QWidget* parent) : MeterBank(&PeakHold::TimePoint::clock::now, MeterPlates::fromResources(), parent) {}

MeterBank::MeterBank(Clock clock, MeterPlates plates, QWidget* parent)
    : QWidget(parent), clock_(std::move(clock)), plates_(std::move(plates)), labelRow_(std::make_unique<MeterLabels>(this).release()) {
    setAccessibleName(tr("Playback level meters"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    labelRow_->setContent({labels_, geometry_.count, geometry_.meterWidth, geometry_.gap});
    layoutLabels();
}

void MeterBank::setLabels(const QStringList& labels) {
    if (labels == labels_) return;
    labels_ = labels;
    geometry_ = MeterGeometry::forChannels(labels_.size());
    labelRow_->setContent({labels_, geometry_.count, geometry_.meterWidth, geometry_.gap});
    updateGeometry();
    layoutLabels();
    update();
}

void MeterBank::setLevels(const QVector<float>& peak, const QVector<float>& average) {
    const QVector<float> heldBefore = hold_.held();
    if (peak != peak_) {
        peak_ = peak;
        hold_.update(peak_, clock_());
    }
    const bool averageChanged = average != average_;
    average_ = average;
    // Only the meters move; the plate under them is redrawn from its cache, the labels not at all.
    if (averageChanged || hold_.held() != heldBefore) {
        metersCache_ = QImage();
        update(drawingRect().toAlignedRect());
    }
}

QRectF MeterBank::drawingRect() const {
    const double labelsHeight = labelRow_->sizeHint().height();
    const double drawingWidth = geometry_.drawingWidth();
    const double h = height() - paddingTop - paddingBottom - labelSpacing - labelsHeight;
    // The stack keeps its natural width, centred when the bank is given more.
    return {(width() - drawingWidth) / 2, paddingTop, drawingWidth, std::max(0.0, h)};
}

QSize MeterBank::sizeHint() const {
    const int w = int(std::ceil(2 * paddingX + geometry_.drawingWidth()));
    return {w, 132};
}

QSize MeterBank::minimumSizeHint() const {
    const int h = int(std::ceil(paddingTop + paddingBottom + labelSpacing)) + labelRow_->sizeHint().height() + 8;
    return {sizeHint().width(), h};
}

void MeterBank::layoutLabels() {
    const QRectF area = drawingRect();
    const int top = int(std::lround(area.bottom() + labelSpacing));
    labelRow_->setGeometry(0, top, width(), labelRow_->sizeHint().height());
}

void MeterBank::resizeEvent(QResizeEvent* event) {
    plateCache_ = QImage();
    metersCache_ = QImage();
    layoutLabels();
    QWidget::resizeEvent(event);
}

void MeterBank::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        plateCache_ = QImage();
        metersCache_ = QImage();
        update();
    }
    QWidget::changeEvent(event);
}

QImage MeterBank::renderPlate(const QImage& plate, qreal ratio) const {
    QImage out((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    drawNinePatch(painter, QRectF(QPointF(0, 0), QSizeF(size())), plate, plateCap);
    return out;
}

bool MeterBank::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const double x = help->pos().x() - drawingRect().left();
    const int index = int(std::floor(x / (geometry_.meterWidth + geometry_.gap)));
    if (x >= 0 && index < fullNames_.size() && index < labels_.size() && fullNames_[index] != labels_[index])
        QToolTip::showText(help->globalPos(), fullNames_[index], this);
    else
        QToolTip::hideText();
    return true;
}

void MeterBank::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = paintedPixelRatio(painter);
    if (const std::optional<QImage>& plate = plates_.forScheme(colorScheme(*this)); plate && !plate->isNull()) {
        if (plateCache_.isNull() || plateCache_.devicePixelRatio() != ratio) plateCache_ = renderPlate(*plate, ratio);
        painter.drawImage(QPointF(0, 0), plateCache_);
    }
    const QRectF area = drawingRect();
    if (area.isEmpty()) return;
    if (metersCache_.isNull() || metersCache_.devicePixelRatio() != ratio) metersCache_ = renderMeters(area.size(), ratio);
    painter.drawImage(area.topLeft(), metersCache_);
}

QImage MeterBank::renderMeters(QSizeF size, qreal ratio) const {
    QImage out((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    drawMeters(painter, size);
    return out;
}

void MeterBank::drawMeters(QPainter& painter, QSizeF size) const {
    const Appearance& appearance = Appearance::of(colorScheme(*this));
    const double h = size.height();
    std::vector<QRectF> tracks;
    // Grouped by zone so each colour is one fill.
    std::vector<QRectF> bars[3];
    std::vector<QRectF> ticks[3];
    const QColor colors[3] = {appearance.green, appearance.orange, appearance.red};
    auto colorIndex = [](float level) { return int(meterZone(level)); };
    for (int i = 0; i < geometry_.count; ++i) {
        const double x = geometry_.meterX(i);
        const double w = geometry_.meterWidth;
        tracks.emplace_back(x, 0, w, h);
        const float a = levelAt(average_, i);
        if (const double bar = h * double(meterFraction(a)); bar > 0) bars[colorIndex(a)].emplace_back(x, h - bar, w, bar);
        if (const float p = levelAt(hold_.held(), i); p > silentDBFS) {
            // Never below the bottom edge: the tick sits on it at the quietest levels.
            const double top = h - std::max(h * double(meterFraction(p)), tickHeight);
            ticks[colorIndex(p)].emplace_back(x, top, w, tickHeight);
        }
    }
    fillBars(painter, tracks, cornerRadius, withOpacity(appearance.primaryLabel, 0.07));
    for (int c = 0; c < 3; ++c) fillBars(painter, bars[c], cornerRadius, withOpacity(colors[c], 0.85));
    for (int c = 0; c < 3; ++c) fillBars(painter, ticks[c], 0, colors[c]);
}

} // namespace vaun
