// The one-pass analysis driver over real files.
#include "analysis/AudioAnalyzer.h"
#include "analysis/LoudnessMeter.h"
#include "analysis/SpectrogramBuilder.h"
#include "analysis/TruePeakMeter.h"
#include "decode/AudioFile.h"
#include "TestAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vaun::test {
namespace {

const auto never = [] { return false; };

class AnalyzerTest : public ::testing::Test {
protected:
    TempDir dir;

    std::filesystem::path write(const std::string& name, const Planes& planes, double rate = 48000,
                                WavOptions options = {}) {
        const auto path = dir / name;
        writeWav(path, planes, rate, options);
        return path;
    }
};

TEST_F(AnalyzerTest, ZeroFramesGiveTheEmptyAnalysisWithoutProgress) {
    int calls = 0;
    const auto a = AudioAnalyzer{}.analyze(write("empty.wav", {{}, {}}), std::nullopt, 480, never,
                                           [&](double) { ++calls; });
    EXPECT_EQ(a, AudioAnalysis{});
    EXPECT_EQ(calls, 0);
}

TEST_F(AnalyzerTest, DigitalSilenceHasNoLevelsButAZeroSpectrogram) {
    const auto a = AudioAnalyzer{}.analyze(write("silence.wav", Planes(2, std::vector<float>(48000))), std::nullopt,
                                           480, never);
    EXPECT_FALSE(a.integratedLUFS);
    EXPECT_FALSE(a.loudnessRangeLU);
    EXPECT_FALSE(a.truePeakDBTP);
    EXPECT_FALSE(a.samplePeakDBFS);
    EXPECT_EQ(a.channelTruePeakDBTP, (std::vector<std::optional<double>>{std::nullopt, std::nullopt}));
    ASSERT_TRUE(a.spectrogram);
    EXPECT_EQ(a.spectrogram->rows, 160);
    EXPECT_TRUE(std::all_of(a.spectrogram->values.begin(), a.spectrogram->values.end(), [](auto v) { return v == 0; }));
}

TEST_F(AnalyzerTest, ShortFilesLackTheMeasuresTheyAreTooShortFor) {
    auto analyse = [&](std::int64_t frames) {
        const auto s = sine(1000, 0.5, 48000, frames);
        return AudioAnalyzer{}.analyze(write("short.wav", {s, s}), std::nullopt, 480, never);
    };
    const auto tiny = analyse(2048);
    EXPECT_FALSE(tiny.spectrogram);
    EXPECT_FALSE(tiny.integratedLUFS);
    EXPECT_TRUE(tiny.samplePeakDBFS);
    const auto second = analyse(48000);
    EXPECT_TRUE(second.spectrogram);
    EXPECT_TRUE(second.integratedLUFS);
    EXPECT_FALSE(second.loudnessRangeLU);
    EXPECT_TRUE(analyse(48000 * 3).loudnessRangeLU);
}

TEST_F(AnalyzerTest, SilentLeftAndHalfScaleRight) {
    const auto frames = 48000;
    const auto a = AudioAnalyzer{}.analyze(
        write("right.wav", {std::vector<float>(frames), sine(441, 0.5, 48000, frames, 0.3)}, 48000,
              {SampleFormat::Float32, {}, {}}),
        std::nullopt, 480, never);
    ASSERT_EQ(a.channelTruePeakDBTP.size(), 2u);
    EXPECT_FALSE(a.channelTruePeakDBTP[0]);
    ASSERT_TRUE(a.channelTruePeakDBTP[1]);
    EXPECT_GE(*a.channelTruePeakDBTP[1], 20 * std::log10(0.5) - 1e-4);
    EXPECT_NEAR(*a.samplePeakDBFS, 20 * std::log10(0.5), 0.01);
    EXPECT_NEAR(*a.truePeakDBTP, *a.channelTruePeakDBTP[1], 1e-5);
}

TEST_F(AnalyzerTest, ProgressIsMonotonicInStepsOfTwoPercent) {
    const auto s = sine(1000, 0.5, 48000, 48000 * 4 + 17);
    std::vector<double> reports;
    AudioAnalyzer{}.analyze(write("tone.wav", {s}), std::nullopt, 480, never,
                            [&](double f) { reports.push_back(f); });
    ASSERT_FALSE(reports.empty());
    EXPECT_DOUBLE_EQ(reports.front(), 8192.0 / double(s.size()));
    for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i] - reports[i - 1], 0.02);
    EXPECT_LE(reports.back(), 1.0);

    reports.clear();
    AudioAnalyzer{}.analyze(write("one-block.wav", {sine(1000, 0.5, 48000, 8000)}), std::nullopt, 480, never,
                            [&](double f) { reports.push_back(f); });
    EXPECT_EQ(reports, std::vector<double>{1.0});
}

