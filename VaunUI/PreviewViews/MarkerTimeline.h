#pragma once
// A file's markers as the preview places and names them, shared by the display's overlay, the
// Markers list and the keys that step from marker to marker.
#include "inspect/AudioMetadata.h"

#include <QString>

#include <optional>
#include <vector>

namespace vaun {

// A file's markers as the preview places and names them. Frames count at the file's rate; a
// marker starting past the end of the audio has no place but is still listed.
class MarkerTimeline {
public:
    explicit MarkerTimeline(const AudioMetadata& metadata);

    const std::vector<Marker>& markers() const { return markers_; }
    std::size_t size() const { return markers_.size(); }
    const Marker& operator[](std::size_t i) const { return markers_[i]; }
    bool hasTimecode() const { return timecode_.has_value(); }

    // Where marker `i` starts, 0…1; absent past the end of the audio or when its length is unknown.
    std::optional<double> startFraction(std::size_t i) const;
    // Where a span ends, at most 1; its start for a point.
    double endFraction(std::size_t i) const;

    // The start of the first marker after `fraction`, of the last one `slackSeconds` or more
    // before it; absent when there is none with a place.
    std::optional<double> nextFraction(double fraction) const;
    std::optional<double> previousFraction(double fraction, double slackSeconds) const;

    QString timeText(std::size_t i) const;     // "1:02.345"
    QString timecodeText(std::size_t i) const; // "01:00:02:08"; empty without timecode
    QString lengthText(std::size_t i) const;   // "0:04.500"; empty for a point
    // "3 plays" for a loop that is not endless; empty otherwise.
    QString playsText(std::size_t i) const;
    QString toolTip(std::size_t i) const;

    // "1:02.345", "1:02:03.456": to the nearest millisecond.
    static QString clockText(double seconds);
    static QString kindName(Marker::Kind kind);
    // A region or loop with a length: drawn as a span, not a line.
    static bool isSpan(const Marker& marker);

private:
    double seconds(double frames) const { return rate_ > 0 ? frames / rate_ : 0; }

    std::vector<Marker> markers_;
    double totalFrames_ = 0; // 0 when the length or rate is unknown
    double rate_ = 0;
    std::optional<Timecode> timecode_;
};

} // namespace vaun
