#include "analysis/SpectrogramBuilder.h"

#include "MeterTestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>
#include <thread>

namespace vaun {
namespace {

using test::feed;
using test::Planes;
using test::sine;

std::optional<Spectrogram> build(const Planes& planes, double rate, int columns = 480, std::int64_t block = 8192) {
    SpectrogramBuilder builder(std::int64_t(planes[0].size()), rate, columns);
    feed(builder, planes, block);
    return builder.finish();
}

std::uint8_t cell(const Spectrogram& s, std::int64_t column, std::int64_t row) {
    return s.values[std::size_t(column * s.rows + row)];
}

// The loudest row of a column.
std::int64_t loudestRow(const Spectrogram& s, std::int64_t column) {
    const auto begin = s.values.begin() + column * s.rows;
    return std::max_element(begin, begin + s.rows) - begin;
}

bool allZero(const Spectrogram& s) {
    return std::all_of(s.values.begin(), s.values.end(), [](std::uint8_t v) { return v == 0; });
}

// --- The record --------------------------------------------------------------------------

TEST(Spectrogram, RowsAreLogSpacedBetweenTheEnds) {
    Spectrogram s{1, 160, 20.0, 24000.0, std::vector<std::uint8_t>(160)};
    EXPECT_DOUBLE_EQ(s.frequency(0), 20.0);
    EXPECT_DOUBLE_EQ(s.frequency(159), 24000.0);
    EXPECT_NEAR(s.frequency(79.5), std::sqrt(20.0 * 24000.0), 1e-9);
    EXPECT_NEAR(s.frequency(1) / s.frequency(0), s.frequency(159) / s.frequency(158), 1e-12);
    const Spectrogram single{1, 1, 20.0, 400.0, {0}};
    EXPECT_DOUBLE_EQ(single.frequency(1), 400.0);
}

// --- Planning ----------------------------------------------------------------------------

TEST(SpectrogramBuilder, NoColumnFitsIn2048Frames) {
    SpectrogramBuilder builder(2048, 48000.0, 480);
    EXPECT_EQ(builder.columns(), 0);
    const auto x = test::noise(2048, 0.5f, 1);
    const float* p = x.data();
    builder.process(&p, 1, 2048);
    EXPECT_FALSE(builder.finish());
    EXPECT_EQ(SpectrogramBuilder(0, 48000.0, 480).columns(), 0);
    EXPECT_EQ(SpectrogramBuilder(-5, 48000.0, 480).columns(), 0);
}

TEST(SpectrogramBuilder, OneFrameMoreGivesOneColumn) {
    const auto s = build({test::noise(2049, 0.5f, 2)}, 48000.0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->columns, 1);
    EXPECT_EQ(s->rows, 160);
    EXPECT_EQ(s->values.size(), 160u);
}

TEST(SpectrogramBuilder, PlansAtMostOneColumnPer512Frames) {
    const SpectrogramBuilder builder(2048 + 512 * 100, 48000.0, 480);
    ASSERT_EQ(builder.columns(), 100);
    EXPECT_EQ(builder.starts().front(), 0);
    EXPECT_EQ(builder.starts().back(), 512 * 100);
    EXPECT_TRUE(std::is_sorted(builder.starts().begin(), builder.starts().end()));
    // Fewer columns than asked for is the planned count; none asked still gives one.
    EXPECT_EQ(SpectrogramBuilder(2048 + 512 * 100, 48000.0, 7).columns(), 7);
    EXPECT_EQ(SpectrogramBuilder(100000, 48000.0, 0).starts(), (std::vector<std::int64_t>{0}));
}

TEST(SpectrogramBuilder, OneMinuteGivesEvenlySpreadColumns) {
    const std::int64_t frames = 48000 * 60;
    SpectrogramBuilder builder(frames, 48000.0, 480);
    ASSERT_EQ(builder.columns(), 480);
    EXPECT_EQ(builder.starts().front(), 0);
    EXPECT_EQ(builder.starts().back(), 2877952);
    EXPECT_EQ(builder.starts()[1], 2877952 / 479);
    const Planes silence{std::vector<float>(std::size_t(frames), 0.0f)};
    feed(builder, silence, 8192);
    const auto s = builder.finish();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->columns, 480);
    EXPECT_EQ(s->values.size(), 480u * 160u);
    EXPECT_TRUE(allZero(*s));
}

TEST(SpectrogramBuilder, ShortFilesGetContiguousWindows) {
    const auto s = build({test::noise(48000 * 5, 0.1f, 3)}, 48000.0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->columns, 117);
}

TEST(SpectrogramBuilder, HugeLengthsPlanWithoutOverflow) {
    const std::int64_t frames = std::int64_t(1) << 62;
    const SpectrogramBuilder builder(frames, 48000.0, 480);
    ASSERT_EQ(builder.columns(), 480);
    EXPECT_EQ(builder.starts().back(), frames - 2048);
    EXPECT_TRUE(std::is_sorted(builder.starts().begin(), builder.starts().end()));
}

// --- Levels ------------------------------------------------------------------------------

TEST(SpectrogramBuilder, SilenceIsAllZero) {
    const auto s = build({std::vector<float>(48000, 0.0f), std::vector<float>(48000, 0.0f)}, 48000.0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->columns, 23);
    EXPECT_TRUE(allZero(*s));
}

TEST(SpectrogramBuilder, FullScaleSineOnABinReadsZeroDB) {
    // Bin 64 of 2048 at 48 kHz is 1500 Hz.
    const auto s = build({sine(1500.0, 1.0, 48000.0, 48000, 0.3)}, 48000.0);
    ASSERT_TRUE(s);
    for (std::int64_t c = 0; c < s->columns; ++c) {
        const std::int64_t row = loudestRow(*s, c);
        EXPECT_GE(cell(*s, c, row), 254);
        EXPECT_NEAR(std::log(s->frequency(double(row)) / 1500.0), 0.0, std::log(1.05));
    }
}

TEST(SpectrogramBuilder, FullScaleSineBetweenBinsStaysNearZeroDB) {
    const auto s = build({sine(1000.0, 1.0, 48000.0, 48000)}, 48000.0);
    ASSERT_TRUE(s);
    const std::int64_t row = loudestRow(*s, 3);
    EXPECT_GE(cell(*s, 3, row), 250);
    EXPECT_NEAR(std::log(s->frequency(double(row)) / 1000.0), 0.0, std::log(1.05));
}

TEST(SpectrogramBuilder, BytesMapAHundredDecibels) {
    // 255 × (100 − 50) / 100 = 127.5 and 255 × (100 − 6.02) / 100 = 239.6, truncated.
    const auto half = build({sine(1500.0, 0.5, 48000.0, 4096)}, 48000.0);
    const auto faint = build({sine(1500.0, std::pow(10.0, -50.0 / 20.0), 48000.0, 4096)}, 48000.0);
    ASSERT_TRUE(half && faint);
    const std::int64_t row = loudestRow(*half, 0);
    EXPECT_EQ(loudestRow(*faint, 0), row);
    EXPECT_NEAR(cell(*half, 0, row), 239, 1);
    EXPECT_NEAR(cell(*faint, 0, row), 127, 1);
}

TEST(SpectrogramBuilder, OppositeChannelsCancel) {
    const auto left = test::noise(48000, 0.8f, 4);
    auto right = left;
    for (float& v : right) v = -v;
    const auto s = build({left, right}, 48000.0);
    ASSERT_TRUE(s);
    EXPECT_TRUE(allZero(*s));
}

TEST(SpectrogramBuilder, ChannelsAreAveraged) {
    const auto x = sine(1500.0, 0.5, 48000.0, 4096, 0.2);
    const auto mono = build({x}, 48000.0);
    const auto triple = build({x, x, x}, 48000.0);
    ASSERT_TRUE(mono && triple);
    ASSERT_EQ(mono->values.size(), triple->values.size());
    for (std::size_t i = 0; i < mono->values.size(); ++i) EXPECT_NEAR(mono->values[i], triple->values[i], 1);
}

TEST(SpectrogramBuilder, TopRowFollowsTheRate) {
    for (auto [rate, top] : {std::pair{48000.0, 24000.0}, {96000.0, 24000.0}, {22050.0, 11025.0}, {44100.0, 22050.0}}) {
        const auto s = build({test::noise(4096, 0.5f, 5)}, rate);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->minHz, 20.0);
        EXPECT_EQ(s->maxHz, top);
        EXPECT_DOUBLE_EQ(s->frequency(0), 20.0);
        EXPECT_DOUBLE_EQ(s->frequency(159), top);
    }
}

