#pragma once
// Helpers shared by the decoding tests: signals that expose shifts and channel swaps,
// whole-file reads through AudioFile, and small writers for containers the command-line
// tools cannot make.
#include "TestAudio.h"
#include "decode/AudioFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace vaun::test {

// Per channel a different tone plus deterministic noise, so a swapped channel, a shifted
// frame or a wrong byte order all show.
inline Planes testSignal(int channels, std::int64_t frames, double rate, double noise = 0.05) {
    Planes planes;
    std::uint32_t state = 12345;
    for (int c = 0; c < channels; ++c) {
        auto plane = sine(110.0 * (c + 1) + 17.0, 0.4, rate, frames, 0.3 * c);
        for (auto& v : plane) {
            state = state * 1664525u + 1013904223u;
            v += float(noise * (double(state >> 8) / double(1u << 24) - 0.5));
        }
        planes.push_back(std::move(plane));
    }
    return planes;
}

// Reads from the current position to the end in blocks of `block` frames.
inline Planes readToEnd(AudioFile& file, std::uint32_t block = 4096) {
    const auto channels = file.processingFormat().channelCount;
    Planes out(channels);
    auto buffer = AudioPCMBuffer::make(channels, block);
    if (!buffer) return out;
    for (;;) {
        file.read(*buffer, block);
        const auto n = buffer->frameLength();
        if (n == 0) break;
        for (std::uint32_t c = 0; c < channels; ++c)
            out[c].insert(out[c].end(), buffer->floatChannelData()[c], buffer->floatChannelData()[c] + n);
    }
    return out;
}

inline Planes readFile(const std::filesystem::path& path) {
    AudioFile file(path);
    return readToEnd(file);
}

inline std::int64_t frameCount(const Planes& planes) { return planes.empty() ? 0 : std::int64_t(planes[0].size()); }

// One failure message with the first differing sample instead of thousands.
inline ::testing::AssertionResult samePlanes(const Planes& actual, const Planes& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " channels, expected " << expected.size();
    for (std::size_t c = 0; c < actual.size(); ++c) {
        if (actual[c].size() != expected[c].size())
            return ::testing::AssertionFailure()
                   << "channel " << c << ": " << actual[c].size() << " frames, expected " << expected[c].size();
        for (std::size_t i = 0; i < actual[c].size(); ++i)
            if (actual[c][i] != expected[c][i])
                return ::testing::AssertionFailure() << "channel " << c << " frame " << i << ": " << actual[c][i]
                                                     << ", expected " << expected[c][i];
    }
    return ::testing::AssertionSuccess();
}

inline double maxDifference(const Planes& a, const Planes& b) {
    double worst = 0;
    for (std::size_t c = 0; c < std::min(a.size(), b.size()); ++c)
        for (std::size_t i = 0; i < std::min(a[c].size(), b[c].size()); ++i)
            worst = std::max(worst, std::abs(double(a[c][i]) - double(b[c][i])));
    return worst;
}

inline Planes slice(const Planes& planes, std::int64_t from, std::int64_t count) {
    Planes out;
    for (const auto& p : planes) {
        const auto begin = std::min<std::size_t>(std::size_t(from), p.size());
        const auto end = std::min<std::size_t>(begin + std::size_t(count), p.size());
        out.emplace_back(p.begin() + std::ptrdiff_t(begin), p.begin() + std::ptrdiff_t(end));
    }
    return out;
}

// The shift, within ±limit frames, at which `block` best matches `reference` at `target`.
inline std::int64_t bestLag(const Planes& block, const Planes& reference, std::int64_t target, std::int64_t limit = 64) {
    std::int64_t best = 0;
    double bestError = std::numeric_limits<double>::infinity();
    const std::int64_t n = frameCount(block);
    for (std::int64_t lag = -limit; lag <= limit; ++lag) {
        if (target + lag < 0 || target + lag + n > frameCount(reference)) continue;
        double error = 0;
        for (std::size_t c = 0; c < block.size(); ++c)
            for (std::int64_t i = 0; i < n; ++i) {
                const double d = block[c][std::size_t(i)] - reference[c][std::size_t(target + lag + i)];
                error += d * d;
            }
        if (error < bestError) {
            bestError = error;
            best = lag;
        }
    }
    return best;
}

