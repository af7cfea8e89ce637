// CPU time per second of 48 kHz audio: the object renderer with a 10-channel bed plus four
// moving objects and with 128 moving sources, a third-order sound field through the scene
// renderer, against sofalizer (BinauralRenderer) with a 7.1.2 bed and a 14-channel bed, in
// one run.
// Usage: bench_object_renderer [SECONDS]
#include "playback/BinauralRenderer.h"
#include "playback/ObjectBinauralRenderer.h"
#include "playback/SceneRenderer.h"
#include "playback/SpeakerBed.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

using namespace vaun;

namespace {

constexpr double kRate = 48000;
constexpr std::uint32_t kBlock = 1024; // the feeder's block

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A source circling the head once every `period` seconds, given as 0.1 s blocks.
SourceTrack circling(double phaseDegrees, double period, double seconds) {
    SourceTrack t;
    for (double at = 0; at <= seconds + 0.1; at += 0.1) {
        const double az = phaseDegrees + 360.0 * at / period;
        t.blocks.push_back({at, 0.1, {az, 20.0 * std::sin(at), 1.0}});
    }
    return t;
}

void run(const char* name, RouteRenderer& r, std::size_t channels, double seconds) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> d(-0.3f, 0.3f);
    std::vector<std::vector<float>> data(channels, std::vector<float>(kBlock));
    std::vector<const float*> planes(channels);
    for (std::size_t c = 0; c < channels; ++c) {
        for (auto& x : data[c]) x = d(gen);
        planes[c] = data[c].data();
    }
    std::vector<float> out;
    const auto blocks = std::size_t(seconds * kRate / kBlock);
    const double start = cpuSeconds();
    for (std::size_t b = 0; b < blocks; ++b) {
        out.clear();
        r.render(planes.data(), kBlock, out);
    }
    r.drain(out);
    const double used = cpuSeconds() - start;
    const double audio = double(blocks * kBlock) / kRate;
    std::printf("%-44s %3zu ch  %7.1f ms CPU per audio second  (%5.1f %% of one core)\n", name, channels,
                1000.0 * used / audio, 100.0 * used / audio);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 20.0;
    const auto sofa = defaultHrtfPath();
    try {
        const auto bed10 = bedLayout(10, std::nullopt);
        const auto placed = speakerPlacement(bed10->labels);
        std::vector<SourceTrack> mixed;
        for (const auto& p : *placed)
            mixed.push_back(p.lowFrequency ? SourceTrack::lfe()
                                           : SourceTrack::fixed({p.azimuthDegrees, p.elevationDegrees, 1.0}));
        for (int i = 0; i < 4; ++i) mixed.push_back(circling(90.0 * i, 4.0 + i, seconds));
        const double built = cpuSeconds();
        ObjectBinauralRenderer objects14(mixed, kRate, 2, sofa);
        std::printf("object renderer set-up: %.0f ms CPU\n", 1000.0 * (cpuSeconds() - built));
        run("object renderer: 7.1.2 bed + 4 moving objects", objects14, mixed.size(), seconds);

        std::vector<SourceTrack> moving;
        for (int i = 0; i < 128; ++i) moving.push_back(circling(i * 2.8125, 3.0 + 0.05 * i, seconds));
        ObjectBinauralRenderer objects128(moving, kRate, 2, sofa);
        run("object renderer: 128 moving sources", objects128, moving.size(), seconds);

        const AmbisonicFormat third{3};
        auto field = SceneRenderer::soundField(third, kRate, 2, sofa);
        const auto speakers = AmbisonicDecoder(third).speakers().size();
        const std::string fieldRow = "scene: third-order field (" + std::to_string(speakers) + " speakers)";
        run(fieldRow.c_str(), field, std::size_t(AmbisonicFormat::channelsFor(3)), seconds);

        BinauralRenderer sofalizer10(*bed10, kRate, 2, sofa);
        run("sofalizer: 7.1.2 bed", sofalizer10, 10, seconds);

        // 7.1.4 with front left/right of centre, from a WAVE channel mask.
        AudioChannelLayout mask14;
        mask14.layoutTag = AudioChannelLayout::kUseChannelBitmap;
        mask14.channelBitmap = 0x3F | 0xC0 | 0x600 | 0x1000 | 0x4000 | 0x8000 | 0x20000;
        if (const auto bed14 = bedLayout(14, mask14)) {
            BinauralRenderer sofalizer14(*bed14, kRate, 2, sofa);
            run("sofalizer: 14-channel bed (7.1.4 + Lc/Rc)", sofalizer14, 14, seconds);
        } else {
            std::printf("sofalizer: no 14-channel bed from mask 0x%x\n", mask14.channelBitmap);
        }
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
    return 0;
}
