#pragma once
// A file's markers over the drawing of the player: a point or chapter as a line with a flag
// and its label, a region as a shaded span, a loop as a bracketed one. The overlay lies over
// the drawing, outside the playback wrappers: a playback tick repaints only the strip the
// playhead crossed, and of the markers only those that reach into it are drawn. A click on a
// marker's line, flag or label moves the playhead to its start.
#include "PreviewViews/MarkerTimeline.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vaun {

class MarkerOverlay : public QWidget {
    Q_OBJECT
public:
    // Where a fraction 0…1 of the file lies across a drawing `width` points wide; the same
    // function the drawing below places its playhead with.
    using Placement = std::function<double(double fraction, double width)>;

    static constexpr double kHitSlop = 4;       // either side of a line, in points
    static constexpr double kFlagWidth = 7;
    static constexpr double kFlagHeight = 8;
    static constexpr double kMaximumLabelWidth = 160;

    MarkerOverlay(std::shared_ptr<const MarkerTimeline> markers, Placement placement,
                  std::function<void(double)> seek, QWidget* parent = nullptr);
    ~MarkerOverlay() override;

    // The drawing under the overlay: tooltips away from any marker are its own.
    void setUnderlay(QWidget* widget) { underlay_ = widget; }

    // Where marker `i`'s start is drawn at the current width; absent when it is not drawn.
    std::optional<double> markerX(std::size_t i) const;
    // The marker whose line (± kHitSlop), flag or label is at `point`.
    std::optional<std::size_t> markerAt(QPointF point) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    class Layout;
    void place();

    std::shared_ptr<const MarkerTimeline> markers_;
    Placement placement_;
    std::function<void(double)> seek_;
    QPointer<QWidget> underlay_;
    std::unique_ptr<Layout> layout_;
};

} // namespace vaun