// Big-endian byte building for hand-made containers.
struct BigEndianBytes {
    std::vector<std::uint8_t> bytes;
    void u8(std::uint32_t v) { bytes.push_back(std::uint8_t(v)); }
    void u16(std::uint32_t v) { u8(v >> 8), u8(v); }
    void u32(std::uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); }
    void u64(std::uint64_t v) { u32(std::uint32_t(v >> 32)), u32(std::uint32_t(v)); }
    void f32(float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        u32(u);
    }
    void f64(double v) {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        u64(u);
    }
    void id(const char (&s)[5]) { bytes.insert(bytes.end(), s, s + 4); }
    void append(const std::vector<std::uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
};

// An AAC CAF as Apple's tools write it, from the frames of an ADTS stream of 48 kHz stereo
// AAC-LC: a packet table that states `priming` frames at the start and `valid` frames in all.
inline void writeAACCaf(const std::filesystem::path& adts, const std::filesystem::path& out, std::uint32_t priming,
                        std::uint64_t valid) {
    const auto stream = readBytes(adts);
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t at = 0; at + 7 <= stream.size();) {
        const std::size_t length = std::size_t(stream[at + 3] & 3) << 11 | std::size_t(stream[at + 4]) << 3 | stream[at + 5] >> 5;
        const std::size_t header = (stream[at + 1] & 1) ? 7 : 9;
        if (length < header || at + length > stream.size()) break;
        packets.emplace_back(stream.begin() + std::ptrdiff_t(at + header), stream.begin() + std::ptrdiff_t(at + length));
        at += length;
    }
    BigEndianBytes f;
    const auto chunk = [&](const char(&id)[5], const BigEndianBytes& payload) {
        f.id(id), f.u64(payload.bytes.size()), f.append(payload.bytes);
    };
    f.id("caff"), f.u16(1), f.u16(0);
    BigEndianBytes desc;
    desc.f64(48000), desc.id("aac "), desc.u32(2), desc.u32(0), desc.u32(1024), desc.u32(2), desc.u32(0);
    chunk("desc", desc);
    // The magic cookie is an MPEG-4 ES descriptor holding the AudioSpecificConfig (LC, 48 kHz, stereo).
    BigEndianBytes kuki;
    kuki.u32(0);
    // ES_ID and flags; object type, stream type, buffer size, maximum and average bit rate.
    kuki.append({0x03, 25, 0, 0, 0, 0x04, 17, 0x40, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 2, 0x11, 0x90, 0x06, 1, 2});
    chunk("kuki", kuki);
    BigEndianBytes pakt;
    const std::uint64_t total = packets.size() * 1024;
    pakt.u64(packets.size()), pakt.u64(valid), pakt.u32(priming), pakt.u32(std::uint32_t(total > priming + valid ? total - priming - valid : 0));
    for (const auto& p : packets) {
        std::vector<std::uint8_t> size;
        for (std::size_t n = p.size(); size.empty() || n > 0; n >>= 7) size.insert(size.begin(), std::uint8_t((n & 0x7F) | (size.empty() ? 0 : 0x80)));
        pakt.append(size);
    }
    chunk("pakt", pakt);
    BigEndianBytes data;
    data.u32(0);
    for (const auto& p : packets) data.append(p);
    chunk("data", data);
    writeBytes(out, f.bytes);
}

inline void sox(const std::filesystem::path& in, const std::string& args, const std::filesystem::path& out) {
    const std::string cmd = "sox " + shellQuote(in.string()) + " " + args + " " + shellQuote(out.string()) + " 2>/dev/null";
    if (run(cmd) != 0) throw std::runtime_error("sox failed: " + cmd);
}

} // namespace vaun::test
