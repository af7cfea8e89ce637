#pragma once
// The lower half of the preview column: the strip of four key facts, the loudness strip and
// the two collapsible detail sections (file details, recording metadata). Each is built for
// one file; the loudness strip and the details follow the model's analysis, progress and
// switches by themselves, so the preview only builds them anew for another file.
#include "PreviewModel.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QHBoxLayout;

namespace vaun {

class LinearProgress;
class MarkerTimeline;
class PreviewText;

// Duration, sample rate, bit depth, channels.
class FactsStrip : public QWidget {
    Q_OBJECT
public:
    explicit FactsStrip(const AudioMetadata& metadata, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Integrated loudness, true peak, loudness range and sample peak once measured; else the
// progress of the measurement, or the request for it on long files, or nothing.
class LoudnessStrip : public QWidget {
    Q_OBJECT
public:
    // `measure` runs when the user asks for the deferred measurement.
    LoudnessStrip(PreviewModel& model, std::function<void()> measure, QWidget* parent = nullptr);

    // What the strip shows, the first that applies in this order.
    enum class State { result, progress, deferred, none };
    State state() const { return state_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh(bool analysisChanged);
    QWidget* buildResult(const AudioAnalysis& analysis);
    QWidget* buildProgress();
    QWidget* buildDeferred();
    void showProgress(double fraction);

    PreviewModel& model_;
    std::function<void()> measure_;
    QHBoxLayout* layout_;
    QPointer<QWidget> content_;
    QPointer<LinearProgress> bar_;
    QPointer<PreviewText> progressText_;
    State state_ = State::none;
};

// "File details" (always), "Recording metadata" (only with bext or iXML text), "Tags" (only
// with tags) and "Markers" (only with `markers`), their expanded state bound two-way to the
// model's showFileDetails / showRecordingMetadata / showTags / showMarkers. A click on a
// marker's row seeks there through `seek`.
class DetailsSections : public QWidget {
    Q_OBJECT
public:
    DetailsSections(PreviewModel& model, const AudioMetadata& metadata,
                    std::shared_ptr<const MarkerTimeline> markers = {}, std::function<void(double)> seek = {},
                    QWidget* parent = nullptr);
};

} // namespace vaun
