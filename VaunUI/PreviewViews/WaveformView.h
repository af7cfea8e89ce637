#pragma once
// The waveform display: all channels mixed into one row of bars, split into played and
// unplayed audio at the playhead. Playback only moves the split: the bars are drawn once per
// input change into two cached copies, and a tick repaints the strip the playhead crossed.
#include "PreviewViews/SplitCanvas.h"
#include "PreviewViews/WaveformBars.h"
#include "Toolkit/Appearance.h"

#include <QSize>
#include <QWidget>

#include <vector>

namespace vaun {

// Where the playhead of a waveform `width` points wide sits: fraction × width, kept within
// 0…width − 1 so the 1-point line never leaves the canvas.
double waveformPlayheadX(double fraction, double width);

class WaveformView : public QWidget {
    Q_OBJECT

public:
    explicit WaveformView(QWidget* parent = nullptr);

    // Interleaved (min, max) pairs of the whole file.
    void setValues(std::vector<float> values);
    // Playback position, 0…1. Repaints only the strip the playhead crossed.
    void setFraction(double fraction);
    // Drawing gain; 1 draws the samples as they are.
    void setGain(float gain);

    const std::vector<float>& values() const { return unplayed_.values; }
    double fraction() const { return fraction_; }
    float gain() const { return unplayed_.gain; }

    // How many times the bars have been drawn anew; playback ticks leave it unchanged.
    int cacheBuildCount() const { return canvas_.buildCount(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void contentChanged();

    WaveformBars unplayed_;
    WaveformBars played_{{}, 1, true};
    double fraction_ = 0;
    SplitCanvas canvas_;
};

} // namespace vaun