// Each column is the spectrum defined from first principles: periodic Hann window, twice
// the plain DFT magnitude, divided by the window's sum, the loudest bin of each row's band.
TEST(SpectrogramBuilder, ColumnMatchesAPlainDFT) {
    const double rate = 44100.0;
    const auto x = test::noise(2049, 0.5f, 6);
    std::vector<double> window(2048), magnitude(1024);
    double windowSum = 0.0;
    for (int n = 0; n < 2048; ++n) windowSum += window[std::size_t(n)] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / 2048);
    for (int k = 1; k < 1024; ++k) {
        std::complex<double> sum;
        for (int n = 0; n < 2048; ++n)
            sum += double(x[std::size_t(n)]) * window[std::size_t(n)] * std::polar(1.0, -2.0 * std::numbers::pi * k * n / 2048);
        magnitude[std::size_t(k)] = 2.0 * std::abs(sum);
    }
    const auto s = build({x}, rate);
    ASSERT_TRUE(s);
    const double binHz = rate / 2048, ratio = s->maxHz / 20.0;
    for (int r = 0; r < 160; ++r) {
        const int lo = std::max(1, int(20.0 * std::pow(ratio, (r - 0.5) / 159) / binHz));
        const int hi = std::min(std::max(int(20.0 * std::pow(ratio, (r + 0.5) / 159) / binHz), lo), 1023);
        double m = 0.0;
        for (int k = lo; k <= hi; ++k) m = std::max(m, magnitude[std::size_t(k)]);
        const double level = 20.0 * std::log10(std::max(m / windowSum, 1e-9));
        const double expected = std::clamp((level + 100.0) / 100.0 * 255.0, 0.0, 255.0);
        EXPECT_NEAR(double(cell(*s, 0, r)), std::floor(expected), 1.0) << "row " << r;
    }
}

