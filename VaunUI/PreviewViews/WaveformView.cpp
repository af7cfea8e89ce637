#include "PreviewViews/WaveformView.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vaun {

double waveformPlayheadX(double fraction, double width) {
    if (std::isnan(fraction)) return 0;
    return std::max(std::min(fraction * width, width - 1), 0.0);
}

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void WaveformView::setValues(std::vector<float> values) {
    if (values == unplayed_.values) return;
    played_.values = values;
    unplayed_.values = std::move(values);
    contentChanged();
}

void WaveformView::setGain(float gain) {
    if (gain == unplayed_.gain) return;
    unplayed_.gain = played_.gain = gain;
    contentChanged();
}

void WaveformView::setFraction(double fraction) {
    if (fraction == fraction_) return;
    const qreal ratio = devicePixelRatioF();
    const double before = snapToPixel(waveformPlayheadX(fraction_, width()), ratio);
    fraction_ = fraction;
    const double after = snapToPixel(waveformPlayheadX(fraction_, width()), ratio);
    if (before != after) update(playheadStrip(before, after, height()));
}

void WaveformView::contentChanged() {
    canvas_.invalidate();
    update();
}

QSize WaveformView::sizeHint() const { return QSize(480, 132); }

QSize WaveformView::minimumSizeHint() const { return QSize(40, 20); }

void WaveformView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const double x = waveformPlayheadX(fraction_, width());
    canvas_.paint(painter, event->rect(), size(), colorScheme(*this), x, x,
                  [this](QPainter& target, QSizeF size, ColorScheme scheme, bool played) {
                      (played ? played_ : unplayed_).paint(target, size, scheme);
                  });
}

void WaveformView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) contentChanged();
    QWidget::changeEvent(event);
}

} // namespace vaun
