// Peers for the analysis benchmark, fed by the same decoder as `vaun --analyze`:
//   vaun-bench-peer decode FILE    decode-only pass (the floor)
//   vaun-bench-peer decode-all JOBS FILE...
//                                  the same for many files in one process, JOBS at a time
//   vaun-bench-peer ebur128 FILE   libebur128 with I | LRA | TRUE_PEAK (and sample peak)
#include "decode/AudioFile.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#if VAUN_HAVE_EBUR128
#include <ebur128.h>
#endif

namespace {

template <typename Sink>
std::int64_t decodeAll(const char* path, Sink&& sink) {
    vaun::AudioFile file(path);
    auto buffer = vaun::AudioPCMBuffer::make(file.processingFormat().channelCount, 8192);
    std::int64_t total = 0;
    while (buffer) {
        buffer->setFrameLength(0);
        file.read(*buffer, 8192);
        if (buffer->frameLength() == 0) break;
        sink(*buffer);
        total += buffer->frameLength();
    }
    return total;
}

int decodeOnly(const char* path) {
    double checksum = 0;
    const auto frames = decodeAll(path, [&](const vaun::AudioPCMBuffer& b) { checksum += b.floatChannelData()[0][0]; });
    std::printf("{\"frames\": %lld, \"checksum\": %g}\n", static_cast<long long>(frames), checksum);
    return 0;
}

int decodeMany(int jobs, std::vector<const char*> paths) {
    std::atomic<std::size_t> next{0};
    std::atomic<long long> frames{0};
    std::vector<std::thread> workers;
    for (int j = 0; j < jobs; ++j)
        workers.emplace_back([&] {
            for (std::size_t i; (i = next.fetch_add(1)) < paths.size();) {
                try {
                    frames += decodeAll(paths[i], [](const vaun::AudioPCMBuffer&) {});
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "vaun-bench-peer: %s: %s\n", paths[i], e.what());
                }
            }
        });
    for (auto& w : workers) w.join();
    std::printf("{\"frames\": %lld}\n", frames.load());
    return 0;
}

#if VAUN_HAVE_EBUR128
int ebur128(const char* path) {
    vaun::AudioFile probe(path);
    const auto channels = probe.processingFormat().channelCount;
    const auto rate = static_cast<unsigned long>(probe.processingFormat().sampleRateHz);
    ebur128_state* state = ebur128_init(channels, rate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK |
                                                            EBUR128_MODE_SAMPLE_PEAK);
    if (!state) return 2;
    // The usual 5.1 assignment, so the surround weighting matches ours.
    if (channels == 6) {
        const int map[6] = {EBUR128_LEFT, EBUR128_RIGHT, EBUR128_CENTER, EBUR128_UNUSED, EBUR128_LEFT_SURROUND,
                            EBUR128_RIGHT_SURROUND};
        for (unsigned c = 0; c < 6; ++c) ebur128_set_channel(state, c, map[c]);
    }
    std::vector<float> interleaved(8192 * std::size_t(channels));
    decodeAll(path, [&](const vaun::AudioPCMBuffer& b) {
        const auto n = b.frameLength();
        for (std::uint32_t i = 0; i < n; ++i)
            for (std::uint32_t c = 0; c < channels; ++c) interleaved[i * channels + c] = b.floatChannelData()[c][i];
        ebur128_add_frames_float(state, interleaved.data(), n);
    });
    double integrated = 0, range = 0, truePeak = 0, samplePeak = 0;
    ebur128_loudness_global(state, &integrated);
    ebur128_loudness_range(state, &range);
    for (unsigned c = 0; c < channels; ++c) {
        double p = 0;
        ebur128_true_peak(state, c, &p);
        truePeak = std::max(truePeak, p);
        ebur128_sample_peak(state, c, &p);
        samplePeak = std::max(samplePeak, p);
    }
    ebur128_destroy(&state);
    std::printf("{\"integrated\": %.3f, \"lra\": %.3f, \"truePeak\": %.3f, \"samplePeak\": %.3f}\n", integrated, range,
                20 * std::log10(truePeak), 20 * std::log10(samplePeak));
    return 0;
}
#endif

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string_view(argv[1]) == "decode-all")
        return decodeMany(std::max(1, std::atoi(argv[2])), std::vector<const char*>(argv + 3, argv + argc));
    if (argc != 3) {
        std::fprintf(stderr, "usage: vaun-bench-peer decode|ebur128 FILE\n");
        return 2;
    }
    try {
        if (std::string_view(argv[1]) == "decode") return decodeOnly(argv[2]);
#if VAUN_HAVE_EBUR128
        if (std::string_view(argv[1]) == "ebur128") return ebur128(argv[2]);
#endif
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaun-bench-peer: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "vaun-bench-peer: unknown mode %s\n", argv[1]);
    return 2;
}
