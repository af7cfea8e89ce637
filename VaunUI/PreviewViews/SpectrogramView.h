#pragma once
// The spectrogram of a file as a false-colour picture: time left to right, frequency bottom to
// top on a logarithmic axis labelled at 100 Hz, 1 kHz and 10 kHz, with the playback position as
// a white line.
#include "analysis/AudioAnalysis.h"

#include <QImage>
#include <QRgb>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

namespace vaun {

// Byte value → colour, from near-black violet through magenta and orange to pale yellow.
using SpectrogramColorTable = std::array<QRgb, 256>;
SpectrogramColorTable spectrogramColorTable();

// True when the record can be drawn: cells present for every column and row, and a frequency
// range that a logarithmic axis can span.
bool isDrawable(const Spectrogram& spectrogram);

// One pixel per cell, `columns` wide and `rows` high, opaque, row 0 on the bottom line.
// A null image when the record is not drawable.
QImage spectrogramBitmap(const Spectrogram& spectrogram);

// Fixed layout of the view, in points.
struct SpectrogramLayout {
    static constexpr double labelColumn = 34;  // frequency labels left of the plot
    static constexpr double labelCentreX = 15;
    static constexpr double cornerRadius = 4;
    static constexpr double gridLineHeight = 0.5;
    static constexpr double playheadWidth = 1;
};

struct FrequencyTick {
    QString text; // "100", "1k", "10k"
    double y;     // from the top of a plot `height` points high
};

// The ticks at 100, 1000 and 10000 Hz that lie below the record's top frequency.
std::vector<FrequencyTick> frequencyTicks(const Spectrogram& spectrogram, double height);

// Left edge of the playhead from the left of the plot: never outside its last point.
double playheadOffset(double plotWidth, double fraction);

class SpectrogramView : public QWidget {
    Q_OBJECT

public:
    explicit SpectrogramView(QWidget* parent = nullptr);

    // Builds the picture when the contents differ from those shown; equal records cost nothing.
    void setSpectrogram(const Spectrogram& spectrogram);
    // Repaints only the strip the playhead leaves and enters.
    void setFraction(double fraction);

    const Spectrogram& spectrogram() const { return spectrogram_; }
    double fraction() const { return fraction_; }
    // One pixel per cell; null while nothing drawable is set.
    const QImage& bitmap() const { return bitmap_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double plotWidth() const;
    QRect playheadStrip(double fraction) const;
    // Labels, grid and the stretched, rounded picture: everything but the playhead.
    QImage renderBackdrop(qreal devicePixelRatio) const;

    Spectrogram spectrogram_;
    double fraction_ = 0;
    QImage bitmap_;
    QImage backdrop_; // cached at the device pixel ratio it was painted for
};

} // namespace vaun
