#include "playback/FrameTime.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vaun {

double secondsForFrame(std::int64_t frame, double rate) {
    if (!(rate > 0) || !std::isfinite(rate)) return 0;
    double t = double(frame) / rate;
    for (int i = 0; i < 4 && std::trunc(t * rate) < double(frame); ++i) t = std::nextafter(t, std::numeric_limits<double>::infinity());
    return t;
}

std::int64_t frameAtSeconds(double seconds, double rate, std::int64_t lastFrame) {
    lastFrame = std::max<std::int64_t>(lastFrame, 0);
    if (!(rate > 0) || std::isnan(seconds)) return 0;
    const double frame = std::trunc(seconds * rate);
    if (!(frame > 0)) return 0;
    if (frame >= double(lastFrame)) return lastFrame;
    return std::int64_t(frame);
}

} // namespace vaun
