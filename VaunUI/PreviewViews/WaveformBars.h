#pragma once
// The waveform of a whole file as vertical bars, each spanning the smallest minimum and the
// largest maximum of its run of (min, max) pairs. A pure drawing: the view stacks an unplayed
// and a played copy of it and reveals the played one left of the playhead.
#include "Toolkit/Appearance.h"

#include <QColor>
#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <vector>

class QPainter;

namespace vaun {

// The bars of interleaved (min, max) `values` drawn at `gain` into a canvas of `size` points:
// at most one bar per 3 points, 1 point apart, clamped to full scale, at least 1 point tall.
// None for fewer than 2 values.
std::vector<QRectF> waveformBarRects(const std::vector<float>& values, float gain, QSizeF size);

// The smallest minimum and the largest maximum of pairs [start, end) of interleaved (min, max)
// `values`, starting from (1, −1); NaN never wins.
struct PairExtremes {
    float lo = 1;
    float hi = -1;
};
PairExtremes pairExtremes(const std::vector<float>& values, std::int64_t start, std::int64_t end);

struct WaveformBars {
    std::vector<float> values; // interleaved (min, max) pairs, full scale ±1
    float gain = 1;
    bool played = false;

    // Bars in the copy's colour; the unplayed copy also carries the centre line. Nothing at
    // all for fewer than 2 values.
    void paint(QPainter& painter, QSizeF size, ColorScheme scheme) const;

    // The colour of the bars of a played or an unplayed copy.
    static QColor barColor(ColorScheme scheme, bool played);

    // The appearance is no input: it comes with each paint.
    friend bool operator==(const WaveformBars&, const WaveformBars&) = default;
};

} // namespace vaun
