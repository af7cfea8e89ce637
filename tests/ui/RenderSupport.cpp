#include "RenderSupport.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vaun::test {

QImage render(QWidget& widget, QSize size, ColorScheme scheme, qreal devicePixelRatio) {
    applyColorScheme(widget, scheme);
    widget.resize(size);
    widget.ensurePolished();
    QApplication::sendPostedEvents();
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Appearance::of(scheme).windowBackground);
    QPainter painter(&image);
    widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image;
}

int colorDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

QColor over(QColor color, QColor background) {
    const double a = color.alphaF();
    auto mix = [a](int top, int bottom) { return int(std::lround(top * a + bottom * (1 - a))); };
    return QColor(mix(color.red(), background.red()), mix(color.green(), background.green()),
                  mix(color.blue(), background.blue()));
}

PaintRecorder::PaintRecorder(QWidget& widget) { widget.installEventFilter(this); }

bool PaintRecorder::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        painted += static_cast<QPaintEvent*>(event)->region();
        ++paints;
    }
    return false;
}

} // namespace vaun::test
