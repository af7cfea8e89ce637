#include "analysis/TruePeakMeter.h"

#include "MeterTestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace vaun {
namespace {

using test::feed;
using test::Planes;
using test::sine;

double dB(double linear) {
    return 20.0 * std::log10(linear);
}

// A plain double-precision interpolator built from the description of the meter, written
// as a convolution: y_p[k] = Σ_m g_p[m] · x[k − m], with x zero before the start and no
// flush after the end. Returns the largest |x| or |y| of one channel.
double referenceTruePeak(const std::vector<float>& x, double rate) {
    const int factor = rate < 95040.0 ? 4 : rate < 190080.0 ? 2 : 1;
    double peak = 0.0;
    for (float v : x) peak = std::max(peak, std::fabs(double(v)));
    if (factor == 1) return peak;

    const int length = 12 * factor;
    std::vector<double> h(static_cast<std::size_t>(length));
    for (int n = 0; n < length; ++n) {
        const double t = (n - (length - 1) / 2.0) / factor;
        const double sinc = t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        const double window = 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * n / (length - 1)) +
                              0.08 * std::cos(4.0 * std::numbers::pi * n / (length - 1));
        h[std::size_t(n)] = sinc * window;
    }
    for (int p = 0; p < factor; ++p) {
        std::vector<double> g;
        double sum = 0.0;
        for (int m = 0; m < 12; ++m) {
            g.push_back(h[std::size_t(p + m * factor)]);
            sum += g.back();
        }
        for (double& c : g) c /= sum;
        for (std::size_t k = 0; k < x.size(); ++k) {
            double y = 0.0;
            for (std::size_t m = 0; m < 12 && m <= k; ++m) y += g[m] * double(x[k - m]);
            peak = std::max(peak, std::fabs(y));
        }
    }
    return peak;
}

TruePeakMeter measure(const Planes& planes, double rate, std::int64_t block = 8192,
                      kernels::Isa isa = kernels::bestIsa()) {
    TruePeakMeter meter(rate, planes.size(), isa);
    feed(meter, planes, block);
    return meter;
}

// --- Design ------------------------------------------------------------------------------

TEST(TruePeakMeter, FactorFollowsTheSampleRate) {
    EXPECT_EQ(TruePeakMeter(44100.0, 1).factor(), 4);
    EXPECT_EQ(TruePeakMeter(48000.0, 1).factor(), 4);
    EXPECT_EQ(TruePeakMeter(95039.0, 1).factor(), 4);
    EXPECT_EQ(TruePeakMeter(95040.0, 1).factor(), 2);
    EXPECT_EQ(TruePeakMeter(96000.0, 1).factor(), 2);
    EXPECT_EQ(TruePeakMeter(176400.0, 1).factor(), 2);
    EXPECT_EQ(TruePeakMeter(190080.0, 1).factor(), 1);
    EXPECT_EQ(TruePeakMeter(192000.0, 1).factor(), 1);
}

TEST(TruePeakMeter, PhasesHaveUnitGainAndMirrorEachOther) {
    for (double rate : {48000.0, 96000.0}) {
        const TruePeakMeter meter(rate, 1);
        const auto& phases = meter.phases();
        ASSERT_EQ(int(phases.size()), meter.factor());
        for (std::size_t p = 0; p < phases.size(); ++p) {
            ASSERT_EQ(phases[p].size(), 12u);
            double sum = 0.0;
            for (float c : phases[p]) sum += c;
            EXPECT_NEAR(sum, 1.0, 1e-6);
            // A symmetric prototype: phase p read backwards is phase factor − 1 − p.
            const auto& mirror = phases[phases.size() - 1 - p];
            for (std::size_t j = 0; j < 12; ++j) EXPECT_NEAR(phases[p][j], mirror[11 - j], 1e-6);
        }
    }
    // The single phase at 192 kHz exists but is never used.
    EXPECT_EQ(TruePeakMeter(192000.0, 1).phases().size(), 1u);
}

// --- Against the plain reference ----------------------------------------------------------

