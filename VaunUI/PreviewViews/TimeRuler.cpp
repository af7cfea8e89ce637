#include "PreviewViews/TimeRuler.h"

#include "PreviewViews/PreviewFormat.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace vaun {
namespace {

constexpr std::array<double, 21> kSteps{0.1, 0.2, 0.5, 1,    2,    5,    10,    15,    30,    60,   120,
                                        300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
constexpr double kCharacterWidth = 5.5; // a digit of the ruler's font, with room to spare
constexpr double kGap = 14;

// The smallest step whose labels, `characters` wide, stay apart at `width` points for the file.
double stepFor(double duration, double width, double characters, double smallest) {
    const double spacing = characters * kCharacterWidth + kGap;
    for (double step : kSteps)
        if (step >= smallest && width * step / duration >= spacing) return step;
    double step = kSteps.back();
    while (width * step / duration < spacing) step *= 2;
    return step;
}

// The frames of timecode counted since midnight, at its nominal rate: what its text names.
struct TimecodeFrames {
    std::int64_t fps;
    std::int64_t drop; // frame numbers left out at each minute but every tenth

    std::int64_t named(std::int64_t real) const {
        if (drop == 0) return real;
        const std::int64_t perTen = fps * 600 - 9 * drop, perMinute = fps * 60 - drop;
        const std::int64_t rest = real % perTen;
        return real + 9 * drop * (real / perTen) + (rest > drop ? drop * ((rest - drop) / perMinute) : 0);
    }
    // The real frame that carries the first name at or after `name`.
    std::int64_t real(std::int64_t name) const {
        if (drop == 0) return name;
        const std::int64_t minute = name / (fps * 60);
        if (minute % 10 != 0) name = std::max(name, minute * fps * 60 + drop);
        return name - drop * (minute - minute / 10);
    }
};

std::vector<RulerTick> timecodeTicks(double duration, double width, const Timecode& timecode) {
    std::vector<RulerTick> ticks;
    const double num = double(timecode.rate.numerator), den = double(timecode.rate.denominator);
    if (num <= 0 || den <= 0 || timecode.sampleRateHz <= 0) return ticks;
    const TimecodeFrames frames{std::max<std::int64_t>(1, std::llround(num / den)),
                                timecode.dropFrame ? std::llround(num / den) / 15 : 0};
    const double step = stepFor(duration, width, double(timecode.text().size()), 1);
    const auto stepFrames = static_cast<std::int64_t>(std::llround(step)) * frames.fps;
    const double start = double(timecode.startSamples) / timecode.sampleRateHz;
    const auto first = static_cast<std::int64_t>(std::floor(start * num / den));
    std::int64_t name = (frames.named(first) + stepFrames - 1) / stepFrames * stepFrames;
    for (;; name += stepFrames) {
        const std::int64_t real = frames.real(name);
        const double t = double(real) * den / num - start;
        if (t > duration + 1e-9) break;
        if (t < -1e-9) continue;
        // A quarter frame in, so the text's rounding down lands on this frame.
        ticks.push_back({std::max(t, 0.0), QString::fromStdString(timecode.text(t + 0.25 * den / num))});
    }
    return ticks;
}

} // namespace

std::vector<RulerTick> rulerTicks(double duration, double width, const std::optional<Timecode>& timecode) {
    if (!std::isfinite(duration) || duration <= 0 || !std::isfinite(width) || width < 1 || duration > 1e12) return {};
    if (timecode) return timecodeTicks(duration, width, *timecode);
    const bool hours = duration >= 3600;
    const double characters = double(format::clock(duration, hours, false).size());
    const double step = stepFor(duration, width, characters + (duration < 10 ? 2 : 0), 0);
    std::vector<RulerTick> ticks;
    for (long long i = 0;; ++i) {
        const double t = double(i) * step;
        if (t > duration + 1e-9) break;
        ticks.push_back({t, format::clock(t, hours, step < 1)});
    }
    return ticks;
}

TimeRuler::TimeRuler(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(int(kHeight));
}

void TimeRuler::setDuration(double seconds) {
    if (seconds == duration_) return;
    duration_ = seconds;
    update();
}

void TimeRuler::setTimecode(std::optional<Timecode> timecode) {
    if (timecode == timecode_) return;
    timecode_ = std::move(timecode);
    update();
}

void TimeRuler::setInset(double inset) {
    if (inset == inset_) return;
    inset_ = inset;
    update();
}

std::vector<RulerTick> TimeRuler::ticks() const { return rulerTicks(duration_, width() - inset_, timecode_); }

double TimeRuler::xOf(double seconds) const {
    if (duration_ <= 0) return inset_;
    return inset_ + (width() - inset_) * std::clamp(seconds / duration_, 0.0, 1.0);
}

QSize TimeRuler::sizeHint() const { return {480, int(kHeight)}; }

QSize TimeRuler::minimumSizeHint() const { return {40, int(kHeight)}; }

void TimeRuler::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Appearance& colors = Appearance::of(colorScheme(*this));
    const QFont font = systemFont(9, FontWeight::medium, FontDesign::rounded);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    double lastRight = -INFINITY;
    for (const RulerTick& tick : ticks()) {
        const double x = std::min(xOf(tick.seconds), width() - 0.5);
        painter.fillRect(QRectF(x, 0, 0.5, 3), withOpacity(colors.primaryLabel, 0.35));
        // Labels centre on their tick but stay inside the ruler; one that would touch the last
        // is left out (the end tick of a length just past a step).
        const double w = metrics.horizontalAdvance(tick.text);
        const double left = std::clamp(x - w / 2, 0.0, std::max(0.0, width() - w));
        if (left < lastRight + 4) continue;
        painter.setPen(colors.secondaryLabel);
        painter.drawText(QRectF(left, 2, w + 1, kHeight - 2), Qt::AlignLeft | Qt::AlignVCenter, tick.text);
        lastRight = left + w;
    }
}

void TimeRuler::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

} // namespace vaun
