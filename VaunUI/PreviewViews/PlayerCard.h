#pragma once
// The player of the loaded preview: the card (mode picker and time, display and meters,
// scrubber), the transport row (play/pause, stop) and, for multichannel files, the note on
// how they play. The position-driven parts sit in WithPlayback wrappers that update in place,
// so a playback tick touches nothing else.
#include "PreviewViews/PreviewView.h"

#include <QWidget>

#include <memory>

namespace vaun {

class GlassControl;
class MarkerTimeline;
class PlayerDisplay;
class SegmentedPicker;
class SymbolText;
class WithPlayback;

// The rounded plate behind the card's content.
class PlayerCard : public QWidget {
    Q_OBJECT
public:
    static constexpr double kCornerRadius = 18;
    static constexpr double kFillOpacity = 0.035;

    explicit PlayerCard(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

class AudioPlayer : public QWidget {
    Q_OBJECT
public:
    // `markers`: the file's markers, drawn over the display (none: nothing drawn).
    AudioPlayer(PreviewModel& model, const AudioMetadata& metadata, const PreviewView::Actions& actions,
                std::shared_ptr<const MarkerTimeline> markers = {}, QWidget* parent = nullptr);

    SegmentedPicker& modePicker() const { return *picker_; }
    WithPlayback& timeReadout() const { return *time_; }
    PlayerDisplay& display() const { return *display_; }
    WithPlayback& scrubber() const { return *scrubber_; }
    GlassControl& playButton() const { return *play_; }
    WithPlayback& stopButton() const { return *stop_; }
    // Null for files of fewer than 3 channels.
    SymbolText* routeNote() const { return route_; }

    // "0:42 / 3:07": the elapsed part from the position, "—" for an unknown total.
    static QString timeText(std::optional<double> durationSeconds, double fraction);
    // The route when one is known, else what a multichannel file may do.
    static QString routeText(const std::optional<QString>& route);
    static QString routeSymbol(const QString& routeText);

private:
    void playingChanged();

    PreviewModel& model_;
    SegmentedPicker* picker_;
    WithPlayback* time_;
    PlayerDisplay* display_;
    WithPlayback* scrubber_;
    GlassControl* play_;
    WithPlayback* stop_;
    SymbolText* route_ = nullptr;
};

} // namespace vaun
