#pragma once
// One horizontal lane per channel, top to bottom, each with its label in a column on the left
// and bars that always touch the lane's centre line. A pure drawing like WaveformBars: the
// view stacks an unplayed copy (with labels and separators) and a played copy (bars only).
#include "Toolkit/Appearance.h"
#include "analysis/WaveformGenerator.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <vector>

class QPainter;

namespace vaun {

// The bars of one lane's interleaved (min, max) `values` at `gain`, drawn right of
// `labelWidth` inside `lane`: at most one bar per 2 points, 0.5 points apart, full scale at
// 45 % of the lane height either side of its centre, at least 0.75 points tall. None for
// fewer than 2 values.
std::vector<QRectF> laneBarRects(const std::vector<float>& values, float gain, double labelWidth, QRectF lane);

// Label text size for lanes `laneHeight` points tall: 45 % of it, kept within 7…11 points.
double laneLabelPointSize(double laneHeight);

// Entry `lane` of `labels`, or the lane's 1-based number when the labels run out.
QString laneLabel(const QStringList& labels, int lane);

struct ChannelLaneBars {
    std::vector<WaveformGenerator::Buckets> lanes; // one per channel, top to bottom
    QStringList labels;
    float gain = 1;
    double labelWidth = 34; // points
    bool played = false;

    // Lanes of equal height filling `size`; the unplayed copy adds separators and labels.
    // Nothing at all without lanes.
    void paint(QPainter& painter, QSizeF size, ColorScheme scheme) const;

    // Lanes compare through their value lists only; the appearance comes with each paint.
    friend bool operator==(const ChannelLaneBars& a, const ChannelLaneBars& b);
};

} // namespace vaun
