#include "PreviewViews/ChannelLaneBars.h"

#include "PreviewViews/WaveformBars.h"
#include "Toolkit/BarFill.h"
#include "Toolkit/Typography.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace vaun {

std::vector<QRectF> laneBarRects(const std::vector<float>& values, float gain, double labelWidth, QRectF lane) {
    std::vector<QRectF> rects;
    if (values.size() < 2) return rects;
    const double left = lane.left() + labelWidth;
    const double drawingWidth = lane.right() - left;
    const double centre = lane.center().y();
    const double reach = lane.height() * 0.45;
    const std::int64_t pairs = std::int64_t(values.size() / 2);
    const std::int64_t bars =
        std::max<std::int64_t>(std::min<std::int64_t>(pairs, std::int64_t(drawingWidth * 0.5)), 1);
    const double barWidth = std::max(drawingWidth / double(bars) - 0.5, 1.0);
    rects.reserve(std::size_t(bars));
    for (std::int64_t j = 0; j < bars; ++j) {
        const std::int64_t start = pairs * j / bars;
        const std::int64_t end = std::min(std::max(start + 1, pairs * (j + 1) / bars), pairs);
        const auto [lo, hi] = pairExtremes(values, start, end);
        // Every bar reaches the centre line, so a one-sided signal still reads as a lane.
        const double top = std::max(std::min(double(hi) * gain, 1.0), 0.0);
        const double bottom = std::min(std::max(double(lo) * gain, -1.0), 0.0);
        const double y = centre - reach * top;
        const double height = std::max(centre - reach * bottom - y, 0.75);
        rects.emplace_back(left + drawingWidth * double(j) / double(bars), y, barWidth, height);
    }
    return rects;
}

double laneLabelPointSize(double laneHeight) { return std::min(std::max(laneHeight * 0.45, 7.0), 11.0); }

QString laneLabel(const QStringList& labels, int lane) {
    return lane < labels.size() ? labels[lane] : QString::number(lane + 1);
}

bool operator==(const ChannelLaneBars& a, const ChannelLaneBars& b) {
    return a.gain == b.gain && a.played == b.played && a.labels == b.labels && a.labelWidth == b.labelWidth &&
           std::equal(a.lanes.begin(), a.lanes.end(), b.lanes.begin(), b.lanes.end(),
                      [](const auto& x, const auto& y) { return x.values == y.values; });
}

void ChannelLaneBars::paint(QPainter& painter, QSizeF size, ColorScheme scheme) const {
    if (lanes.empty()) return;
    const Appearance& look = Appearance::of(scheme);
    const double laneHeight = size.height() / double(lanes.size());
    const QFont font = systemFont(laneLabelPointSize(laneHeight), FontWeight::semibold, FontDesign::rounded);
    const QFontMetricsF metrics(font);
    // From the vertical centre of a line of text to its baseline.
    const double centreToBaseline = (metrics.ascent() - metrics.descent()) / 2;
    const QColor separator = withOpacity(look.primaryLabel, 0.08);
    const QColor bar = WaveformBars::barColor(scheme, played);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(look.secondaryLabel);
    painter.setFont(font);
    for (int k = 0; k < int(lanes.size()); ++k) {
        const QRectF lane(0, laneHeight * k, size.width(), laneHeight);
        if (!played) {
            if (k > 0) painter.fillRect(QRectF(0, lane.top(), size.width(), 0.5), separator);
            painter.drawText(QPointF(4, lane.center().y() + centreToBaseline),
                             metrics.elidedText(laneLabel(labels, k), Qt::ElideMiddle, std::max(labelWidth - 6, 8.0)));
        }
        fillBars(painter, laneBarRects(lanes[std::size_t(k)].values, gain, labelWidth, lane), 0, bar);
    }
    painter.restore();
}

} // namespace vaun
