#include "Toolkit/Slider.h"

#include "Toolkit/Appearance.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

constexpr double kKnobDiameter = 13;
constexpr double kTrackHeight = 4;
constexpr int kHeight = 16;

double clamped(double value) { return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0; }

} // namespace

Slider::Slider(QWidget* parent) : QWidget(parent) {
    accessibility::install();
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Slider::setValue(double value) { moveKnob(clamped(value)); }

void Slider::setAccessibleValueText(const QString& text) {
    if (text == valueText_) return;
    valueText_ = text;
    accessibility::notifyValueChanged(*this);
}

QString Slider::accessibleValueText() const {
    return valueText_.isEmpty() ? tr("%1%", "percentage").arg(std::lround(value_ * 100)) : valueText_;
}

double Slider::knobCentre(double value) const {
    const double radius = kKnobDiameter / 2;
    return radius + clamped(value) * std::max(0.0, width() - kKnobDiameter);
}

double Slider::valueAt(double x) const {
    const double span = width() - kKnobDiameter;
    return span > 0 ? clamped((x - kKnobDiameter / 2) / span) : 0.0;
}

QSize Slider::sizeHint() const { return QSize(160, kHeight); }
QSize Slider::minimumSizeHint() const { return QSize(int(kKnobDiameter) * 3, kHeight); }

void Slider::moveKnob(double value) {
    if (value == value_) return;
    // Only the strip the knob and the fill's end travel across changes.
    const double a = knobCentre(value_), b = knobCentre(value);
    value_ = value;
    const double margin = kKnobDiameter / 2 + 2;
    update(QRectF(std::min(a, b) - margin, 0, std::abs(b - a) + 2 * margin, height()).toAlignedRect());
    accessibility::notifyValueChanged(*this);
}

void Slider::setFromUser(double value) {
    value = clamped(value);
    if (value == value_) return;
    moveKnob(value);
    emit valueChanged(value_);
}

void Slider::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    const bool dark = colorScheme(*this) == ColorScheme::dark;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);

    const double midY = height() / 2.0;
    const double left = kKnobDiameter / 2 - 1, right = width() - kKnobDiameter / 2 + 1;
    const double knobX = knobCentre(value_);
    const QRectF track(left, midY - kTrackHeight / 2, std::max(0.0, right - left), kTrackHeight);
    const double radius = kTrackHeight / 2;

    QPainterPath whole;
    whole.addRoundedRect(track, radius, radius);
    painter.fillPath(whole, withOpacity(look.primaryLabel, dark ? 0.22 : 0.14));
    QPainterPath filled;
    filled.addRoundedRect(QRectF(track.left(), track.top(), knobX - track.left(), kTrackHeight), radius, radius);
    painter.fillPath(filled, look.blue);

    const QRectF knob(knobX - kKnobDiameter / 2, midY - kKnobDiameter / 2, kKnobDiameter, kKnobDiameter);
    if (keyboardFocus_) {
        painter.setPen(QPen(withOpacity(look.blue, 0.55), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(knob.adjusted(-0.5, -0.5, 0.5, 0.5));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, dark ? 90 : 45));
    painter.drawEllipse(knob.translated(0, 0.5));
    painter.setBrush(dark ? QColor(205, 205, 205) : QColor(255, 255, 255));
    painter.setPen(QPen(QColor(0, 0, 0, dark ? 60 : 40), 0.5));
    painter.drawEllipse(knob.adjusted(0.25, 0.25, -0.25, -0.25));
}

void Slider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    setFromUser(valueAt(event->position().x()));
    event->accept();
}

void Slider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    setFromUser(valueAt(event->position().x()));
    event->accept();
}

void Slider::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    setFromUser(valueAt(event->position().x()));
    dragging_ = false;
    event->accept();
}

void Slider::keyPressEvent(QKeyEvent* event) {
    const bool reversed = layoutDirection() == Qt::RightToLeft;
    switch (event->key()) {
    case Qt::Key_Left: setFromUser(value_ + (reversed ? kKeyStep : -kKeyStep)); break;
    case Qt::Key_Right: setFromUser(value_ + (reversed ? -kKeyStep : kKeyStep)); break;
    case Qt::Key_Down: setFromUser(value_ - kKeyStep); break;
    case Qt::Key_Up: setFromUser(value_ + kKeyStep); break;
    case Qt::Key_PageDown: setFromUser(value_ - kPageStep); break;
    case Qt::Key_PageUp: setFromUser(value_ + kPageStep); break;
    case Qt::Key_Home: setFromUser(0); break;
    case Qt::Key_End: setFromUser(1); break;
    default: return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void Slider::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
    QWidget::focusInEvent(event);
}

void Slider::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    update();
    QWidget::focusOutEvent(event);
}

} // namespace vaun
