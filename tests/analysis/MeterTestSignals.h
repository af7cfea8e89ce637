#pragma once
// Signals and block feeding shared by the meter tests.
#include "TestAudio.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

namespace vaun::test {

// Uniform noise in [−amplitude, amplitude), reproducible from the seed.
inline std::vector<float> noise(std::int64_t frames, float amplitude, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    std::vector<float> v(std::size_t(std::max<std::int64_t>(frames, 0)));
    for (float& x : v) x = uniform(generator);
    return v;
}

// A continuous sine whose peak level steps through (dBFS, seconds) pairs.
inline std::vector<float> levelSteps(const std::vector<std::pair<double, double>>& steps, double rate,
                                     double frequency = 1000.0) {
    std::vector<float> v;
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    for (const auto& [dbfs, seconds] : steps) {
        const double amplitude = dbToLinear(dbfs);
        const auto frames = std::int64_t(std::llround(seconds * rate));
        for (std::int64_t i = 0; i < frames; ++i) v.push_back(float(amplitude * std::sin(w * double(v.size()))));
    }
    return v;
}

// Hands equal-length planes to meter.process in blocks of `block` frames, pointing into
// the planes in place.
template <class Meter>
void feed(Meter& meter, const Planes& planes, std::int64_t block) {
    const std::int64_t frames = planes.empty() ? 0 : std::int64_t(planes[0].size());
    std::vector<const float*> pointers(planes.size());
    for (std::int64_t at = 0; at < frames; at += block) {
        const std::int64_t n = std::min(block, frames - at);
        for (std::size_t c = 0; c < planes.size(); ++c) pointers[c] = planes[c].data() + at;
        meter.process(pointers.data(), pointers.size(), n);
    }
}

// The same, in blocks of pseudo-random length between 1 and maxBlock.
template <class Meter>
void feedRandomly(Meter& meter, const Planes& planes, std::int64_t maxBlock, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<std::int64_t> length(1, maxBlock);
    const std::int64_t frames = planes.empty() ? 0 : std::int64_t(planes[0].size());
    std::vector<const float*> pointers(planes.size());
    for (std::int64_t at = 0; at < frames;) {
        const std::int64_t n = std::min(length(generator), frames - at);
        for (std::size_t c = 0; c < planes.size(); ++c) pointers[c] = planes[c].data() + at;
        meter.process(pointers.data(), pointers.size(), n);
        at += n;
    }
}

} // namespace vaun::test
