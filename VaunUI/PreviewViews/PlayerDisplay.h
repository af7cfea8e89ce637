#pragma once
// The display row of the player card: the drawing of the current mode (waveform, channel
// lanes, spectrogram, loudness over time, or the analysis's progress, request or absence), the
// zoom note over quiet drawings, the file's markers over the drawings, the time ruler under
// them, and the level meters beside it at the drawing's height. The drawings and meters follow playback in place; a change of mode, data or
// analysis state rebuilds the drawing.
#include "PreviewModel.h"
#include "PreviewViews/MarkerOverlay.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QGridLayout;

namespace vaun {

class LinearProgress;
class PreviewText;
class TimeRuler;
class WithPlayback;

class PlayerDisplay : public QWidget {
    Q_OBJECT
public:
    enum class Kind { waveform, channels, spectrogram, loudness, analysing, deferred, noSpectrum, noLoudness };

    // `labels`: one per channel, for the lanes and the meters; `names` the whole names they
    // may shorten, shown as tooltips (empty: the labels are whole).
    PlayerDisplay(PreviewModel& model, QStringList labels, std::function<void()> measure, QWidget* parent = nullptr,
                  QStringList names = {});

    // Draws `markers` over the waveform, lanes and spectrogram; a click on one seeks there.
    void setMarkers(std::shared_ptr<const MarkerTimeline> markers, std::function<void(double)> seek);

    static Kind kindFor(const PreviewModel& model);
    Kind kind() const { return kind_; }

    // The current drawing (inside its playback wrapper where it follows playback).
    QWidget* display() const { return display_; }
    // The zoom note over the drawing; null when none is shown.
    PreviewText* zoomNote() const { return zoomNote_; }
    // The markers over the drawing; null when none are drawn.
    MarkerOverlay* markerOverlay() const { return overlay_; }
    TimeRuler& ruler() const { return *ruler_; }
    WithPlayback& meters() const { return *meters_; }

private:
    void rebuild();
    // Progress updates in place; a change of state rebuilds.
    void analysisStateChanged();
    QWidget* buildDrawing();
    QWidget* buildPlaceholder();
    void rebuildOverlay();
    void updateRuler();
    // Where the drawing's time axis starts: right of its label column.
    double timeInset() const;

    PreviewModel& model_;
    QStringList labels_;
    QStringList names_;
    std::function<void()> measure_;
    Kind kind_ = Kind::waveform;
    QGridLayout* stack_;
    QPointer<QWidget> display_;
    QPointer<PreviewText> zoomNote_;
    std::shared_ptr<const MarkerTimeline> markers_;
    std::function<void(double)> seek_;
    QPointer<MarkerOverlay> overlay_;
    QPointer<LinearProgress> progressBar_;
    QPointer<PreviewText> progressText_;
    TimeRuler* ruler_;
    WithPlayback* meters_;
};

} // namespace vaun
