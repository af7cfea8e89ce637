#include "PreviewViews/PlayerDisplay.h"

#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/GlassControl.h"
#include "PreviewViews/LoudnessView.h"
#include "PreviewViews/MarkerOverlay.h"
#include "PreviewViews/MeterBank.h"
#include "PreviewViews/PreviewText.h"
#include "PreviewViews/PreviewView.h"
#include "PreviewViews/SpectrogramView.h"
#include "PreviewViews/TimeRuler.h"
#include "PreviewViews/WaveformView.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/SpinningProgress.h"
#include "Toolkit/Typography.h"
#include "WithPlayback.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vaun {
namespace {

constexpr double kLaneLabelWidth = 34;
// Track names ("MKH516 A", "Lav 2") need more room than speaker labels.
constexpr double kLaneNameWidth = 80;

// The small capsule over quiet drawings.
class ZoomNote : public PreviewText {
public:
    explicit ZoomNote(const QString& text)
        : PreviewText(text, systemFont(9, FontWeight::semibold, FontDesign::rounded), Tone::secondary) {
        setContentsMargins(5, 1, 5, 1);
        setMaximumLines(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setObjectName(QStringLiteral("zoomNote"));
        setToolTip(tr("This file is quiet; the drawing is enlarged. Measurements are not affected."));
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            const QRectF bounds(rect());
            QPainterPath capsule;
            capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
            painter.fillPath(capsule, withOpacity(Appearance::of(colorScheme(*this)).windowBackground, 0.8));
        }
        PreviewText::paintEvent(event);
    }
};

// Takes a widget out of the tree now and deletes it later: it may be the sender of what led here.
void retire(QWidget* widget) {
    if (!widget) return;
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

PreviewText* caption(const QString& text) {
    return std::make_unique<PreviewText>(text, systemFont(TextStyle::caption), Tone::secondary).release();
}

QString analysingText(double progress) {
    return PlayerDisplay::tr("Analysing… %1%").arg(qlonglong(progress * 100));
}

} // namespace

PlayerDisplay::PlayerDisplay(PreviewModel& model, QStringList labels, std::function<void()> measure, QWidget* parent,
                             QStringList names)
    : QWidget(parent), model_(model), labels_(std::move(labels)), names_(std::move(names)), measure_(std::move(measure)) {
    auto row = std::make_unique<QHBoxLayout>();
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);
    auto column = std::make_unique<QVBoxLayout>();
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto stack = std::make_unique<QGridLayout>();
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack_ = stack.get();
    column->addLayout(stack.release());
    ruler_ = std::make_unique<TimeRuler>().release();
    ruler_->setAccessibleName(tr("Time"));
    column->addWidget(ruler_);
    row->addLayout(column.release(), 1);

    meters_ = std::make_unique<WithPlayback>(
                  *model.playback(),
                  [this](const PlaybackState& playback) {
                      auto bank = std::make_unique<MeterBank>();
                      bank->setLabels(labels_);
                      bank->setFullNames(names_);
                      bank->setLevels(playback.meterPeak(), playback.meterAverage());
                      return std::unique_ptr<QWidget>(std::move(bank));
                  },
                  [](QWidget& bank, const PlaybackState& playback) {
                      static_cast<MeterBank&>(bank).setLevels(playback.meterPeak(), playback.meterAverage());
                  })
                  .release();
    meters_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row->addWidget(meters_, 0, Qt::AlignTop);
    setLayout(row.release());

    rebuild();
    connect(&model, &PreviewModel::modeChanged, this, &PlayerDisplay::rebuild);
    connect(&model, &PreviewModel::lanesChanged, this, &PlayerDisplay::rebuild);
    connect(&model, &PreviewModel::waveformChanged, this, &PlayerDisplay::rebuild);
    connect(&model, &PreviewModel::analysisChanged, this, [this] {
        const auto mode = model_.mode();
        if (mode == PreviewModel::DisplayMode::spectrum || mode == PreviewModel::DisplayMode::loudness) rebuild();
    });
    connect(&model, &PreviewModel::metadataChanged, this, &PlayerDisplay::updateRuler);
    connect(&model, &PreviewModel::readoutShowsTimecodeChanged, this, &PlayerDisplay::updateRuler);
    connect(&model, &PreviewModel::analysisProgressChanged, this, &PlayerDisplay::analysisStateChanged);
    connect(&model, &PreviewModel::analysisDeferredChanged, this, &PlayerDisplay::analysisStateChanged);
}

