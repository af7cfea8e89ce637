#include "PreviewViews/PlayerCard.h"

#include "PreviewViews/GlassControl.h"
#include "PreviewViews/PlayerDisplay.h"
#include "PreviewViews/PreviewFormat.h"
#include "PreviewViews/PreviewText.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/SegmentedPicker.h"
#include "Toolkit/Slider.h"
#include "Toolkit/Typography.h"
#include "WithPlayback.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <memory>

namespace vaun {
namespace {

int modeIndex(PreviewModel::DisplayMode mode) {
    for (std::size_t i = 0; i < PreviewModel::allDisplayModes.size(); ++i)
        if (PreviewModel::allDisplayModes[i] == mode) return int(i);
    return 0;
}

bool stopEnabled(const PreviewModel& model, const PlaybackState& playback) {
    return model.isPlaying() || playback.fraction() != 0;
}

} // namespace

PlayerCard::PlayerCard(QWidget* parent) : QWidget(parent) {}

void PlayerCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(plate, withOpacity(Appearance::of(colorScheme(*this)).primaryLabel, kFillOpacity));
}

void PlayerCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

QString AudioPlayer::timeText(std::optional<double> durationSeconds, double fraction) {
    return format::time(durationSeconds.value_or(0) * fraction) + QStringLiteral(" / ") + format::time(durationSeconds);
}

QString AudioPlayer::routeText(const std::optional<QString>& route) {
    return route ? *route : tr("Plays spatially on headphones, or direct to an interface with enough outputs");
}

QString AudioPlayer::routeSymbol(const QString& routeText) {
    return routeText.startsWith(QStringLiteral("Spatial")) ? QStringLiteral("headphones")
                                                           : QStringLiteral("hifispeaker.2");
}