TEST_F(AnalyzerTest, CancellationBeforeOpeningAndBetweenBlocks) {
    EXPECT_THROW(AudioAnalyzer{}.analyze(dir / "does-not-exist.wav", std::nullopt, 480, [] { return true; }),
                 CancellationError);
    const auto path = write("long.wav", {sine(1000, 0.5, 48000, 48000 * 10)});
    int polls = 0;
    EXPECT_THROW(AudioAnalyzer{}.analyze(path, std::nullopt, 480, [&] { return ++polls > 5; }), CancellationError);
    EXPECT_EQ(polls, 6); // one poll before opening, then one at the top of each block
}

TEST_F(AnalyzerTest, DecoderErrorsPassThroughAndAreNotCancellation) {
    try {
        AudioAnalyzer{}.analyze(dir / "does-not-exist.wav", std::nullopt, 480, never);
        FAIL() << "expected an error";
    } catch (const CancellationError&) {
        FAIL() << "a missing file is not a cancellation";
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().empty());
    }
}

TEST_F(AnalyzerTest, WeightsComeFromTheFileLayoutOrAMatchingMap) {
    // 5.1 with a loud LFE: the LFE weight of 0 keeps it out of the loudness.
    const std::int64_t frames = 48000 * 4;
    const auto tone = sine(1000, dbToLinear(-20), 48000, frames);
    Planes planes(6, std::vector<float>(std::size_t(frames)));
    planes[0] = tone;
    const auto quiet = AudioAnalyzer{}.analyze(write("a.wav", planes, 48000, {SampleFormat::PCM24, 0x3F, {}}),
                                               std::nullopt, 480, never);
    planes[3] = sine(50, 0.9, 48000, frames);
    const auto withLfe = AudioAnalyzer{}.analyze(write("b.wav", planes, 48000, {SampleFormat::PCM24, 0x3F, {}}),
                                                 std::nullopt, 480, never);
    ASSERT_TRUE(quiet.integratedLUFS && withLfe.integratedLUFS);
    EXPECT_NEAR(*quiet.integratedLUFS, *withLfe.integratedLUFS, 1e-9);

    // A map that fits is used; one with the wrong count is ignored for the default labels.
    const auto path = write("c.wav", planes, 48000, {SampleFormat::PCM24, 0x3F, {}});
    ChannelMap allOnes{{"1", "2", "3", "4", "5", "6"}, std::vector<double>(6, 1.0)};
    const auto counted = AudioAnalyzer{}.analyze(path, allOnes, 480, never);
    EXPECT_GT(*counted.integratedLUFS, *withLfe.integratedLUFS + 3);
    ChannelMap wrong{{"L", "R"}, {1.0, 1.0}};
    EXPECT_EQ(AudioAnalyzer{}.analyze(path, wrong, 480, never), withLfe);
}

// The decode-ahead thread must not change what the meters see: compare with a plain loop.
TEST_F(AnalyzerTest, SameResultAsAPlainSequentialLoop) {
    const std::int64_t frames = 48000 * 25 + 4321;
    Planes planes{sine(997, 0.3, 48000, frames), sine(3000, 0.6, 48000, frames, 1.0), sine(60, 0.8, 48000, frames)};
    for (std::int64_t i = 0; i < frames; i += 7919) planes[1][std::size_t(i)] = 0.99f;
    const auto path = write("three.wav", planes);

    AudioFile file(path);
    const double rate = file.processingFormat().sampleRateHz;
    LoudnessMeter loudness(rate, {1.0, 1.0, 1.0});
    TruePeakMeter peaks(rate, 3);
    SpectrogramBuilder spectrum(file.length(), rate, 480);
    auto buffer = AudioPCMBuffer::make(3, 8192);
    std::int64_t done = 0;
    while (done < file.length()) {
        buffer->setFrameLength(0);
        file.read(*buffer, std::uint32_t(std::min<std::int64_t>(8192, file.length() - done)));
        const auto n = std::int64_t(buffer->frameLength());
        if (n == 0) break;
        loudness.process(buffer->floatChannelData(), 3, n);
        peaks.process(buffer->floatChannelData(), 3, n);
        spectrum.process(buffer->floatChannelData(), 3, n);
        done += n;
    }
    const auto a = AudioAnalyzer{}.analyze(path, std::nullopt, 480, never);
    EXPECT_EQ(a.integratedLUFS, loudness.integrated());
    EXPECT_EQ(a.loudnessRangeLU, loudness.range());
    EXPECT_EQ(a.spectrogram, spectrum.finish());
    ASSERT_EQ(a.channelTruePeakDBTP.size(), 3u);
    for (std::size_t c = 0; c < 3; ++c)
        EXPECT_EQ(a.channelTruePeakDBTP[c], std::optional<double>(20.0f * std::log10(peaks.truePeak()[c])));
    EXPECT_EQ(a.samplePeakDBFS, 20 * std::log10(double(peaks.samplePeak())));
    EXPECT_EQ(a.spectrogram->columns, 480);
}