PlayerDisplay::Kind PlayerDisplay::kindFor(const PreviewModel& model) {
    switch (model.mode()) {
    case PreviewModel::DisplayMode::waveform: return Kind::waveform;
    case PreviewModel::DisplayMode::channels: return Kind::channels;
    case PreviewModel::DisplayMode::spectrum:
        if (model.analysis() && model.analysis()->spectrogram) return Kind::spectrogram;
        break;
    case PreviewModel::DisplayMode::loudness:
        if (model.analysis() && !model.analysis()->history.momentary.empty()) return Kind::loudness;
        break;
    }
    if (model.analysisProgress()) return Kind::analysing;
    if (model.analysisDeferred()) return Kind::deferred;
    return model.mode() == PreviewModel::DisplayMode::loudness ? Kind::noLoudness : Kind::noSpectrum;
}

double PlayerDisplay::timeInset() const {
    switch (kind_) {
    case Kind::waveform: return 0;
    case Kind::channels: return names_.isEmpty() ? kLaneLabelWidth : kLaneNameWidth;
    case Kind::loudness: return LoudnessLayout::labelColumn;
    default: return SpectrogramLayout::labelColumn;
    }
}

void PlayerDisplay::updateRuler() {
    const auto& metadata = model_.metadata();
    ruler_->setDuration(metadata ? metadata->durationSeconds.value_or(0) : 0);
    ruler_->setTimecode(metadata && model_.readoutShowsTimecode() ? metadata->timecode : std::nullopt);
    ruler_->setInset(timeInset());
}

void PlayerDisplay::analysisStateChanged() {
    if (kindFor(model_) != kind_) return rebuild();
    if (kind_ == Kind::analysing && progressBar_ && progressText_) {
        const double p = model_.analysisProgress().value_or(0);
        progressBar_->setValue(p);
        progressText_->setFullText(analysingText(std::clamp(p, 0.0, 1.0)));
    }
}

void PlayerDisplay::rebuild() {
    retire(display_);
    retire(zoomNote_);
    zoomNote_ = nullptr;
    progressBar_ = nullptr;
    progressText_ = nullptr;
    kind_ = kindFor(model_);
    const double height = PreviewView::displayHeight(model_.mode(), model_.lanes().size());
    meters_->setFixedHeight(int(std::lround(height)));

    const bool drawing =
        kind_ == Kind::waveform || kind_ == Kind::channels || kind_ == Kind::spectrogram || kind_ == Kind::loudness;
    display_ = drawing ? buildDrawing() : buildPlaceholder();
    display_->setFixedHeight(int(std::lround(kind_ == Kind::channels ? height : 132)));
    stack_->addWidget(display_, 0, 0);
    rebuildOverlay();
    updateRuler();

    if (kind_ == Kind::waveform || kind_ == Kind::channels) {
        if (const auto note = PreviewView::zoomNote(PreviewView::viewGain(model_.waveform()))) {
            zoomNote_ = std::make_unique<ZoomNote>(*note).release(); // the layout below owns it
            stack_->addWidget(zoomNote_, 0, 0, Qt::AlignTop | Qt::AlignRight);
            zoomNote_->raise();
        }
    }
}

void PlayerDisplay::setMarkers(std::shared_ptr<const MarkerTimeline> markers, std::function<void(double)> seek) {
    markers_ = std::move(markers);
    seek_ = std::move(seek);
    rebuildOverlay();
    if (zoomNote_) zoomNote_->raise();
}

void PlayerDisplay::rebuildOverlay() {
    retire(overlay_);
    overlay_ = nullptr;
    if (!markers_ || markers_->size() == 0 || !display_) return;
    // Each drawing's own playhead placement, so a marker sits where the playhead would.
    MarkerOverlay::Placement placement;
    switch (kind_) {
    case Kind::waveform: placement = waveformPlayheadX; break;
    case Kind::channels:
        placement = [labelWidth = names_.isEmpty() ? kLaneLabelWidth : kLaneNameWidth](double f, double w) {
            return lanePlayheadX(f, w, labelWidth);
        };
        break;
    case Kind::spectrogram:
    case Kind::loudness:
        placement = [](double f, double w) {
            return SpectrogramLayout::labelColumn + playheadOffset(w - SpectrogramLayout::labelColumn, f);
        };
        break;
    default: return;
    }
    auto overlay = std::make_unique<MarkerOverlay>(markers_, std::move(placement), seek_);
    overlay->setFixedHeight(display_->minimumHeight());
    overlay->setUnderlay(static_cast<WithPlayback*>(display_.data())->contentWidget());
    overlay_ = overlay.release(); // the layout below owns it
    stack_->addWidget(overlay_, 0, 0);
    overlay_->raise();
}

