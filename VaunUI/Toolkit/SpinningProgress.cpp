#include "Toolkit/SpinningProgress.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/Typography.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

constexpr int kLabelGap = 8;

} // namespace

SpinningProgress::SpinningProgress(const QString& label, QWidget* parent) : QWidget(parent), label_(label) {
    setFont(systemFont(TextStyle::body));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(label);
}

void SpinningProgress::setLabel(const QString& label) {
    if (label == label_) return;
    label_ = label;
    setAccessibleName(label);
    updateGeometry();
    update();
}

QSize SpinningProgress::sizeHint() const {
    if (label_.isEmpty()) return QSize(kIndicatorSize, kIndicatorSize);
    const QFontMetricsF metrics(font());
    const int textWidth = int(std::ceil(metrics.horizontalAdvance(label_)));
    return QSize(std::max(kIndicatorSize, textWidth), kIndicatorSize + kLabelGap + int(std::ceil(metrics.height())));
}

QRect SpinningProgress::indicatorRect() const {
    return QRect((width() - kIndicatorSize) / 2, 0, kIndicatorSize, kIndicatorSize);
}

void SpinningProgress::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(indicatorRect());
    const double outer = box.width() / 2, inner = outer * 0.5, thickness = outer * 0.19;
    painter.save();
    painter.translate(box.center());
    for (int i = 0; i < kSpokes; ++i) {
        // The leading spoke is darkest; the trail fades behind it.
        const int age = (phase_ - i + kSpokes) % kSpokes;
        const double opacity = 1.0 - 0.8 * age / double(kSpokes - 1);
        painter.save();
        painter.rotate(360.0 * i / kSpokes);
        painter.setPen(QPen(withOpacity(look.primaryLabel, opacity * 0.75), thickness, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + thickness / 2));
        painter.restore();
    }
    painter.restore();
    if (!label_.isEmpty()) {
        painter.setFont(font());
        painter.setPen(look.secondaryLabel);
        painter.drawText(QRectF(0, kIndicatorSize + kLabelGap, width(), height() - kIndicatorSize - kLabelGap),
                         Qt::AlignHCenter | Qt::AlignTop, label_);
    }
}

void SpinningProgress::showEvent(QShowEvent* event) {
    timer_.start(kStepMs, this);
    QWidget::showEvent(event);
}

void SpinningProgress::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void SpinningProgress::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) return QWidget::timerEvent(event);
    phase_ = (phase_ + 1) % kSpokes;
    update(indicatorRect());
}

LinearProgress::LinearProgress(QWidget* parent) : QWidget(parent) {
    accessibility::install();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LinearProgress::setValue(double value) {
    value = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    if (value == value_) return;
    value_ = value;
    update();
    accessibility::notifyValueChanged(*this);
}

QSize LinearProgress::sizeHint() const { return QSize(kDefaultWidth, kTrackHeight); }

QString LinearProgress::accessibleValueText() const { return tr("%1%", "percentage").arg(int(value_ * 100)); }

void LinearProgress::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track(0, (height() - kTrackHeight) / 2.0, width(), kTrackHeight);
    const double radius = kTrackHeight / 2.0;
    QPainterPath whole;
    whole.addRoundedRect(track, radius, radius);
    painter.fillPath(whole, withOpacity(look.primaryLabel, colorScheme(*this) == ColorScheme::dark ? 0.18 : 0.1));
    if (value_ <= 0) return;
    // Never narrower than it is tall, so a small value keeps the track's rounded start.
    QPainterPath fill;
    fill.addRoundedRect(QRectF(track.left(), track.top(), std::max(track.width() * value_, kTrackHeight * 1.0), kTrackHeight),
                        radius, radius);
    painter.fillPath(fill, look.blue);
}

} // namespace vaun
