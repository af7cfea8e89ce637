#pragma once
// The whole preview of one file: a welcome, loading or error screen while nothing is loaded;
// once the file's metadata is known, one scrolling column (at most 900 points wide, centred)
// with the header, the player card (mode picker, time, display, meters, scrubber), the
// transport row, the route note, the facts, loudness and detail sections and the warnings.
// It holds no state of its own: it reads the model and reports the user's intent through the
// actions its owner supplies. Only the parts inside WithPlayback follow the playback state.
//
// Keys, window-wide whatever has focus: Space plays or pauses, Home stops and returns to the
// beginning, Left and Right seek by 5 s, [ and ] move to the previous and next marker, T
// switches the time readout between elapsed time and timecode.
#include "PreviewModel.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace vaun {

class PreviewView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        // Open another file; empty where files cannot be opened (every control using it is left out).
        std::function<void()> openFile;
        std::function<void()> play;    // play or pause
        std::function<void()> stop;    // stop and return to the beginning
        std::function<void(double)> seek; // to a fraction 0…1
        std::function<void()> measure; // the deferred analysis
    };

    PreviewView(PreviewModel& model, Actions actions, QWidget* parent = nullptr);
    ~PreviewView() override;

    PreviewModel& model() const { return model_; }

    // The display's height in points: 132, or in channels mode min(264 / n, 22) per lane and
    // at least 132 in all.
    static double displayHeight(PreviewModel::DisplayMode mode, std::size_t laneCount);
    // The drawing gain for quiet files: min(0.9 / peak, 31.6) when 0 < peak < 0.25, else 1.
    static float viewGain(const std::optional<WaveformGenerator::Buckets>& waveform);
    // "View +19 dB"; absent while the gain is at most 1.
    static std::optional<QString> zoomNote(float gain);

private:
    class Impl;
    PreviewModel& model_;
    std::unique_ptr<Impl> impl_;
};

} // namespace vaun
