#include "PreviewViews/MarkerTimeline.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

// After a jump the playhead sits on the marker: stepping on must not find it again.
constexpr double kNextSlackSeconds = 0.001;

QString text(const std::optional<std::string>& value) {
    return value ? QString::fromStdString(*value) : QString();
}

} // namespace

bool MarkerTimeline::isSpan(const Marker& marker) {
    return (marker.kind == Marker::Kind::region || marker.kind == Marker::Kind::loop) && marker.length;
}

MarkerTimeline::MarkerTimeline(const AudioMetadata& metadata)
    : markers_(metadata.markers), rate_(metadata.sampleRateHz.value_or(0)), timecode_(metadata.timecode) {
    if (!std::isfinite(rate_) || rate_ <= 0) rate_ = 0;
    const double duration = metadata.durationSeconds.value_or(0);
    if (std::isfinite(duration) && duration > 0) totalFrames_ = duration * rate_;
}

std::optional<double> MarkerTimeline::startFraction(std::size_t i) const {
    const double start = double(std::max<std::int64_t>(markers_[i].start, 0));
    if (totalFrames_ <= 0 || start > totalFrames_) return std::nullopt;
    return start / totalFrames_;
}

double MarkerTimeline::endFraction(std::size_t i) const {
    const double start = startFraction(i).value_or(1);
    if (!isSpan(markers_[i]) || totalFrames_ <= 0) return start;
    return std::clamp(double(markers_[i].start + *markers_[i].length) / totalFrames_, start, 1.0);
}

std::optional<double> MarkerTimeline::nextFraction(double fraction) const {
    if (totalFrames_ <= 0 || !std::isfinite(fraction)) return std::nullopt;
    const double after = fraction * totalFrames_ + kNextSlackSeconds * rate_;
    const auto it = std::upper_bound(markers_.begin(), markers_.end(), after,
                                     [](double frame, const Marker& m) { return frame < double(m.start); });
    if (it == markers_.end()) return std::nullopt;
    return startFraction(std::size_t(it - markers_.begin()));
}

std::optional<double> MarkerTimeline::previousFraction(double fraction, double slackSeconds) const {
    if (totalFrames_ <= 0 || !std::isfinite(fraction)) return std::nullopt;
    const double before = fraction * totalFrames_ - slackSeconds * rate_;
    const auto it = std::lower_bound(markers_.begin(), markers_.end(), before,
                                     [](const Marker& m, double frame) { return double(m.start) < frame; });
    if (it == markers_.begin()) return std::nullopt;
    return startFraction(std::size_t(it - markers_.begin()) - 1);
}

QString MarkerTimeline::clockText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const long long ms = std::llround(seconds * 1000);
    const long long h = ms / 3'600'000, m = ms / 60'000 % 60, s = ms / 1000 % 60, rest = ms % 1000;
    if (h > 0) return QString::asprintf("%lld:%02lld:%02lld.%03lld", h, m, s, rest);
    return QString::asprintf("%lld:%02lld.%03lld", m, s, rest);
}

QString MarkerTimeline::kindName(Marker::Kind kind) {
    switch (kind) {
    case Marker::Kind::marker: return QCoreApplication::translate("MarkerTimeline", "Marker");
    case Marker::Kind::region: return QCoreApplication::translate("MarkerTimeline", "Region");
    case Marker::Kind::loop: return QCoreApplication::translate("MarkerTimeline", "Loop");
    case Marker::Kind::chapter: return QCoreApplication::translate("MarkerTimeline", "Chapter");
    }
    return {};
}

QString MarkerTimeline::timeText(std::size_t i) const { return clockText(seconds(double(markers_[i].start))); }

QString MarkerTimeline::timecodeText(std::size_t i) const {
    if (!timecode_) return {};
    return QString::fromStdString(timecode_->text(seconds(double(std::max<std::int64_t>(markers_[i].start, 0)))));
}

QString MarkerTimeline::lengthText(std::size_t i) const {
    if (!markers_[i].length) return {};
    return clockText(seconds(double(*markers_[i].length)));
}

QString MarkerTimeline::playsText(std::size_t i) const {
    const auto& count = markers_[i].playCount;
    if (markers_[i].kind != Marker::Kind::loop || !count || *count == 0) return {};
    if (*count == 1) return QCoreApplication::translate("MarkerTimeline", "1 play");
    return QCoreApplication::translate("MarkerTimeline", "%1 plays").arg(*count);
}

QString MarkerTimeline::toolTip(std::size_t i) const {
    const Marker& m = markers_[i];
    QStringList lines;
    if (const QString label = text(m.label); !label.isEmpty()) lines << label;
    if (const QString note = text(m.note); !note.isEmpty()) lines << note;
    QString where = kindName(m.kind) + u' ' + timeText(i);
    if (hasTimecode()) where += QStringLiteral(" · ") + timecodeText(i);
    if (m.length) where += QStringLiteral(" · ") + lengthText(i);
    lines << where;
    return lines.join(u'\n');
}

// --- the overlay's geometry at one width -------------------------------------------------------

// Positions of the drawn markers at one width, in marker order (so in x order), with the room
// each label has; labels are elided only once they are painted or hit.

} // namespace vaun
