#pragma once
// The channel display: one lane per channel with its speaker label, split into played and
// unplayed audio at the playhead like the waveform display. The label column stays clear of
// the playhead, which moves across the bars only.
#include "PreviewViews/ChannelLaneBars.h"
#include "PreviewViews/WaveformView.h"

#include <QStringList>
#include <QWidget>

#include <vector>

namespace vaun {

// Where the playhead of lanes `width` points wide with a label column of `labelWidth` sits:
// labelWidth + fraction × (width − labelWidth), kept within labelWidth…width − 1.
double lanePlayheadX(double fraction, double width, double labelWidth);

class ChannelLanesView : public QWidget {
    Q_OBJECT

public:
    explicit ChannelLanesView(QWidget* parent = nullptr);

    // One bucket series per channel, top to bottom.
    void setLanes(std::vector<WaveformGenerator::Buckets> lanes);
    // One label per lane; lanes beyond the list show their 1-based number.
    void setLabels(QStringList labels);
    // The whole name of each lane's channel, shown over a lane whose label is shorter.
    void setFullNames(QStringList names) { fullNames_ = std::move(names); }
    // Playback position, 0…1. Repaints only the strip the playhead crossed.
    void setFraction(double fraction);
    // Drawing gain; 1 draws the samples as they are.
    void setGain(float gain);
    // Width of the label column in points.
    void setLabelWidth(double labelWidth);

    const std::vector<WaveformGenerator::Buckets>& lanes() const { return unplayed_.lanes; }
    const QStringList& labels() const { return unplayed_.labels; }
    double fraction() const { return fraction_; }
    float gain() const { return unplayed_.gain; }
    double labelWidth() const { return unplayed_.labelWidth; }

    // How many times the lanes have been drawn anew; playback ticks leave it unchanged.
    int cacheBuildCount() const { return canvas_.buildCount(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Brings the played copy in line with the unplayed one and redraws both.
    void contentChanged();
    double snappedPlayheadX(qreal devicePixelRatio) const;

    QStringList fullNames_;
    ChannelLaneBars unplayed_;
    ChannelLaneBars played_;
    double fraction_ = 0;
    SplitCanvas canvas_;
};

} // namespace vaun
