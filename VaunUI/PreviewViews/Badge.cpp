#include "PreviewViews/Badge.h"

#include "Toolkit/Appearance.h"
#include "Toolkit/Typography.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace vaun {

Badge::Badge(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text);
}

void Badge::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QFont Badge::badgeFont() const {
    QFont font = systemFont(kFontPoints, FontWeight::semibold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, kTracking);
    return font;
}

double Badge::textWidth() const { return QFontMetricsF(badgeFont()).horizontalAdvance(text_); }

QSize Badge::sizeHint() const {
    const QFontMetricsF metrics(badgeFont());
    return QSize(int(std::ceil(textWidth())) + 2 * kPaddingH, int(std::ceil(metrics.height())) + 2 * kPaddingV);
}

void Badge::paintEvent(QPaintEvent*) {
    const Appearance& look = Appearance::of(colorScheme(*this));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
    painter.fillPath(capsule, withOpacity(look.blue, kFillOpacity));
    painter.setFont(badgeFont());
    painter.setPen(look.blue);
    painter.drawText(bounds.adjusted(kPaddingH, kPaddingV, -kPaddingH, -kPaddingV), Qt::AlignCenter, text_);
}

} // namespace vaun