TEST(TruePeakMeter, AwkwardSinesMatchTheReference) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        for (double divisor : {4.0, 6.0, 8.0}) {
            for (double phase : {0.3, std::numbers::pi / 4.0 + 0.01, 1.1, 2.5}) {
                const auto x = sine(rate / divisor, 0.8, rate, 5000, phase);
                const TruePeakMeter meter = measure({x}, rate, 1024);
                SCOPED_TRACE(testing::Message() << rate << " Hz, fs/" << divisor << ", phase " << phase);
                // (The abrupt start rings a little above the sine's amplitude, in both.)
                EXPECT_NEAR(dB(meter.truePeak()[0]), dB(referenceTruePeak(x, rate)), 0.01);
            }
        }
    }
}

TEST(TruePeakMeter, NoiseMatchesTheReferenceInEveryVariant) {
    const Planes planes{test::noise(20000, 0.7f, 11), test::noise(20000, 0.2f, 12)};
    std::vector<kernels::Isa> variants{kernels::Isa::baseline};
    if (kernels::bestIsa() == kernels::Isa::avx2) variants.push_back(kernels::Isa::avx2);
    std::vector<float> first;
    for (kernels::Isa isa : variants) {
        const TruePeakMeter meter = measure(planes, 48000.0, 8192, isa);
        for (std::size_t c = 0; c < planes.size(); ++c)
            EXPECT_NEAR(dB(meter.truePeak()[c]), dB(referenceTruePeak(planes[c], 48000.0)), 0.01);
        // Only fused multiply-add may tell the variants apart, in the last bits.
        if (first.empty()) first = meter.truePeak();
        for (std::size_t c = 0; c < planes.size(); ++c)
            EXPECT_NEAR(meter.truePeak()[c], first[c], 1e-6f * first[c]);
    }
}

TEST(TruePeakMeter, QuieterBlocksStillRaiseThePeakBetweenTheirSamples) {
    // A loud click, quieter noise, then a quarter-rate sine whose samples (±0.67) stay below
    // the click but whose crests (0.95) rise above it between them.
    std::vector<float> x(30000, 0.0f);
    x[100] = 0.9f;
    const auto quiet = test::noise(10000, 0.3f, 13);
    std::copy(quiet.begin(), quiet.end(), x.begin() + 5000);
    const auto crest = sine(12000.0, 0.95, 48000.0, 10000, std::numbers::pi / 4.0);
    std::copy(crest.begin(), crest.end(), x.begin() + 20000);
    for (std::int64_t block : {512, 8192}) {
        const TruePeakMeter meter = measure({x}, 48000.0, block);
        EXPECT_NEAR(dB(meter.truePeak()[0]), dB(referenceTruePeak(x, 48000.0)), 0.01) << block;
        EXPECT_GT(meter.truePeak()[0], 0.94f) << block;
    }
    // A pair of equal samples just before a skipping stretch begins, with silence after:
    // their crest is interpolated in the next stretch, whose own samples are all zero.
    std::vector<float> pair(2000, 0.0f);
    pair[10] = 0.5f;
    pair[250] = pair[251] = 0.48f;
    const TruePeakMeter meter = measure({pair}, 48000.0, 8192);
    EXPECT_NEAR(dB(meter.truePeak()[0]), dB(referenceTruePeak(pair, 48000.0)), 0.01);
    EXPECT_GT(meter.truePeak()[0], 0.55f);
}

// --- Edge cases ----------------------------------------------------------------------------

TEST(TruePeakMeter, QuarterRateSineBetweenItsSamples) {
    // Every sample is ±0.7071; the crests fall halfway between samples.
    const auto x = sine(12000.0, 1.0, 48000.0, 48000, std::numbers::pi / 4.0);
    const TruePeakMeter meter = measure({x}, 48000.0);
    EXPECT_NEAR(meter.samplePeak(), 0.7071f, 1e-4f);
    EXPECT_NEAR(dB(meter.samplePeak()), -3.01, 0.01);
    const double truePeak = dB(meter.truePeak()[0]);
    EXPECT_GT(truePeak, -0.1);
    EXPECT_LE(truePeak, 0.0);
}

TEST(TruePeakMeter, AtHighRatesTruePeakIsTheSamplePeak) {
    const Planes planes{sine(48000.0, 0.9, 192000.0, 10000, 0.4), test::noise(10000, 0.3f, 5)};
    const TruePeakMeter meter = measure(planes, 192000.0);
    for (std::size_t c = 0; c < planes.size(); ++c) {
        float peak = 0.0f;
        for (float v : planes[c]) peak = std::max(peak, std::fabs(v));
        EXPECT_EQ(meter.truePeak()[c], peak);
    }
}