QWidget* PlayerDisplay::buildDrawing() {
    PlaybackState& playback = *model_.playback();
    const float gain = PreviewView::viewGain(model_.waveform());
    std::unique_ptr<WithPlayback> wrapper;
    switch (kind_) {
    case Kind::waveform: {
        std::vector<float> values = model_.waveform() ? model_.waveform()->values : std::vector<float>{};
        wrapper = std::make_unique<WithPlayback>(
            playback,
            [values = std::move(values), gain](const PlaybackState& state) {
                auto view = std::make_unique<WaveformView>();
                view->setValues(values);
                view->setGain(gain);
                view->setFraction(state.fraction());
                view->setAccessibleName(PlayerDisplay::tr("Audio waveform"));
                return std::unique_ptr<QWidget>(std::move(view));
            },
            [](QWidget& view, const PlaybackState& state) { static_cast<WaveformView&>(view).setFraction(state.fraction()); });
        break;
    }
    case Kind::channels:
        wrapper = std::make_unique<WithPlayback>(
            playback,
            [lanes = model_.lanes(), labels = names_.isEmpty() ? labels_ : names_, names = names_,
             gain](const PlaybackState& state) {
                auto view = std::make_unique<ChannelLanesView>();
                view->setLanes(lanes);
                view->setLabels(labels);
                view->setFullNames(names);
                view->setLabelWidth(names.isEmpty() ? kLaneLabelWidth : kLaneNameWidth);
                view->setGain(gain);
                view->setFraction(state.fraction());
                view->setAccessibleName(PlayerDisplay::tr("Waveform per channel"));
                return std::unique_ptr<QWidget>(std::move(view));
            },
            [](QWidget& view, const PlaybackState& state) {
                static_cast<ChannelLanesView&>(view).setFraction(state.fraction());
            });
        break;
    case Kind::loudness:
        wrapper = std::make_unique<WithPlayback>(
            playback,
            [history = model_.analysis()->history, integrated = model_.analysis()->integratedLUFS,
             duration = model_.metadata() ? model_.metadata()->durationSeconds : std::nullopt,
             timecode = model_.metadata() ? model_.metadata()->timecode : std::nullopt](const PlaybackState& state) {
                auto view = std::make_unique<LoudnessView>();
                view->setLoudness(history, integrated, duration);
                view->setTimecode(timecode);
                view->setFraction(state.fraction());
                view->setAccessibleName(PlayerDisplay::tr("Loudness over time"));
                return std::unique_ptr<QWidget>(std::move(view));
            },
            [](QWidget& view, const PlaybackState& state) { static_cast<LoudnessView&>(view).setFraction(state.fraction()); });
        break;
    default:
        wrapper = std::make_unique<WithPlayback>(
            playback,
            [spectrogram = *model_.analysis()->spectrogram](const PlaybackState& state) {
                auto view = std::make_unique<SpectrogramView>();
                view->setSpectrogram(spectrogram);
                view->setFraction(state.fraction());
                view->setAccessibleName(PlayerDisplay::tr("Spectrogram"));
                return std::unique_ptr<QWidget>(std::move(view));
            },
            [](QWidget& view, const PlaybackState& state) {
                static_cast<SpectrogramView&>(view).setFraction(state.fraction());
            });
        break;
    }
    wrapper->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return wrapper.release();
}

QWidget* PlayerDisplay::buildPlaceholder() {
    auto box = std::make_unique<QWidget>();
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto column = std::make_unique<QVBoxLayout>();
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addStretch(1);
    if (kind_ == Kind::analysing) {
        const double p = std::clamp(model_.analysisProgress().value_or(0), 0.0, 1.0);
        auto bar = std::make_unique<LinearProgress>();
        bar->setFixedWidth(160);
        bar->setValue(p);
        progressBar_ = bar.get();
        column->addWidget(bar.release(), 0, Qt::AlignHCenter);
        progressText_ = caption(analysingText(p));
        column->addWidget(progressText_, 0, Qt::AlignHCenter);
    } else if (kind_ == Kind::deferred) {
        auto analyse = std::make_unique<GlassControl>(tr("Analyse this file"), false);
        connect(analyse.get(), &GlassControl::clicked, this, [this] {
            if (measure_) measure_();
        });
        column->addWidget(analyse.release(), 0, Qt::AlignHCenter);
        column->addWidget(caption(tr("Long file — analysis runs only when you ask.")), 0, Qt::AlignHCenter);
    } else {
        column->addWidget(caption(kind_ == Kind::noLoudness ? tr("No loudness for this file.")
                                                            : tr("No spectrum for this file.")),
                          0, Qt::AlignHCenter);
    }
    column->addStretch(1);
    box->setLayout(column.release());
    return box.release();
}

} // namespace vaun
