#pragma once
// Cached drawings must match the pixels of the device actually painted: a widget paints
// through its window's backing store, but QWidget::render may paint into an image of any
// pixel ratio.
#include <QtGlobal>

class QPainter;

namespace vaun {

// The pixel ratio of the device `painter` paints into.
qreal paintedPixelRatio(const QPainter& painter);

// `x` moved left onto the nearest device pixel edge, so 1-point lines stay crisp.
double snapToPixel(double x, qreal devicePixelRatio);

} // namespace vaun
