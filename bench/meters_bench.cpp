// Throughput of the three meters on 10 s of 48 kHz noise, fed in the analyser's 8192-frame
// blocks, for stereo and 5.1 (LFE weighted 0). The loudness and true-peak meters run once
// per kernel variant; items per second are samples (frames × channels).
#include "analysis/LoudnessMeter.h"
#include "analysis/MeterKernels.h"
#include "analysis/SpectrogramBuilder.h"
#include "analysis/TruePeakMeter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using vaun::kernels::Isa;

constexpr double rate = 48000.0;
constexpr std::int64_t frames = 480000;
constexpr std::int64_t block = 8192;

struct Signal {
    std::vector<std::vector<float>> planes;
    std::vector<double> weights;
};

const Signal& signal(int channels) {
    static const auto make = [](int count) {
        Signal s;
        std::mt19937 generator(1234);
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (int c = 0; c < count; ++c) {
            std::vector<float> plane(frames);
            for (float& x : plane) x = uniform(generator);
            s.planes.push_back(std::move(plane));
            s.weights.push_back(count == 6 && c == 3 ? 0.0 : c >= 4 ? 1.41 : 1.0);
        }
        return s;
    };
    static const Signal stereo = make(2), surround = make(6);
    return channels == 6 ? surround : stereo;
}

template <class Meter>
void feed(Meter& meter, const Signal& s) {
    std::vector<const float*> pointers(s.planes.size());
    for (std::int64_t at = 0; at < frames; at += block) {
        for (std::size_t c = 0; c < pointers.size(); ++c) pointers[c] = s.planes[c].data() + at;
        meter.process(pointers.data(), pointers.size(), std::min(block, frames - at));
    }
}

bool runnable(benchmark::State& state, Isa isa) {
    if (isa == Isa::avx2 && vaun::kernels::bestIsa() != Isa::avx2) {
        state.SkipWithError("AVX2 not available");
        return false;
    }
    return true;
}

void loudness(benchmark::State& state, Isa isa) {
    if (!runnable(state, isa)) return;
    const Signal& s = signal(int(state.range(0)));
    for (auto _ : state) {
        vaun::LoudnessMeter meter(rate, s.weights, isa);
        feed(meter, s);
        benchmark::DoNotOptimize(meter.integrated());
    }
    state.SetItemsProcessed(state.iterations() * frames * state.range(0));
}

void truePeak(benchmark::State& state, Isa isa) {
    if (!runnable(state, isa)) return;
    const Signal& s = signal(int(state.range(0)));
    for (auto _ : state) {
        vaun::TruePeakMeter meter(rate, s.planes.size(), isa);
        feed(meter, s);
        benchmark::DoNotOptimize(meter.truePeak().data());
    }
    state.SetItemsProcessed(state.iterations() * frames * state.range(0));
}

void peakSearch(benchmark::State& state, Isa isa) {
    if (!runnable(state, isa)) return;
    const Signal& s = signal(2);
    for (auto _ : state) benchmark::DoNotOptimize(vaun::kernels::maxMagnitude(s.planes[0].data(), frames, isa));
    state.SetItemsProcessed(state.iterations() * frames);
}

void spectrogram(benchmark::State& state) {
    const Signal& s = signal(int(state.range(0)));
    for (auto _ : state) {
        vaun::SpectrogramBuilder builder(frames, rate, 480);
        feed(builder, s);
        benchmark::DoNotOptimize(builder.finish());
    }
    state.SetItemsProcessed(state.iterations() * frames * state.range(0));
}

BENCHMARK_CAPTURE(loudness, baseline, Isa::baseline)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loudness, avx2, Isa::avx2)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(truePeak, baseline, Isa::baseline)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(truePeak, avx2, Isa::avx2)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peakSearch, baseline, Isa::baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(peakSearch, avx2, Isa::avx2)->Unit(benchmark::kMicrosecond);
BENCHMARK(spectrogram)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);

} // namespace