TEST(TruePeakMeter, BlockSizesGiveIdenticalPeaks) {
    for (double rate : {48000.0, 96000.0}) {
        const Planes planes{test::noise(30011, 0.6f, 21), sine(rate / 4.3, 0.5, rate, 30011, 0.7)};
        const TruePeakMeter reference = measure(planes, rate, 8192);
        for (std::int64_t block : {1, 3, 100, 8191}) {
            const TruePeakMeter meter = measure(planes, rate, block);
            EXPECT_EQ(meter.truePeak(), reference.truePeak()) << "block " << block;
            EXPECT_EQ(meter.samplePeak(), reference.samplePeak()) << "block " << block;
        }
        TruePeakMeter random(rate, planes.size());
        test::feedRandomly(random, planes, 40, 9);
        EXPECT_EQ(random.truePeak(), reference.truePeak());
        // Noting overs per step cuts the work at step boundaries but changes no peak.
        TruePeakMeter tracked(rate, planes.size());
        tracked.trackOvers(997, 0.55f);
        test::feedRandomly(tracked, planes, 5000, 4);
        EXPECT_EQ(tracked.truePeak(), reference.truePeak());
        EXPECT_FALSE(tracked.overSteps().empty());
        EXPECT_TRUE(std::is_sorted(tracked.overSteps().begin(), tracked.overSteps().end()));
    }
}

TEST(TruePeakMeter, SamplePeakIsOneValueForAllChannels) {
    const Planes planes{sine(1000.0, 0.9, 48000.0, 4800), sine(1000.0, 0.1, 48000.0, 4800)};
    const TruePeakMeter meter = measure(planes, 48000.0);
    float loud = 0.0f;
    for (float v : planes[0]) loud = std::max(loud, std::fabs(v));
    EXPECT_EQ(meter.samplePeak(), loud);
    EXPECT_LT(meter.truePeak()[1], 0.11f);
    EXPECT_GE(meter.truePeak()[0], loud);
}

TEST(TruePeakMeter, SilentChannelsStayAtZero) {
    const std::vector<float> zeros(10000, 0.0f);
    const TruePeakMeter silent = measure({zeros, zeros}, 48000.0);
    EXPECT_EQ(silent.truePeak(), (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(silent.samplePeak(), 0.0f);

    // Left silent, right peaking at 0.5: never below the sample peak.
    const auto right = sine(997.0, 0.5, 48000.0, 48000, std::numbers::pi / 2.0);
    const TruePeakMeter half = measure({zeros, right}, 48000.0);
    EXPECT_EQ(half.truePeak()[0], 0.0f);
    EXPECT_GE(half.truePeak()[1], half.samplePeak());
    EXPECT_NEAR(dB(half.samplePeak()), -6.0206, 1e-3);
}

TEST(TruePeakMeter, EmptyBlocksAndFewerChannelsAreFine) {
    const auto x = sine(1000.0, 0.5, 48000.0, 100);
    const float* pointers[2] = {x.data(), x.data()};
    TruePeakMeter meter(48000.0, 2);
    meter.process(pointers, 2, 0);
    meter.process(pointers, 2, -3);
    EXPECT_EQ(meter.samplePeak(), 0.0f);
    meter.process(pointers, 1, 100);
    EXPECT_GT(meter.truePeak()[0], 0.0f);
    EXPECT_EQ(meter.truePeak()[1], 0.0f);
    const float* three[3] = {x.data(), x.data(), x.data()};
    EXPECT_THROW(meter.process(three, 3, 100), std::invalid_argument);
}

TEST(TruePeakMeter, NaNSamplesNeverBecomeThePeak) {
    auto x = sine(1000.0, 0.5, 48000.0, 2000);
    x[1000] = std::numeric_limits<float>::quiet_NaN();
    const TruePeakMeter meter = measure({x}, 48000.0, 333);
    EXPECT_FALSE(std::isnan(meter.truePeak()[0]));
    EXPECT_FALSE(std::isnan(meter.samplePeak()));
    EXPECT_NEAR(meter.samplePeak(), 0.5f, 1e-3f);
}

} // namespace
} // namespace vaun
