#pragma once
// One vertical level meter per channel during playback: the average level as a bar, the held
// peak as a tick, a faint track behind each, the channel labels underneath, all on a plate
// that follows the light or dark appearance.
#include "Toolkit/Appearance.h"

#include <QColor>
#include <QImage>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class QPainter;

namespace vaun {

class MeterLabels;

// Meter sizes for a number of channels; fewer channels get wider meters.
struct MeterGeometry {
    int count = 1;          // meters laid out: at least one, even without labels
    double meterWidth = 15; // points
    double gap = 3;
    double labelPoints = 8; // font size of the labels

    static MeterGeometry forChannels(qsizetype channels);

    double drawingWidth() const { return count * meterWidth + (count - 1) * gap; }
    double meterX(int index) const { return index * (meterWidth + gap); }
};

// The share of the meter's height a level fills: empty at −60 dBFS and below, full from 0 dBFS.
float meterFraction(float levelDBFS);

// Red above −3 dBFS, orange above −12 dBFS, green below.
enum class MeterZone { green, orange, red };
MeterZone meterZone(float levelDBFS);
QColor meterColor(float levelDBFS, const Appearance& appearance);

// Held peak levels. A new high is held for 1.5 s; after that the next peak replaces it outright
// rather than letting the tick fall gradually.
class PeakHold {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::milliseconds holdTime{1500};

    // An empty array clears the hold; a different channel count starts a fresh one.
    void update(const QVector<float>& peak, TimePoint now);
    const QVector<float>& held() const { return held_; }

private:
    QVector<float> held_;
    QVector<TimePoint> heldAt_;
};

// The plate pictures behind the bank, one per appearance; either may be missing.
struct MeterPlates {
    std::optional<QImage> light;
    std::optional<QImage> dark;

    static MeterPlates fromResources();
    const std::optional<QImage>& forScheme(ColorScheme scheme) const;
};

// `image` stretched over `target` with caps of `capPoints` on every side kept at their natural
// size (in points, from the image's device pixel ratio); caps shrink only when `target` is
// smaller than two of them.
void drawNinePatch(QPainter& painter, const QRectF& target, const QImage& image, double capPoints);

class MeterBank : public QWidget {
    Q_OBJECT

public:
    using Clock = std::function<PeakHold::TimePoint()>;

    static constexpr double paddingX = 8;
    static constexpr double paddingTop = 8;
    static constexpr double paddingBottom = 9;
    static constexpr double labelSpacing = 3;
    static constexpr double plateCap = 14;

    explicit MeterBank(QWidget* parent = nullptr);
    // A clock and plates of the caller's choosing, for tests and previews.
    MeterBank(Clock clock, MeterPlates plates, QWidget* parent = nullptr);

    // One meter per label; no labels still lay out one meter.
    void setLabels(const QStringList& labels);
    // The whole name of each meter's channel, shown over a meter whose label is shorter.
    void setFullNames(const QStringList& names) { fullNames_ = names; }
    // Levels in dBFS per channel; a channel beyond an array reads −60. The held peaks follow
    // whenever `peak` changes; empty arrays clear them.
    void setLevels(const QVector<float>& peak, const QVector<float>& average);

    const QStringList& labels() const { return labels_; }
    const QVector<float>& peak() const { return peak_; }
    const QVector<float>& average() const { return average_; }
    const QVector<float>& held() const { return hold_.held(); }
    const MeterGeometry& meterGeometry() const { return geometry_; }
    // Where the meters are drawn, in widget coordinates.
    QRectF drawingRect() const;
    MeterLabels& labelRow() const { return *labelRow_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layoutLabels();
    void drawMeters(QPainter& painter, QSizeF size) const;
    QImage renderPlate(const QImage& plate, qreal ratio) const;
    QImage renderMeters(QSizeF size, qreal ratio) const;

    Clock clock_;
    MeterPlates plates_;
    QStringList labels_;
    QStringList fullNames_;
    MeterGeometry geometry_;
    QVector<float> peak_;
    QVector<float> average_;
    PeakHold hold_;
    MeterLabels* labelRow_;
    QImage plateCache_; // the stretched plate at the current size and pixel ratio
    // The meters as last drawn. One picture per level change, composited in one go: drawn
    // shape by shape onto the window, every tall shape costs a parallel fill in Qt's raster
    // engine, and their hand-offs cost more than the drawing.
    QImage metersCache_;
};

} // namespace vaun
