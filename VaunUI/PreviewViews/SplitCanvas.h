#pragma once
// The two copies behind a display with a playhead: the drawing once as unplayed and once as
// played audio, cached at the device's pixel ratio, and the compositing that reveals the
// played copy left of the playhead. A playback tick only recomposites the strip it crossed.
#include "Toolkit/Appearance.h"
#include "Toolkit/DevicePixels.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <functional>
#include <optional>

class QPainter;

namespace vaun {

// The columns a playhead moving from `fromX` to `toX` touches, its 1-point line included.
QRect playheadStrip(double fromX, double toX, int height);

// The unplayed and played copies of a drawing, cached as images at the device pixel ratio,
// and the compositing that reveals the played copy left of the playhead.
class SplitCanvas {
public:
    using Draw = std::function<void(QPainter&, QSizeF size, ColorScheme, bool played)>;

    // Drops both copies; the next paint draws them anew.
    void invalidate() { valid_ = false; }

    // Paints `area` of a view of `size`: the unplayed copy, the played copy left of `splitX`,
    // and when given the 1-point playhead at `playheadX`, both moved onto device pixels. Draws the copies first when they
    // are missing or were drawn at another size, pixel ratio or appearance.
    void paint(QPainter& painter, QRect area, QSize size, ColorScheme scheme, double splitX,
               std::optional<double> playheadX, const Draw& draw);

    // How many times both copies have been drawn.
    int buildCount() const { return builds_; }

private:
    void rebuild(QSize size, qreal devicePixelRatio, ColorScheme scheme, const Draw& draw);

    QImage unplayed_;
    QImage played_;
    QSize size_;
    qreal devicePixelRatio_ = 0;
    ColorScheme scheme_ = ColorScheme::light;
    bool valid_ = false;
    int builds_ = 0;
};

} // namespace vaun
