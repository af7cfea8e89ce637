#include "PreviewViews/GlassControl.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/Symbols.h"
#include "Toolkit/Typography.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace vaun {
namespace {

struct Metrics {
    double height;
    double padding;   // left and right of the content
    double fontPoints;
};

Metrics metricsFor(GlassControl::ControlSize size) {
    switch (size) {
    case GlassControl::ControlSize::small: return {20, 9, 11};
    case GlassControl::ControlSize::regular: return {24, 12, 13};
    case GlassControl::ControlSize::large: return {32, 18, 15};
    }
    return {24, 12, 13};
}

constexpr double kSymbolGap = 5;
constexpr double kDisabledOpacity = 0.45;

QColor mixed(const QColor& base, const QColor& with, double amount) {
    return QColor::fromRgbF(float(base.redF() + (with.redF() - base.redF()) * amount),
                            float(base.greenF() + (with.greenF() - base.greenF()) * amount),
                            float(base.blueF() + (with.blueF() - base.blueF()) * amount), base.alphaF());
}

} // namespace

GlassControl::GlassControl(bool prominent, QWidget* parent) : QAbstractButton(parent), prominent_(prominent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

GlassControl::GlassControl(const QString& text, bool prominent, QWidget* parent) : GlassControl(prominent, parent) {
    setText(text);
}

void GlassControl::setProminent(bool prominent) {
    if (prominent == prominent_) return;
    prominent_ = prominent;
    update();
}

void GlassControl::setSymbol(const QString& name) {
    if (name == symbol_) return;
    symbol_ = name;
    updateGeometry();
    update();
}

void GlassControl::setControlSize(ControlSize size) {
    if (size == controlSize_) return;
    controlSize_ = size;
    updateGeometry();
    update();
}

QFont GlassControl::labelFont() const {
    return testAttribute(Qt::WA_SetFont) ? font() : systemFont(metricsFor(controlSize_).fontPoints);
}

QColor GlassControl::fillColor() const {
    const Appearance& look = Appearance::of(colorScheme(*this));
    const bool pressed = isDown() && isEnabled();
    const bool hovered = hovered_ && isEnabled();
    if (prominent_) {
        if (pressed) return mixed(look.blue, QColor(0, 0, 0), 0.18);
        if (hovered) return mixed(look.blue, QColor(255, 255, 255), 0.08);
        return look.blue;
    }
    const double shade = pressed ? 0.12 : hovered ? 0.05 : 0.0;
    const QColor lift = colorScheme(*this) == ColorScheme::dark ? QColor(255, 255, 255) : QColor(0, 0, 0);
    return mixed(look.controlBackground, lift, shade);
}

QColor GlassControl::labelColor() const {
    return prominent_ ? QColor(255, 255, 255) : Appearance::of(colorScheme(*this)).primaryLabel;
}

QSize GlassControl::sizeHint() const {
    const Metrics m = metricsFor(controlSize_);
    const QFont font = labelFont();
    const QFontMetricsF fm(font);
    double content = text().isEmpty() ? 0 : fm.horizontalAdvance(text());
    if (Symbols::exists(symbol_))
        content += Symbols::sizeForFont(font.pixelSize()).width() + (text().isEmpty() ? 0 : kSymbolGap);
    const double height = std::max(m.height, std::ceil(fm.height()) + 6);
    const double width = text().isEmpty() ? std::max(height, content + 2 * (m.padding / 2)) : content + 2 * m.padding;
    return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

void GlassControl::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    const bool dark = colorScheme(*this) == ColorScheme::dark;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(kDisabledOpacity);

    const QRectF bounds(rect());
    const double hairline = 1.0 / std::max<qreal>(1.0, devicePixelRatioF());
    const QRectF capsule = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = capsule.height() / 2;
    QPainterPath shape;
    shape.addRoundedRect(capsule, radius, radius);

    if (!prominent_ && !dark) {
        // A soft drop under the plain button, as the desktop's bordered buttons have.
        QPainterPath drop;
        drop.addRoundedRect(capsule.translated(0, 0.5), radius, radius);
        painter.fillPath(drop, QColor(0, 0, 0, 20));
    }
    painter.fillPath(shape, fillColor());
    if (!prominent_) {
        painter.setPen(QPen(withOpacity(look.primaryLabel, dark ? 0.2 : 0.16), hairline));
        painter.setBrush(Qt::NoBrush);
        const double inset = hairline / 2;
        const QRectF edge = capsule.adjusted(inset, inset, -inset, -inset);
        painter.drawRoundedRect(edge, edge.height() / 2, edge.height() / 2);
    }
    if (keyboardFocus_) {
        // The ring stays inside the frame: the preview gives its buttons exact sizes.
        painter.setPen(QPen(prominent_ ? withOpacity(QColor(255, 255, 255), 0.7) : withOpacity(look.blue, 0.75), 2));
        painter.setBrush(Qt::NoBrush);
        const QRectF ring = capsule.adjusted(1, 1, -1, -1);
        painter.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
    }

    // Content: symbol then text, centred together.
    const QFont font = labelFont();
    const QFontMetricsF fm(font);
    const bool hasSymbol = Symbols::exists(symbol_);
    const QSizeF symbolBox = hasSymbol ? Symbols::sizeForFont(font.pixelSize()) : QSizeF();
    const double textWidth = text().isEmpty() ? 0 : fm.horizontalAdvance(text());
    const double contentWidth = symbolBox.width() + (hasSymbol && textWidth > 0 ? kSymbolGap : 0) + textWidth;
    double x = bounds.center().x() - contentWidth / 2;
    const double midY = bounds.center().y();
    const QColor ink = labelColor();
    if (hasSymbol) {
        const QSizeF box = symbolBox.boundedTo(QSizeF(bounds.height() - 4, bounds.height() - 4));
        Symbols::draw(painter, QRectF(QPointF(x + (symbolBox.width() - box.width()) / 2, midY - box.height() / 2), box), symbol_, ink);
        x += symbolBox.width() + (textWidth > 0 ? kSymbolGap : 0);
    }
    if (textWidth > 0) {
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(QRectF(x, bounds.top(), textWidth + 1, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }
}

void GlassControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    if (event->type() == QEvent::EnabledChange && !isEnabled()) hovered_ = false;
    QAbstractButton::changeEvent(event);
}

void GlassControl::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void GlassControl::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void GlassControl::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
    update();
}

void GlassControl::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
    update();
}

} // namespace vaun
