#include "PreviewViews/ChannelLanesView.h"

#include <QEvent>
#include <QPaintEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace vaun {

double lanePlayheadX(double fraction, double width, double labelWidth) {
    if (std::isnan(fraction)) fraction = 0;
    const double drawingWidth = width - labelWidth;
    return labelWidth + std::max(std::min(fraction * drawingWidth, drawingWidth - 1), 0.0);
}

ChannelLanesView::ChannelLanesView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    played_.played = true;
}

void ChannelLanesView::setLanes(std::vector<WaveformGenerator::Buckets> lanes) {
    const bool same = std::equal(lanes.begin(), lanes.end(), unplayed_.lanes.begin(), unplayed_.lanes.end(),
                                 [](const auto& a, const auto& b) { return a.values == b.values; });
    if (same) return;
    unplayed_.lanes = std::move(lanes);
    contentChanged();
}

void ChannelLanesView::setLabels(QStringList labels) {
    if (labels == unplayed_.labels) return;
    unplayed_.labels = std::move(labels);
    contentChanged();
}

void ChannelLanesView::setGain(float gain) {
    if (gain == unplayed_.gain) return;
    unplayed_.gain = gain;
    contentChanged();
}

void ChannelLanesView::setLabelWidth(double labelWidth) {
    if (labelWidth == unplayed_.labelWidth) return;
    unplayed_.labelWidth = labelWidth;
    contentChanged();
}

void ChannelLanesView::setFraction(double fraction) {
    if (fraction == fraction_) return;
    const double before = snappedPlayheadX(devicePixelRatioF());
    fraction_ = fraction;
    const double after = snappedPlayheadX(devicePixelRatioF());
    if (before != after) update(playheadStrip(before, after, height()));
}

double ChannelLanesView::snappedPlayheadX(qreal devicePixelRatio) const {
    return snapToPixel(lanePlayheadX(fraction_, width(), unplayed_.labelWidth), devicePixelRatio);
}

void ChannelLanesView::contentChanged() {
    played_ = unplayed_;
    played_.played = true;
    canvas_.invalidate();
    update();
}

QSize ChannelLanesView::sizeHint() const { return QSize(480, 132); }

QSize ChannelLanesView::minimumSizeHint() const { return QSize(int(std::ceil(unplayed_.labelWidth)) + 40, 20); }

bool ChannelLanesView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const auto lanes = qsizetype(unplayed_.lanes.size());
    const qsizetype index = lanes > 0 && height() > 0 ? qsizetype(help->pos().y() * lanes / height()) : -1;
    const QStringList& labels = unplayed_.labels;
    // A lane's label may be cut to its column, so the whole name is always offered.
    if (index >= 0 && index < fullNames_.size() && index < labels.size())
        QToolTip::showText(help->globalPos(), fullNames_[index], this);
    else
        QToolTip::hideText();
    return true;
}

void ChannelLanesView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const double x = lanePlayheadX(fraction_, width(), unplayed_.labelWidth);
    const std::optional<double> playhead = unplayed_.lanes.empty() ? std::nullopt : std::optional(x);
    canvas_.paint(painter, event->rect(), size(), colorScheme(*this), x, playhead,
                  [this](QPainter& target, QSizeF size, ColorScheme scheme, bool played) {
                      (played ? played_ : unplayed_).paint(target, size, scheme);
                  });
}

void ChannelLanesView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        canvas_.invalidate();
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace vaun
