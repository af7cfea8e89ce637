#include "Toolkit/DevicePixels.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>

#include <cmath>

namespace vaun {

qreal paintedPixelRatio(const QPainter& painter) {
    if (const QPaintEngine* engine = painter.paintEngine(); engine && engine->paintDevice())
        return engine->paintDevice()->devicePixelRatio();
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

double snapToPixel(double x, qreal devicePixelRatio) {
    // The small allowance keeps a position that is already on an edge from dropping a pixel.
    return std::floor(x * devicePixelRatio + 1e-6) / devicePixelRatio;
}

} // namespace vaun
