#include "PreviewViews/MeterLabels.h"

#include "PreviewViews/MeterBank.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace vaun {

MeterLabels::MeterLabels(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void MeterLabels::setContent(const Content& content) {
    if (content == content_) return;
    const bool resized = content.count != content_.count || content.column != content_.column ||
                         content.spacing != content_.spacing;
    content_ = content;
    if (resized) updateGeometry();
    update();
}

double MeterLabels::rowWidth() const {
    if (content_.count <= 0) return 0;
    return content_.count * content_.column + (content_.count - 1) * content_.spacing;
}

QFont MeterLabels::labelFont() const {
    return systemFont(MeterGeometry::forChannels(content_.count).labelPoints, FontWeight::medium, FontDesign::rounded);
}

QSize MeterLabels::sizeHint() const {
    return {int(std::ceil(rowWidth())), int(std::ceil(QFontMetricsF(labelFont()).height()))};
}

void MeterLabels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(labelFont());
    painter.setPen(Appearance::of(colorScheme(*this)).secondaryLabel);
    const double left = (width() - rowWidth()) / 2;
    for (int i = 0; i < content_.count; ++i) {
        const QString text = i < content_.labels.size() ? content_.labels[i] : QString();
        if (text.isEmpty()) continue;
        const QRectF slot(left + i * (content_.column + content_.spacing), 0, content_.column, height());
        // A label wider than its slot spills over the neighbours rather than being cut.
        painter.drawText(slot, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
    }
}

void MeterLabels::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

} // namespace vaun
