#pragma once
// Rendering widgets offscreen into images a test can inspect pixel by pixel.
#include "Toolkit/Appearance.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QRegion>
#include <QSize>

class QWidget;

namespace vaun::test {

// Lays `widget` out at `size` points in `scheme` and paints it into an image of
// size × devicePixelRatio pixels (ARGB32, premultiplied), background included.
QImage render(QWidget& widget, QSize size, ColorScheme scheme = ColorScheme::light, qreal devicePixelRatio = 1);

// Colour distance on 0…255 channels, alpha ignored; a loose match for anti-aliased pixels.
int colorDistance(QColor a, QColor b);

// The colour an opaque `background` shows when `color` is painted over it at its alpha.
QColor over(QColor color, QColor background);

// Records what a widget is asked to repaint: install it as an event filter on the widget.
class PaintRecorder : public QObject {
public:
    PaintRecorder() = default;
    explicit PaintRecorder(QWidget& widget);

    QRegion painted;
    int paints = 0;
    void reset() {
        painted = {};
        paints = 0;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace vaun::test
