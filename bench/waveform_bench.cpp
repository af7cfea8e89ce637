// Times WaveformGenerator::generateChannels (512 buckets) against a pass that only decodes
// the same file through AudioFile in the same 4096-frame blocks. Best of N runs each,
// interleaved so that both see the same cache and machine load.
//
//   bench_waveform FILE [RUNS]
#include "analysis/WaveformGenerator.h"
#include "decode/AudioFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double seconds(F&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor: every frame decoded into one reusable buffer, nothing else.
std::int64_t decodeOnly(const char* path) {
    vaun::AudioFile file(path);
    auto buffer = vaun::AudioPCMBuffer::make(file.processingFormat().channelCount, vaun::WaveformGenerator::blockFrames);
    if (!buffer) return 0;
    const std::int64_t length = file.length();
    std::int64_t read = 0;
    while (read < length) {
        file.read(*buffer, std::uint32_t(std::min<std::int64_t>(length - read, vaun::WaveformGenerator::blockFrames)));
        if (buffer->frameLength() == 0) break;
        read += buffer->frameLength();
    }
    return read;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    try {
        double bestDecode = std::numeric_limits<double>::infinity();
        double bestWaveform = bestDecode;
        std::int64_t frames = 0;
        std::size_t lanes = 0;
        for (int i = 0; i < runs; ++i) {
            bestDecode = std::min(bestDecode, seconds([&] { frames = decodeOnly(path); }));
            bestWaveform = std::min(bestWaveform, seconds([&] {
                lanes = vaun::WaveformGenerator{}.generateChannels(path, 512).size();
            }));
        }
        std::printf("frames %lld, lanes %zu, best of %d\n", static_cast<long long>(frames), lanes, runs);
        std::printf("decode only        %8.3f s\n", bestDecode);
        std::printf("generateChannels   %8.3f s\n", bestWaveform);
        std::printf("ratio              %8.3f (limit 1.5)\n", bestWaveform / bestDecode);
        return bestWaveform <= 1.5 * bestDecode ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
}
