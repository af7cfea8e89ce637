#include "analysis/LoudnessMeter.h"

#include "MeterTestSignals.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <array>
#include <complex>
#include <limits>
#include <stdexcept>

namespace vaun {
namespace {

using test::feed;
using test::levelSteps;
using test::Planes;

constexpr double rate48k = 48000.0;

LoudnessMeter measure(const Planes& planes, std::vector<double> weights, double rate = rate48k,
                      std::int64_t block = 8192) {
    LoudnessMeter meter(rate, std::move(weights));
    feed(meter, planes, block);
    return meter;
}

// Stereo: the same signal in both channels, as in the EBU test sequences.
Planes stereo(const std::vector<float>& v) {
    return {v, v};
}

// Gain of the K-weighting cascade at a frequency, in dB.
double responseDB(const KWeighting& k, double hz, double rate) {
    const std::complex<double> z = std::polar(1.0, 2.0 * std::numbers::pi * hz / rate);
    const std::complex<double> zi = 1.0 / z;
    const auto stage = [&](const auto& b, const auto& a) {
        return (b[0] + b[1] * zi + b[2] * zi * zi) / (1.0 + a[0] * zi + a[1] * zi * zi);
    };
    return 20.0 * std::log10(std::abs(stage(k.b1, k.a1) * stage(k.b2, k.a2)));
}

// --- K-weighting ---------------------------------------------------------------------

TEST(KWeighting, CoefficientsAt48kHzAreTheBS1770Table) {
    const KWeighting k(rate48k);
    EXPECT_NEAR(k.b1[0], 1.53512485958697, 1e-14);
    EXPECT_NEAR(k.b1[1], -2.69169618940638, 1e-14);
    EXPECT_NEAR(k.b1[2], 1.19839281085285, 1e-14);
    EXPECT_NEAR(k.a1[0], -1.69065929318241, 1e-14);
    EXPECT_NEAR(k.a1[1], 0.73248077421585, 1e-14);
    EXPECT_EQ(k.b2, (std::array<double, 3>{1.0, -2.0, 1.0}));
    EXPECT_NEAR(k.a2[0], -1.99004745483398, 1e-14);
    EXPECT_NEAR(k.a2[1], 0.99007225036621, 1e-14);
    EXPECT_EQ(k.s1, (std::array<double, 2>{0.0, 0.0}));
    EXPECT_EQ(k.s2, (std::array<double, 2>{0.0, 0.0}));
}

TEST(KWeighting, OtherRatesKeepTheAnalogueResponse) {
    const KWeighting reference(rate48k);
    for (double rate : {44100.0, 88200.0, 96000.0, 192000.0}) {
        const KWeighting k(rate);
        for (double hz : {20.0, 38.0, 100.0, 997.0, 1681.0, 5000.0, 10000.0}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz rate, " << hz << " Hz");
            EXPECT_NEAR(responseDB(k, hz, rate), responseDB(reference, hz, rate48k), 0.05);
        }
    }
    // The shelf lifts high frequencies by about 4 dB; the high pass cuts the lows.
    EXPECT_NEAR(responseDB(reference, 10000.0, rate48k), 4.0, 0.1);
    EXPECT_LT(responseDB(reference, 20.0, rate48k), -10.0);
}

TEST(KWeighting, SumOfSquaresContinuesAcrossCalls) {
    const auto x = test::noise(1000, 0.5f, 1);
    KWeighting whole(rate48k), parts(rate48k);
    const double all = whole.sumOfSquares(x.data(), 1000);
    const double first = parts.sumOfSquares(x.data(), 300);
    const double second = parts.sumOfSquares(x.data() + 300, 700);
    EXPECT_NEAR(first + second, all, 1e-12 * all);
    EXPECT_EQ(parts.s1, whole.s1);
    EXPECT_EQ(parts.s2, whole.s2);
    EXPECT_EQ(parts.sumOfSquares(x.data(), 0), 0.0);
    EXPECT_THROW(parts.sumOfSquares(x.data(), -1), std::invalid_argument);
}

// --- Segments --------------------------------------------------------------------------

TEST(LoudnessMeter, SegmentIsATenthOfASecondRoundedHalfAway) {
    EXPECT_EQ(LoudnessMeter(48000.0, {1.0}).segmentFrames(), 4800);
    EXPECT_EQ(LoudnessMeter(44100.0, {1.0}).segmentFrames(), 4410);
    EXPECT_EQ(LoudnessMeter(11025.0, {1.0}).segmentFrames(), 1103);
    EXPECT_EQ(LoudnessMeter(4.0, {1.0}).segmentFrames(), 1);
    EXPECT_THROW(LoudnessMeter(std::numeric_limits<double>::infinity(), {1.0}), std::invalid_argument);
    EXPECT_THROW(LoudnessMeter(std::numeric_limits<double>::quiet_NaN(), {1.0}), std::invalid_argument);
}

// Each segment is the weighted sum of each channel's mean square, with every channel run
// through its own K-weighting exactly as the scalar recurrence does: filtering channels in
// lock-step changes no bit, in any kernel variant, whatever the number of channels.
TEST(LoudnessMeter, SegmentsAreExactlyTheWeightedScalarRecurrence) {
    const std::vector<double> allWeights{1.0, 1.0, 1.0, 0.0, 1.41, 1.41, 1.41, 1.41, 0.5, 1.0, 1.0};
    std::vector<kernels::Isa> variants{kernels::Isa::baseline};
    if (kernels::bestIsa() == kernels::Isa::avx2) variants.push_back(kernels::Isa::avx2);
    for (std::size_t count : {1, 2, 3, 5, 7, 11}) {
        const std::vector<double> weights(allWeights.begin(), allWeights.begin() + std::ptrdiff_t(count));
        Planes planes;
        for (unsigned c = 0; c < count; ++c) planes.push_back(test::noise(4800 * 5 + 123, 0.3f + 0.05f * c, c));

        std::vector<KWeighting> filters(count, KWeighting(rate48k));
        std::vector<double> expected;
        for (std::size_t at = 0; at + 4800 <= planes[0].size(); at += 4800) {
            double power = 0.0;
            for (std::size_t c = 0; c < count; ++c) {
                const double sum = weights[c] > 0 ? filters[c].sumOfSquares(planes[c].data() + at, 4800) : 0.0;
                power += weights[c] * sum / 4800.0;
            }
            expected.push_back(power);
        }
        for (kernels::Isa isa : variants) {
            LoudnessMeter meter(rate48k, weights, isa);
            feed(meter, planes, 1000);
            EXPECT_EQ(meter.segments(), expected) << count << " channels, variant " << int(isa);
        }
    }
}

TEST(LoudnessMeter, BlockSizesDoNotChangeAnything) {
    const std::vector<double> weights{1.0, 1.0, 1.0, 0.0, 1.41, 1.41};
    Planes planes;
    for (unsigned c = 0; c < weights.size(); ++c)
        planes.push_back(levelSteps({{-20.0 - 3.0 * c, 1.7}, {-35.0, 1.6}, {-18.0, 1.0}}, rate48k, 300.0 + 450.0 * c));
    const LoudnessMeter reference = measure(planes, weights, rate48k, 8192);
    ASSERT_TRUE(reference.integrated());
    ASSERT_TRUE(reference.range());
    for (std::int64_t block : {1, 100, 4800, 4801}) {
        const LoudnessMeter meter = measure(planes, weights, rate48k, block);
        EXPECT_EQ(meter.segments(), reference.segments()) << "block " << block;
        EXPECT_EQ(meter.integrated(), reference.integrated()) << "block " << block;
        EXPECT_EQ(meter.range(), reference.range()) << "block " << block;
    }
    LoudnessMeter random(rate48k, weights);
    test::feedRandomly(random, planes, 10000, 7);
    EXPECT_EQ(random.segments(), reference.segments());
}

// Streams at different rates and channel counts fed side by side (cut at each one's own
// segment boundaries) give each stream's own segments, bit for bit, in every variant.
TEST(LoudnessMeter, MetersFedTogetherMatchEachFedAlone) {
    constexpr std::int64_t frames = 48000 * 3 + 17, block = 3000;
    const Planes mono{test::noise(frames, 0.4f, 1)};
    const Planes pair{test::noise(frames, 0.3f, 2), test::noise(frames, 0.2f, 3)};
    std::vector<kernels::Isa> variants{kernels::Isa::baseline};
    if (kernels::bestIsa() == kernels::Isa::avx2) variants.push_back(kernels::Isa::avx2);
    for (kernels::Isa isa : variants) {
        LoudnessMeter a(44100.0, {1.0}, isa), b(48000.0, {1.0, 1.0}, isa);
        for (std::int64_t at = 0; at < frames; at += block) {
            const float* pa[] = {mono[0].data() + at};
            const float* pb[] = {pair[0].data() + at, pair[1].data() + at};
            const LoudnessMeter::Feed feeds[] = {{&a, pa, 1}, {&b, pb, 2}};
            LoudnessMeter::processTogether(feeds, std::min(block, frames - at));
        }
        LoudnessMeter aloneA(44100.0, {1.0}, isa), aloneB(48000.0, {1.0, 1.0}, isa);
        feed(aloneA, mono, 8192);
        feed(aloneB, pair, 8192);
        EXPECT_EQ(a.segments(), aloneA.segments()) << int(isa);
        EXPECT_EQ(b.segments(), aloneB.segments()) << int(isa);
        EXPECT_EQ(b.filters()[1].s2, aloneB.filters()[1].s2) << int(isa);
    }
}

TEST(LoudnessMeter, TrailingPartialSegmentIsNeverCounted) {
    const auto tone = levelSteps({{-20.0, 1.0}}, rate48k);
    LoudnessMeter meter(rate48k, {1.0});
    const float* p = tone.data();
    meter.process(&p, 1, 4800 * 9 + 4799);
    EXPECT_EQ(meter.segments().size(), 9u);
    meter.process(&p, 1, 0);
    meter.process(&p, 1, -5);
    EXPECT_EQ(meter.segments().size(), 9u);
}

TEST(LoudnessMeter, MorePointersThanWeightsIsRefused) {
    const std::vector<float> zeros(10, 0.0f);
    const float* pointers[3] = {zeros.data(), zeros.data(), zeros.data()};
    LoudnessMeter meter(rate48k, {1.0, 1.0});
    EXPECT_THROW(meter.process(pointers, 3, 10), std::invalid_argument);
    EXPECT_NO_THROW(meter.process(pointers, 1, 10));
}

// --- Channel weights ---------------------------------------------------------------------

TEST(LoudnessMeter, ZeroWeightChannelChangesNothingAndIsNotFiltered) {
    const auto music = levelSteps({{-18.0, 2.0}, {-28.0, 2.0}}, rate48k, 440.0);
    const auto rumble = test::noise(std::int64_t(music.size()), 0.9f, 3);
    const auto silent = std::vector<float>(music.size(), 0.0f);
    const LoudnessMeter loudLfe = measure({music, music, rumble}, {1.0, 1.0, 0.0});
    const LoudnessMeter quietLfe = measure({music, music, silent}, {1.0, 1.0, 0.0});
    EXPECT_EQ(loudLfe.segments(), quietLfe.segments());
    EXPECT_EQ(loudLfe.integrated(), quietLfe.integrated());
    EXPECT_EQ(loudLfe.range(), quietLfe.range());
    EXPECT_EQ(loudLfe.filters()[2].s1, (std::array<double, 2>{0.0, 0.0}));
    EXPECT_EQ(loudLfe.filters()[2].s2, (std::array<double, 2>{0.0, 0.0}));
    EXPECT_NE(loudLfe.filters()[0].s1, (std::array<double, 2>{0.0, 0.0}));
}

TEST(LoudnessMeter, SineOf997HzAtMinus23dBFS) {
    const auto tone = levelSteps({{-23.0, 20.0}}, rate48k, 997.0);
    EXPECT_NEAR(*measure(stereo(tone), {1.0, 1.0}).integrated(), -23.0, 0.1);
    EXPECT_NEAR(*measure({tone}, {1.0}).integrated(), -26.0, 0.1);
    const auto tone44 = levelSteps({{-23.0, 20.0}}, 44100.0, 997.0);
    EXPECT_NEAR(*measure(stereo(tone44), {1.0, 1.0}, 44100.0).integrated(), -23.0, 0.1);
}

// --- Gating edge cases -------------------------------------------------------------------

TEST(LoudnessMeter, TooLittleAudioGivesNoValues) {
    const auto tone = levelSteps({{-20.0, 0.39}}, rate48k);
    const LoudnessMeter meter = measure(stereo(tone), {1.0, 1.0});
    EXPECT_EQ(meter.segments().size(), 3u);
    EXPECT_FALSE(meter.integrated());
    EXPECT_FALSE(meter.range());
    EXPECT_FALSE(LoudnessMeter(rate48k, {1.0, 1.0}).integrated());
}

TEST(LoudnessMeter, BetweenOneBlockAndOneWindowGivesOnlyIntegrated) {
    for (double seconds : {0.4, 1.5, 2.99}) {
        const LoudnessMeter meter = measure(stereo(levelSteps({{-20.0, seconds}}, rate48k)), {1.0, 1.0});
        EXPECT_TRUE(meter.integrated()) << seconds;
        EXPECT_FALSE(meter.range()) << seconds;
    }
}

TEST(LoudnessMeter, SilenceAndNearSilenceGiveNoValues) {
    const std::vector<float> silence(std::size_t(rate48k * 5), 0.0f);
    const LoudnessMeter quiet = measure(stereo(silence), {1.0, 1.0});
    EXPECT_FALSE(quiet.integrated());
    EXPECT_FALSE(quiet.range());
    // About −80 LUFS: every block is below the absolute gate.
    const LoudnessMeter faint = measure(stereo(levelSteps({{-80.0, 5.0}}, rate48k)), {1.0, 1.0});
    EXPECT_FALSE(faint.integrated());
    EXPECT_FALSE(faint.range());
}

TEST(LoudnessMeter, SteadySignalHasNoRange) {
    const LoudnessMeter exactlyOneWindow = measure(stereo(levelSteps({{-20.0, 3.0}}, rate48k)), {1.0, 1.0});
    ASSERT_EQ(exactlyOneWindow.segments().size(), 30u);
    EXPECT_EQ(exactlyOneWindow.range(), 0.0);
    // The filters' start-up makes the first windows differ in the last digits only.
    const LoudnessMeter steady = measure(stereo(levelSteps({{-20.0, 12.0}}, rate48k)), {1.0, 1.0});
    ASSERT_TRUE(steady.range());
    EXPECT_NEAR(*steady.range(), 0.0, 1e-3);
}

// --- EBU Tech 3341 minimum-requirement sequences (1 kHz sines, levels per channel) ---------

struct IntegratedCase {
    const char* name;
    std::vector<std::pair<double, double>> steps; // dBFS, seconds
    double expected;
};

TEST(LoudnessMeter, EbuTech3341StereoSequences) {
    const std::vector<IntegratedCase> cases{
        {"1: -23 dBFS 20 s", {{-23.0, 20.0}}, -23.0},
        {"2: -33 dBFS 20 s", {{-33.0, 20.0}}, -33.0},
        {"3: -36/-23/-36", {{-36.0, 10.0}, {-23.0, 60.0}, {-36.0, 10.0}}, -23.0},
        {"4: -72/-36/-23/-36/-72", {{-72.0, 10.0}, {-36.0, 10.0}, {-23.0, 60.0}, {-36.0, 10.0}, {-72.0, 10.0}}, -23.0},
        {"5: -26/-20/-26", {{-26.0, 20.0}, {-20.0, 20.1}, {-26.0, 20.0}}, -23.0},
    };
    for (const auto& c : cases) {
        const auto integrated = measure(stereo(levelSteps(c.steps, rate48k)), {1.0, 1.0}).integrated();
        ASSERT_TRUE(integrated) << c.name;
        EXPECT_NEAR(*integrated, c.expected, 0.1) << c.name;
    }
}

TEST(LoudnessMeter, EbuTech3341FiveChannelSequence) {
    // L, R, C, Ls, Rs at -28, -28, -24, -30, -30 dBFS for 20 s; surrounds weighted 1.41.
    Planes planes;
    for (double dbfs : {-28.0, -28.0, -24.0, -30.0, -30.0}) planes.push_back(levelSteps({{dbfs, 20.0}}, rate48k));
    const auto integrated = measure(planes, {1.0, 1.0, 1.0, 1.41, 1.41}).integrated();
    ASSERT_TRUE(integrated);
    EXPECT_NEAR(*integrated, -23.0, 0.1);
}

// --- EBU Tech 3342 loudness-range sequences (stereo 1 kHz, 20 s per level) ----------------

TEST(LoudnessMeter, EbuTech3342Sequences) {
    const std::vector<IntegratedCase> cases{
        {"1: -20/-30", {{-20.0, 20.0}, {-30.0, 20.0}}, 10.0},
        {"2: -20/-15", {{-20.0, 20.0}, {-15.0, 20.0}}, 5.0},
        {"3: -40/-20", {{-40.0, 20.0}, {-20.0, 20.0}}, 20.0},
        {"4: -50/-35/-20/-35/-50", {{-50.0, 20.0}, {-35.0, 20.0}, {-20.0, 20.0}, {-35.0, 20.0}, {-50.0, 20.0}}, 15.0},
    };
    for (const auto& c : cases) {
        const auto range = measure(stereo(levelSteps(c.steps, rate48k)), {1.0, 1.0}).range();
        ASSERT_TRUE(range) << c.name;
        EXPECT_NEAR(*range, c.expected, 1.0) << c.name;
    }
}

// --- maxima of the momentary and short-term loudness, against libebur128 ------------------

TEST(LoudnessMeter, MaximaMatchLibebur128OnTheEbuSequences) {
    const std::vector<std::vector<std::pair<double, double>>> sequences{
        {{-23.0, 20.0}},
        {{-36.0, 10.0}, {-23.0, 60.0}, {-36.0, 10.0}},
        {{-26.0, 20.0}, {-20.0, 20.1}, {-26.0, 20.0}},
        {{-20.0, 20.0}, {-15.0, 20.0}},
        {{-50.0, 20.0}, {-35.0, 20.0}, {-20.0, 0.7}, {-35.0, 20.0}}, // a 700 ms burst: momentary tops short-term
    };
    for (std::size_t k = 0; k < sequences.size(); ++k) {
        const Planes planes = stereo(levelSteps(sequences[k], rate48k));
        const LoudnessMeter meter = measure(planes, {1.0, 1.0});

        // libebur128 asked after every 100 ms, once its window is full.
        std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
            ebur128_init(2, 48000, EBUR128_MODE_M | EBUR128_MODE_S), [](ebur128_state* s) { ebur128_destroy(&s); });
        const std::size_t chunk = 4800, frames = planes[0].size();
        std::vector<float> interleaved(2 * chunk);
        double momentary = -HUGE_VAL, shortTerm = -HUGE_VAL, value = 0;
        for (std::size_t at = 0, n = 1; at + chunk <= frames; at += chunk, ++n) {
            for (std::size_t i = 0; i < chunk; ++i) {
                interleaved[2 * i] = planes[0][at + i];
                interleaved[2 * i + 1] = planes[1][at + i];
            }
            ASSERT_EQ(ebur128_add_frames_float(state.get(), interleaved.data(), chunk), EBUR128_SUCCESS);
            if (n >= 4 && ebur128_loudness_momentary(state.get(), &value) == EBUR128_SUCCESS) momentary = std::max(momentary, value);
            if (n >= 30 && ebur128_loudness_shortterm(state.get(), &value) == EBUR128_SUCCESS) shortTerm = std::max(shortTerm, value);
        }
        ASSERT_TRUE(meter.maxMomentary() && meter.maxShortTerm()) << k;
        EXPECT_NEAR(*meter.maxMomentary(), momentary, 0.01) << k;
        EXPECT_NEAR(*meter.maxShortTerm(), shortTerm, 0.01) << k;
        if (k == sequences.size() - 1) {
            EXPECT_GT(*meter.maxMomentary() - *meter.maxShortTerm(), 3.0);
        }
    }
    EXPECT_FALSE(measure(stereo(levelSteps({{-20.0, 2.0}}, rate48k)), {1.0, 1.0}).maxShortTerm()); // shorter than 3 s
}

TEST(LoudnessMeter, HistoryIsLibebur128AskedEvery100ms) {
    const std::vector<std::vector<std::pair<double, double>>> sequences{
        {{-23.0, 20.0}},
        {{-36.0, 10.0}, {-23.0, 60.0}, {-36.0, 10.0}},
        {{-50.0, 20.0}, {-35.0, 20.0}, {-20.0, 0.7}, {-35.0, 20.0}},
        {{-80.0, 5.0}, {-26.0, 10.0}}, // below the gate at first: absent there
    };
    for (std::size_t k = 0; k < sequences.size(); ++k) {
        const Planes planes = stereo(levelSteps(sequences[k], rate48k));
        const LoudnessMeter meter = measure(planes, {1.0, 1.0});
        std::vector<float> momentary, shortTerm;
        meter.history(momentary, shortTerm, -HUGE_VALF);
        ASSERT_EQ(momentary.size(), meter.segments().size());

        std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
            ebur128_init(2, 48000, EBUR128_MODE_M | EBUR128_MODE_S), [](ebur128_state* s) { ebur128_destroy(&s); });
        const std::size_t chunk = 4800, frames = planes[0].size();
        std::vector<float> interleaved(2 * chunk);
        double value = 0;
        for (std::size_t at = 0, n = 0; at + chunk <= frames; at += chunk, ++n) {
            for (std::size_t i = 0; i < chunk; ++i) {
                interleaved[2 * i] = planes[0][at + i];
                interleaved[2 * i + 1] = planes[1][at + i];
            }
            ASSERT_EQ(ebur128_add_frames_float(state.get(), interleaved.data(), chunk), EBUR128_SUCCESS);
            const auto check = [&](float ours, int result, std::size_t window) {
                if (n + 1 < window || result != EBUR128_SUCCESS || !(value > -70.0)) {
                    EXPECT_EQ(ours, -HUGE_VALF) << k << " at " << n;
                } else {
                    EXPECT_NEAR(ours, value, 0.05) << k << " at " << n;
                }
            };
            check(momentary[n], ebur128_loudness_momentary(state.get(), &value), 4);
            check(shortTerm[n], ebur128_loudness_shortterm(state.get(), &value), 30);
        }
    }
}

} // namespace
} // namespace vaun
