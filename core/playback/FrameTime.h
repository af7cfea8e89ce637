#pragma once
// Playback positions between seconds (what owners pass) and frames (what the engine plays).
#include <cstdint>

namespace vaun {

// frame ÷ rate, nudged up where needed so that truncating seconds × rate gives the frame
// back: a pause's time resumes at the very frame. 0 when the rate is not positive.
double secondsForFrame(std::int64_t frame, double rate);
// seconds × rate truncated toward zero, clamped to 0...lastFrame (at least 0); NaN is 0.
std::int64_t frameAtSeconds(double seconds, double rate, std::int64_t lastFrame);

} // namespace vaun