// --- Streaming ---------------------------------------------------------------------------

TEST(SpectrogramBuilder, BlockCutsDoNotMatter) {
    for (double seconds : {3.0, 30.0}) {
        const auto frames = std::int64_t(48000 * seconds);
        const Planes planes{test::noise(frames, 0.5f, 7), sine(440.0, 0.3, 48000.0, frames)};
        const auto reference = build(planes, 48000.0, 480, 8192);
        ASSERT_TRUE(reference);
        for (std::int64_t block : {1, 100, 2048, 2049}) EXPECT_EQ(build(planes, 48000.0, 480, block), reference) << block;
        SpectrogramBuilder random(frames, 48000.0, 480);
        test::feedRandomly(random, planes, 5000, 8);
        EXPECT_EQ(random.finish(), reference);
    }
}

TEST(SpectrogramBuilder, SkippedFramesAreNeverLookedAt) {
    // One minute: silence, then a tone from 30 s on. Columns wholly in the silence read 0;
    // columns starting after the change see the tone.
    const std::int64_t frames = 48000 * 60, change = 48000 * 30;
    std::vector<float> x(std::size_t(frames), 0.0f);
    const auto tone = sine(1000.0, 1.0, 48000.0, frames - change);
    std::copy(tone.begin(), tone.end(), x.begin() + change);
    SpectrogramBuilder builder(frames, 48000.0, 480);
    const auto starts = builder.starts();
    feed(builder, {x}, 8192);
    const auto s = builder.finish();
    ASSERT_TRUE(s);
    for (std::int64_t c = 0; c < s->columns; ++c) {
        const std::int64_t start = starts[std::size_t(c)];
        if (start + 2048 <= change) {
            EXPECT_EQ(*std::max_element(s->values.begin() + c * 160, s->values.begin() + c * 160 + 160), 0) << c;
        } else if (start >= change) {
            EXPECT_GE(cell(*s, c, loudestRow(*s, c)), 250) << c;
        }
    }
}

TEST(SpectrogramBuilder, IncompleteLastColumnIsDropped) {
    const auto x = test::noise(48000, 0.5f, 9);
    SpectrogramBuilder builder(48000, 48000.0, 480);
    const float* p = x.data();
    builder.process(&p, 1, 2048 * 3 + 1000);
    const auto s = builder.finish();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->columns, 3);
}

TEST(SpectrogramBuilder, NeedsAtLeastOneChannel) {
    SpectrogramBuilder builder(4096, 48000.0, 480);
    EXPECT_THROW(builder.process(nullptr, 0, 100), std::invalid_argument);
}

TEST(SpectrogramBuilder, BuildersOnManyThreadsAgree) {
    const Planes planes{test::noise(48000, 0.5f, 10)};
    const auto reference = build(planes, 48000.0);
    std::vector<std::optional<Spectrogram>> results(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) results[t] = build(planes, 48000.0);
        });
    for (auto& thread : threads) thread.join();
    for (const auto& r : results) EXPECT_EQ(r, reference);
}

} // namespace
} // namespace vaun
