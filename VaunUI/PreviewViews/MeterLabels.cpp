#include "PreviewViews/MeterLabels.h"

#include "PreviewViews/MeterBank.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

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

QStringList MeterLabels::shownLabels() const {
    const QFontMetricsF metrics(labelFont());
    const auto textAt = [&](int i) { return i >= 0 && i < content_.labels.size() ? content_.labels[i] : QString(); };
    // A label may spill over its neighbours only into the room their own labels leave, so
    // labels never run into each other; beyond that it is elided in the middle.
    const auto reach = [&](int neighbour) {
        if (neighbour < 0 || neighbour >= content_.count) return std::numeric_limits<double>::infinity();
        const double spare = std::max(0.0, (content_.column - metrics.horizontalAdvance(textAt(neighbour))) / 2);
        return content_.column / 2 + content_.spacing / 2 + spare - 0.5;
    };
    QStringList shown;
    for (int i = 0; i < content_.count; ++i) {
        QString text = textAt(i);
        const double half = std::min(reach(i - 1), reach(i + 1));
        if (!text.isEmpty() && std::isfinite(half) && metrics.horizontalAdvance(text) > 2 * half)
            text = metrics.elidedText(text, Qt::ElideMiddle, 2 * half);
        shown << text;
    }
    return shown;
}

void MeterLabels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(labelFont());
    painter.setPen(Appearance::of(colorScheme(*this)).secondaryLabel);
    const double left = (width() - rowWidth()) / 2;
    const QStringList shown = shownLabels();
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i].isEmpty()) continue;
        const QRectF slot(left + i * (content_.column + content_.spacing), 0, content_.column, height());
        painter.drawText(slot, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, shown[i]);
    }
}

void MeterLabels::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

} // namespace vaun
