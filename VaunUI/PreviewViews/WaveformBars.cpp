#include "PreviewViews/WaveformBars.h"

#include "Toolkit/BarFill.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vaun {

PairExtremes pairExtremes(const std::vector<float>& values, std::int64_t start, std::int64_t end) {
    PairExtremes e;
    // Written as comparisons so NaN samples never win.
    for (std::int64_t p = start; p < end; ++p) {
        const float low = values[std::size_t(2 * p)];
        const float high = values[std::size_t(2 * p + 1)];
        if (low < e.lo) e.lo = low;
        if (high > e.hi) e.hi = high;
    }
    return e;
}

std::vector<QRectF> waveformBarRects(const std::vector<float>& values, float gain, QSizeF size) {
    std::vector<QRectF> rects;
    if (values.size() < 2) return rects;
    const double width = size.width();
    const double half = size.height() / 2;
    const std::int64_t pairs = std::int64_t(values.size() / 2);
    const std::int64_t bars = std::max<std::int64_t>(std::min<std::int64_t>(pairs, std::int64_t(width / 3)), 1);
    const double barWidth = std::max(width / double(bars) - 1, 1.0);
    rects.reserve(std::size_t(bars));
    for (std::int64_t i = 0; i < bars; ++i) {
        const std::int64_t start = pairs * i / bars;
        const std::int64_t end = pairs * (i + 1) / bars;
        const auto [lo, hi] = pairExtremes(values, start, end);
        const double top = std::min(double(hi) * gain, 1.0);
        const double bottom = std::max(double(lo) * gain, -1.0);
        const double y = half * (1 - top);
        const double height = std::max(half * (top - bottom), 1.0);
        rects.emplace_back(width * double(i) / double(bars), y, barWidth, height);
    }
    return rects;
}

QColor WaveformBars::barColor(ColorScheme scheme, bool played) {
    const double opacity = played ? 0.95 : scheme == ColorScheme::dark ? 0.65 : 0.42;
    return withOpacity(Appearance::of(scheme).blue, opacity);
}

void WaveformBars::paint(QPainter& painter, QSizeF size, ColorScheme scheme) const {
    if (values.size() < 2) return;
    if (!played) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillRect(QRectF(0, size.height() / 2, size.width(), 0.5),
                         withOpacity(Appearance::of(scheme).primaryLabel, 0.08));
        painter.restore();
    }
    fillBars(painter, waveformBarRects(values, gain, size), 1, barColor(scheme, played));
}

} // namespace vaun
