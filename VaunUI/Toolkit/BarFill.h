#pragma once
// Antialiased filling of many narrow rectangles, the bars of waveforms and meters.
#include <QColor>
#include <QRectF>

#include <vector>

class QPainter;

namespace vaun {

// Fills `rects` (painter coordinates) with `color`, corners rounded to `radius`, antialiased.
// QPainter fills tall narrow bars span by span, milliseconds per drawing. So onto a
// premultiplied 32-bit image (unclipped, opaque painter, source-over, plain uniform scale) the
// bars go straight into the pixels, weighted by the area they cover; any other painter gets
// QPainter's own fills.
void fillBars(QPainter& painter, const std::vector<QRectF>& rects, double radius, QColor color);

} // namespace vaun