TEST_F(AnalyzerTest, AFileShorterThanItsHeaderEndsThePassEarly) {
    const auto s = sine(1000, 0.25, 48000, 48000 * 2);
    const auto path = write("cut.wav", {s, s});
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 48000 * 2 * 3);
    const auto a = AudioAnalyzer{}.analyze(path, std::nullopt, 480, never);
    ASSERT_TRUE(a.samplePeakDBFS);
    EXPECT_NEAR(*a.samplePeakDBFS, 20 * std::log10(0.25), 0.01);
    ASSERT_TRUE(a.integratedLUFS);
}

// Files measured side by side give what each gives alone, and each is handed over as soon
// as it is done: the short one first, while the long one goes on.
TEST_F(AnalyzerTest, FilesAnalysedTogetherMatchEachAlone) {
    const std::int64_t long_ = 48000 * 6 + 100;
    const std::vector<std::filesystem::path> paths{
        write("long.wav", {sine(440, 0.5, 48000, long_), sine(5000, 0.3, 48000, long_)}),
        write("short.wav", {sine(997, 0.7, 44100, 44100 * 4)}, 44100),
        write("silent.wav", {std::vector<float>(9000)})};
    std::vector<AudioFile> files;
    for (const auto& p : paths) files.emplace_back(p);
    std::vector<std::size_t> order;
    std::vector<AudioAnalysis> together(paths.size());
    AudioAnalyzer{}.analyzeTogether(std::move(files), never, [&](std::size_t i, AudioAnalyzer::Outcome o) {
        EXPECT_FALSE(o.error) << i;
        order.push_back(i);
        together[i] = o.analysis;
    });
    EXPECT_EQ(order, (std::vector<std::size_t>{2, 1, 0}));
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(together[i], AudioAnalyzer{}.analyze(paths[i], std::nullopt, 0, never)) << paths[i];
    ASSERT_TRUE(together[0].integratedLUFS && together[1].integratedLUFS);
    EXPECT_FALSE(together[2].integratedLUFS);
}

TEST_F(AnalyzerTest, TruePeakOversAreTheStepsOfALoudBurst) {
    // Ten seconds of quiet noise with a one-second burst from 4 s on, peaking at `burstDB`.
    const auto oversWith = [&](double burstDB) {
        Planes planes(2, std::vector<float>(480000));
        std::uint32_t state = 1;
        for (auto& plane : planes)
            for (std::size_t i = 0; i < plane.size(); ++i) {
                state = state * 1664525u + 1013904223u;
                plane[i] = float(0.05 * (double(state >> 8) / double(1 << 24) - 0.5));
                if (i >= 192000 && i < 240000) plane[i] = float(dbToLinear(burstDB) * std::sin(0.13 * double(i)));
            }
        WavOptions options;
        options.format = SampleFormat::Float32;
        return AudioAnalyzer{}.analyze(write("burst.wav", planes, 48000, options), std::nullopt, 0, never)
            .history.truePeakOvers;
    };
    const std::vector<double> overs = oversWith(-0.5);
    ASSERT_GE(overs.size(), 10u);
    for (int k = 0; k < 10; ++k) EXPECT_NEAR(overs[std::size_t(k)], 4.0 + 0.1 * k, 1e-9);
    for (double t : overs) EXPECT_TRUE(t >= 4.0 - 1e-9 && t <= 5.0 + 1e-9) << t; // the burst, its last ringing at most
    EXPECT_TRUE(oversWith(-3.0).empty()); // −3 dBTP is no over
}

} // namespace
} // namespace vaun::test
