#include "PreviewViews/SplitCanvas.h"
#include "Toolkit/DevicePixels.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vaun {

QRect playheadStrip(double fromX, double toX, int height) {
    const int left = int(std::floor(std::min(fromX, toX)));
    const int right = int(std::ceil(std::max(fromX, toX) + 1));
    return QRect(left, 0, right - left, height);
}

void SplitCanvas::paint(QPainter& painter, QRect area, QSize size, ColorScheme scheme, double splitX,
                        std::optional<double> playheadX, const Draw& draw) {
    if (size.isEmpty()) return;
    const qreal ratio = paintedPixelRatio(painter);
    if (!valid_ || size != size_ || ratio != devicePixelRatio_ || scheme != scheme_)
        rebuild(size, ratio, scheme, draw);

    auto source = [ratio](const QRectF& target) {
        return QRectF(target.topLeft() * ratio, target.size() * ratio);
    };
    const QRectF visible = QRectF(area) & QRectF(QPointF(), size);
    painter.drawImage(visible, unplayed_, source(visible));
    const QRectF revealed = visible & QRectF(0, 0, snapToPixel(splitX, ratio), size.height());
    if (!revealed.isEmpty()) painter.drawImage(revealed, played_, source(revealed));
    if (playheadX)
        painter.fillRect(QRectF(snapToPixel(*playheadX, ratio), 0, 1, size.height()),
                         Appearance::of(scheme).blue);
}

void SplitCanvas::rebuild(QSize size, qreal devicePixelRatio, ColorScheme scheme, const Draw& draw) {
    const QSize pixels(int(std::ceil(size.width() * devicePixelRatio)),
                       int(std::ceil(size.height() * devicePixelRatio)));
    for (QImage* copy : {&unplayed_, &played_}) {
        if (copy->size() != pixels) *copy = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        copy->setDevicePixelRatio(devicePixelRatio);
        copy->fill(Qt::transparent);
        QPainter painter(copy);
        draw(painter, QSizeF(size), scheme, copy == &played_);
    }
    size_ = size;
    devicePixelRatio_ = devicePixelRatio;
    scheme_ = scheme;
    valid_ = true;
    ++builds_;
}

} // namespace vaun
