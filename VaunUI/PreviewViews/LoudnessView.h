#pragma once
// Loudness over the whole file: short-term loudness as a line, momentary as a fainter one, the
// integrated level as a rule with its value, the loudness range as a band, true-peak overs as
// marks along the top, and a LUFS scale on the left. Split into played and unplayed copies at
// the playhead like the waveform; a tick repaints only the strip the playhead crossed.
#include "PreviewViews/SpectrogramView.h"
#include "PreviewViews/SplitCanvas.h"
#include "analysis/AudioAnalysis.h"
#include "analysis/LoudnessMeter.h"
#include "inspect/Timecode.h"

#include <QPainterPath>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

namespace vaun {

// Fixed layout of the view, in points; the label column matches the spectrogram's so the two
// modes share a time axis.
struct LoudnessLayout {
    static constexpr double labelColumn = SpectrogramLayout::labelColumn;
    static constexpr double labelCentreX = 15;
    static constexpr double cornerRadius = 4;
    static constexpr double overMarkHeight = 4;
};

// The LUFS span the plot shows: −60 … 0, or tighter around the material.
struct LoudnessScale {
    double top = 0;
    double bottom = -60;
    double step = 10; // between labelled grid lines

    // From the top of a plot `height` points high; values outside the span fall outside it.
    double y(double lufs, double height) const;
    // The multiples of `step` from bottom to top.
    std::vector<double> ticks() const;
    bool operator==(const LoudnessScale&) const = default;
};

LoudnessScale loudnessScale(const LoudnessHistory& history, std::optional<double> integratedLUFS);

// The loudness range band of a history: the 10th and 95th percentiles of its gated short-term
// values.
std::optional<LoudnessRangeBounds> loudnessRangeBounds(const LoudnessHistory& history);

class LoudnessView : public QWidget {
    Q_OBJECT

public:
    explicit LoudnessView(QWidget* parent = nullptr);

    // The curves and range of `history` and the integrated level, over a file of
    // `durationSeconds` (absent: as long as the curves).
    void setLoudness(const LoudnessHistory& history, std::optional<double> integratedLUFS,
                     std::optional<double> durationSeconds);
    // Hover texts read the timecode at the pointer when there is one.
    void setTimecode(std::optional<Timecode> timecode) { timecode_ = std::move(timecode); }
    // Playback position, 0…1. Repaints only the strip the playhead crossed.
    void setFraction(double fraction);

    double fraction() const { return fraction_; }
    const LoudnessScale& scale() const { return scale_; }
    const std::optional<LoudnessRangeBounds>& rangeBounds() const { return bounds_; }
    std::optional<double> integrated() const { return integrated_; }
    // Where a loudness sits, in points from the top of the view.
    double yOf(double lufs) const { return scale_.y(lufs, height()); }
    // "1:23.4 · 01:00:23:10", then the momentary and short-term loudness, at `x` points.
    QString hoverText(double x) const;
    // What the plot says when it has no curve to draw: a file too short for a 400 ms block, or
    // one that stays below the gate; absent when there is a curve.
    std::optional<QString> emptyNote() const;
    int cacheBuildCount() const { return canvas_.buildCount(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    double plotWidth() const { return width() - LoudnessLayout::labelColumn; }
    double playheadX(double fraction) const;
    void draw(QPainter& painter, QSizeF size, ColorScheme scheme, bool played);

    LoudnessHistory history_;
    std::optional<double> integrated_;
    std::optional<LoudnessRangeBounds> bounds_;
    LoudnessScale scale_;
    double duration_ = 0;
    std::optional<Timecode> timecode_;
    double fraction_ = 0;
    // The curves as paths at the size they were made for: both copies draw the same ones.
    struct Curves {
        QSizeF size;
        QPainterPath momentary, shortTerm;
    };
    std::optional<Curves> curves_;
    SplitCanvas canvas_;
};

} // namespace vaun
