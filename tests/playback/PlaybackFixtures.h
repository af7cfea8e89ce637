#pragma once
// Fixtures for rendering players offline: files whose channels can be told apart, the
// file's own samples to compare with, and interleaved output taken apart again.
#include "TestAudio.h"
#include "decode/AudioFile.h"
#include "playback/LoopExecutor.h"
#include "playback/RouteRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <vector>

namespace vaun::test {

constexpr double kRate = 48000;

// Channel c: a sine of its own frequency and amplitude, so every sample tells channel
// and position apart.
inline Planes markedChannels(int channels, std::int64_t frames, double rate = kRate) {
    Planes planes;
    for (int c = 0; c < channels; ++c) planes.push_back(sine(220.0 * (c + 1) + 17.0, 0.1 + 0.05 * c, rate, frames, 0.3 * c));
    return planes;
}

inline std::filesystem::path writeFloatWav(const std::filesystem::path& path, const Planes& planes, double rate = kRate,
                                           std::optional<std::uint32_t> mask = std::nullopt) {
    WavOptions options;
    options.format = SampleFormat::Float32;
    options.channelMask = mask;
    writeWav(path, planes, rate, options);
    return path;
}

// Channel `channel` of interleaved frames.
inline std::vector<float> channelOf(const std::vector<float>& interleaved, std::uint32_t channels, std::uint32_t channel) {
    std::vector<float> out;
    for (std::size_t i = channel; i < interleaved.size(); i += channels) out.push_back(interleaved[i]);
    return out;
}

inline std::vector<float> slice(const std::vector<float>& v, std::int64_t from, std::int64_t count) {
    from = std::clamp<std::int64_t>(from, 0, std::int64_t(v.size()));
    count = std::clamp<std::int64_t>(count, 0, std::int64_t(v.size()) - from);
    return {v.begin() + from, v.begin() + from + count};
}

inline double rmsDB(const std::vector<float>& v, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    to = std::min(to, v.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += double(v[i]) * v[i];
    return to > from && sum > 0 ? 10 * std::log10(sum / double(to - from)) : -160.0;
}

inline std::vector<float> whiteNoise(std::int64_t frames, float amplitude, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (auto& x : v) x = d(generator);
    return v;
}

// Renders in uneven pieces, as the feeder does, and drains.
inline std::vector<float> renderAll(RouteRenderer& r, const std::vector<std::vector<float>>& channels) {
    std::vector<float> out;
    const std::size_t frames = channels.front().size();
    std::vector<const float*> planes(channels.size());
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min<std::size_t>(1000, frames - done);
        for (std::size_t c = 0; c < channels.size(); ++c) planes[c] = channels[c].data() + done;
        r.render(planes.data(), std::uint32_t(n), out);
        done += n;
    }
    r.drain(out);
    EXPECT_EQ(out.size(), frames * r.outputChannels());
    return out;
}

// Left over right in dB for stereo frames [from, to).
inline double balanceDB(const std::vector<float>& lr, std::size_t from, std::size_t to) {
    double l = 1e-20, r = 1e-20;
    for (std::size_t i = from; i < to; ++i) {
        l += double(lr[2 * i]) * lr[2 * i];
        r += double(lr[2 * i + 1]) * lr[2 * i + 1];
    }
    return 10 * std::log10(l / r);
}

} // namespace vaun::test