AudioPlayer::AudioPlayer(PreviewModel& model, const AudioMetadata& metadata, const PreviewView::Actions& actions,
                         std::shared_ptr<const MarkerTimeline> markers, QWidget* parent)
    : QWidget(parent), model_(model) {
    PlaybackState& playback = *model.playback();
    const std::optional<double> duration = metadata.durationSeconds;

    // --- the card ---
    auto card = std::make_unique<PlayerCard>();
    auto cardColumn = std::make_unique<QVBoxLayout>();
    cardColumn->setContentsMargins(20, 20, 20, 20);
    cardColumn->setSpacing(14);

    auto modeRow = std::make_unique<QHBoxLayout>();
    modeRow->setContentsMargins(0, 0, 0, 0);
    picker_ = std::make_unique<SegmentedPicker>(QStringList{tr("Waveform"), tr("Channels"), tr("Spectrum"), tr("Loudness")}).release();
    picker_->setAccessibleName(tr("View"));
    picker_->setToolTip(tr("Waveform: all channels · Channels: one lane per speaker · Spectrum: frequency over time"
                           " · Loudness: momentary and short-term loudness over time"));
    picker_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    picker_->setCurrentIndex(modeIndex(model.mode()));
    picker_->setSegmentEnabled(1, model.lanes().size() >= 2);
    connect(picker_, &SegmentedPicker::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < int(PreviewModel::allDisplayModes.size()))
            model_.setMode(PreviewModel::allDisplayModes[std::size_t(index)]);
    });
    connect(&model, &PreviewModel::modeChanged, this, [this] { picker_->setCurrentIndex(modeIndex(model_.mode())); });
    connect(&model, &PreviewModel::lanesChanged, this,
            [this] { picker_->setSegmentEnabled(1, model_.lanes().size() >= 2); });
    modeRow->addWidget(picker_, 0, Qt::AlignVCenter);
    modeRow->addStretch(1);
    // Elapsed time, or the timecode at the playhead; a click switches between them.
    const std::optional<Timecode> timecode = metadata.timecode;
    const auto readout = [this, duration, timecode](const PlaybackState& state) {
        if (timecode && model_.readoutShowsTimecode())
            return QString::fromStdString(timecode->text(duration.value_or(0) * state.fraction()));
        return timeText(duration, state.fraction());
    };
    time_ = std::make_unique<WithPlayback>(
                playback,
                [this, readout, timecode](const PlaybackState& state) {
                    auto text = std::make_unique<ReadoutText>(readout(state),
                                                              systemFont(12, FontWeight::medium, FontDesign::monospaced),
                                                              Tone::secondary);
                    if (timecode) {
                        text->setToolTip(tr("Elapsed time or timecode at the playhead: click or press T to switch"));
                        text->setCursor(Qt::PointingHandCursor);
                        QObject::connect(text.get(), &ReadoutText::clicked, text.get(), [this] {
                            model_.setReadoutShowsTimecode(!model_.readoutShowsTimecode());
                        });
                    }
                    return std::unique_ptr<QWidget>(std::move(text));
                },
                [readout](QWidget& text, const PlaybackState& state) {
                    static_cast<ReadoutText&>(text).setText(readout(state));
                })
                .release();
    connect(&model, &PreviewModel::readoutShowsTimecodeChanged, this, [this, readout] {
        if (auto* text = static_cast<ReadoutText*>(time_->contentWidget())) text->setText(readout(*model_.playback()));
    });
    modeRow->addWidget(time_, 0, Qt::AlignVCenter);
    cardColumn->addLayout(modeRow.release());

    // Track and object names, which meters and lanes may shorten, stay whole in their tooltips.
    display_ = std::make_unique<PlayerDisplay>(model, format::meterLabels(metadata), actions.measure, nullptr,
                                               metadata.tracks.empty() && metadata.admTrackLabels.empty() ? QStringList{} : format::channelNames(metadata))
                   .release();
    if (markers) display_->setMarkers(std::move(markers), actions.seek);
    cardColumn->addWidget(display_);

    scrubber_ = std::make_unique<WithPlayback>(
                    playback,
                    [duration, seek = actions.seek](const PlaybackState& state) {
                        auto slider = std::make_unique<Slider>();
                        slider->setAccessibleName(tr("Playback position"));
                        slider->setValue(state.fraction());
                        slider->setAccessibleValueText(format::time(duration.value_or(0) * state.fraction()));
                        QObject::connect(slider.get(), &Slider::valueChanged, slider.get(), [seek](double value) {
                            if (seek) seek(value);
                        });
                        return std::unique_ptr<QWidget>(std::move(slider));
                    },
                    [duration](QWidget& widget, const PlaybackState& state) {
                        auto& slider = static_cast<Slider&>(widget);
                        // The knob stays under the pointer while the user drags it.
                        if (!slider.isDragging()) slider.setValue(state.fraction());
                        slider.setAccessibleValueText(format::time(duration.value_or(0) * state.fraction()));
                    })
                    .release();
    cardColumn->addWidget(scrubber_);
    card->setLayout(cardColumn.release());

    // --- transport ---
    auto transport = std::make_unique<QHBoxLayout>();
    transport->setContentsMargins(0, 0, 0, 0);
    transport->setSpacing(10);
    play_ = std::make_unique<GlassControl>(true).release();
    play_->setFont(systemFont(13, FontWeight::semibold));
    play_->setFixedSize(78, 28);
    connect(play_, &GlassControl::clicked, this, [play = actions.play] {
        if (play) play();
    });
    transport->addWidget(play_, 0, Qt::AlignVCenter);
    stop_ = std::make_unique<WithPlayback>(
                playback,
                [this, stop = actions.stop](const PlaybackState& state) {
                    auto button = std::make_unique<GlassControl>(false);
                    button->setSymbol(QStringLiteral("stop.fill"));
                    button->setFont(systemFont(12));
                    button->setFixedSize(28, 28);
                    button->setToolTip(tr("Stop and return to the beginning"));
                    button->setAccessibleName(tr("Stop playback"));
                    button->setEnabled(stopEnabled(model_, state));
                    QObject::connect(button.get(), &GlassControl::clicked, button.get(), [stop] {
                        if (stop) stop();
                    });
                    return std::unique_ptr<QWidget>(std::move(button));
                },
                [this](QWidget& button, const PlaybackState& state) { button.setEnabled(stopEnabled(model_, state)); })
                .release();
    stop_->setFixedSize(28, 28);
    transport->addWidget(stop_, 0, Qt::AlignVCenter);
    playingChanged();
    connect(&model, &PreviewModel::isPlayingChanged, this, &AudioPlayer::playingChanged);

    // --- the player: card, transport, route ---
    auto column = std::make_unique<QVBoxLayout>();
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    column->addWidget(card.release());
    auto transportBox = std::make_unique<QWidget>();
    transportBox->setLayout(transport.release());
    column->addWidget(transportBox.release(), 0, Qt::AlignHCenter);
    if (metadata.channels && *metadata.channels >= 3) {
        const QString text = routeText(model.playbackRoute());
        route_ = std::make_unique<SymbolText>(routeSymbol(text), text, systemFont(11), Tone::secondary).release();
        route_->setObjectName(QStringLiteral("routeNote"));
        connect(&model, &PreviewModel::playbackRouteChanged, this, [this] {
            const QString text = routeText(model_.playbackRoute());
            route_->label().setFullText(text);
            route_->image().setSymbol(routeSymbol(text));
        });
        column->addWidget(route_, 0, Qt::AlignHCenter);
    }
    setLayout(column.release());
}

void AudioPlayer::playingChanged() {
    const bool playing = model_.isPlaying();
    play_->setText(playing ? tr("Pause") : tr("Play"));
    play_->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"));
    play_->setToolTip(playing ? tr("Pause playback") : tr("Play audio"));
    if (QWidget* button = stop_->contentWidget()) button->setEnabled(stopEnabled(model_, *model_.playback()));
}

} // namespace vaun
