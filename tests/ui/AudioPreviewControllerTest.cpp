// The preview controller with real files: loads that supersede each other, the analysis rule
// for long files, playback on a private sound server, unreadable artwork, a file that arrives
// slowly, and files that lie about themselves.
#include "AudioPreviewController.h"
#include "PreviewFixtures.h"
#include "PreviewLoader.h"
#include "PulseTestServer.h"
#include "TestAudio.h"

#include <QElapsedTimer>
#include <QImage>

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace vaun::test {
namespace {

using Mode = PreviewModel::DisplayMode;

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string le(std::uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += char((v >> (8 * i)) & 0xFF);
    return s;
}

// 8-bit stereo PCM at 48 kHz whose sample data is a hole: any length, no disk, quick to read.
std::filesystem::path sparseStereo(const std::filesystem::path& path, std::uint32_t frames) {
    const std::uint32_t bytes = frames * 2;
    writeBytes(path, "RIFF" + le(36 + bytes, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(48000, 4) +
                         le(96000, 4) + le(2, 2) + le(8, 2) + "data" + le(bytes, 4));
    std::filesystem::resize_file(path, 44 + std::uintmax_t(bytes));
    return path;
}

using Outcome = PrepareOutcome;

class PreviewController : public ::testing::Test {
protected:
    bool waitFor(const std::function<bool()>& done, int ms = 20000) { return QTest::qWaitFor(done, ms); }

    TempDir dir;
    AudioPreviewController controller;
    PreviewModel& model = controller.model();
};

TEST_F(PreviewController, TheLaterOfTwoLoadsWinsAndACancelledLoadLeavesNoTrace) {
    const auto a = tone(dir / "a.wav", 2, 2.0), b = tone(dir / "b.wav", 6, 0.5);
    std::vector<std::string> shown;
    QObject::connect(&model, &PreviewModel::metadataChanged, [&] {
        if (model.metadata()) shown.push_back(model.metadata()->fileName);
    });
    Outcome first, second;
    controller.prepare(a, first.callback());
    controller.prepare(b, second.callback());
    ASSERT_TRUE(waitFor([&] { return first.done() && second.done(); }));
    EXPECT_TRUE(first.is<CancellationError>());
    EXPECT_FALSE(second.error);
    EXPECT_EQ(shown, std::vector<std::string>{"b.wav"});
    EXPECT_EQ(model.lanes().size(), 6u);
    EXPECT_EQ(model.mode(), Mode::channels);
    EXPECT_TRUE(model.waveform());
    EXPECT_FALSE(model.isLoading());
    EXPECT_TRUE(controller.isViewLoaded());

    Outcome third;
    controller.prepare(a, third.callback());
    EXPECT_TRUE(model.isLoading());
    controller.cancelPreview();
    EXPECT_FALSE(model.isLoading());
    ASSERT_TRUE(waitFor([&] { return third.done(); }));
    QTest::qWait(50);
    EXPECT_TRUE(third.is<CancellationError>());
    EXPECT_FALSE(model.metadata());
    EXPECT_FALSE(model.errorMessage());
    EXPECT_FALSE(model.analysisProgress());
}

TEST(PreviewLoaderRule, CountsSamplesOverAllChannelsRoundingHalvesAway) {
    AudioMetadata m;
    m.durationSeconds = 1800;
    m.sampleRateHz = 48000;
    m.channels = 2;
    EXPECT_EQ(PreviewLoader::sampleCount(m), 172'800'000);
    EXPECT_FALSE(PreviewLoader::defersAnalysis(m, AudioPreviewController::automaticAnalysisSamples));
    m.durationSeconds = 1800 + 1.0 / 48000;
    EXPECT_TRUE(PreviewLoader::defersAnalysis(m, AudioPreviewController::automaticAnalysisSamples));
    m = {};
    m.durationSeconds = 2.5;
    m.sampleRateHz = 1;
    EXPECT_EQ(PreviewLoader::sampleCount(m), 3); // no channel count counts as one
    m.channels = 0;
    EXPECT_EQ(PreviewLoader::sampleCount(m), 3);
    m.durationSeconds = 4e18;
    m.channels = 4;
    EXPECT_FALSE(PreviewLoader::sampleCount(m)); // past 64 bits: never analysed unasked
    EXPECT_TRUE(PreviewLoader::defersAnalysis(m, AudioPreviewController::automaticAnalysisSamples));
}

TEST_F(PreviewController, AStereoFileOfExactlyTheLimitIsAnalysedAndOneFrameMoreWaits) {
    controller.prepareAndWait(sparseStereo(dir / "limit.wav", 86'400'000));
    EXPECT_FALSE(model.analysisDeferred());
    EXPECT_TRUE(model.analysisProgress()) << "the analysis runs";
    controller.prepareAndWait(sparseStereo(dir / "over.wav", 86'400'001));
    EXPECT_TRUE(model.analysisDeferred());
    EXPECT_FALSE(model.analysisProgress());
    controller.cancelPreview();
}

TEST_F(PreviewController, AnalysisStartsOnceAndNotAgainWhenDone) {
    int starts = 0;
    QObject::connect(&model, &PreviewModel::analysisProgressChanged, [&] {
        if (model.analysisProgress() == 0.0) ++starts;
    });
    controller.prepareAndWait(tone(dir / "short.wav", 2, 3.0));
    controller.startAnalysis();
    ASSERT_TRUE(waitFor([&] { return model.analysis().has_value(); }));
    EXPECT_FALSE(model.analysisProgress());
    controller.startAnalysis();
    QTest::qWait(100);
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(model.analysisProgress());
    EXPECT_TRUE(model.analysis()->integratedLUFS);
}

TEST(PreviewLoaderArtwork, AnUnreadablePictureIsAWarningNotAFailure) {
    // FFmpeg reads embedded pictures with the container header, so a file the decoder has
    // opened cannot fail here on its own; the worker's handling is tested with a reader that
    // fails the way a changed or vanished file would.
    TempDir dir;
    const auto file = tone(dir / "art.wav", 1, 0.2);
    auto loaded = PreviewLoader::load(file, neverCancelled(), [](AudioMetadata&, const auto&, const auto&) {
        throw DecoderError(-1094995529, "Invalid data found when processing input");
    });
    EXPECT_EQ(loaded.metadata.warnings, std::vector<std::string>{"Embedded artwork could not be read."});
    EXPECT_EQ(loaded.lanes.size(), 1u);
    EXPECT_THROW(PreviewLoader::load(file, neverCancelled(),
                                     [](AudioMetadata&, const auto&, const auto&) { throw CancellationError(); }),
                 CancellationError);
}

TEST_F(PreviewController, TheUIKeepsTurningWhileALongFileLoadsAndClosingTheWindowEndsIt) {
    // The decoder takes regular files only, so the slow load is a long one: 240 MB to read
    // and reduce on the worker.
    const auto file = sparseStereo(dir / "long.wav", 120'000'000);
    QWidget& window = *controller.view();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    Outcome outcome;
    controller.prepare(file, outcome.callback());
    EXPECT_LT(clock.elapsed(), 100) << "prepare returns at once";
    ASSERT_TRUE(waitFor([&] { return outcome.done(); }, 120000));
    const auto elapsed = clock.elapsed();
    EXPECT_FALSE(outcome.error);
    EXPECT_GT(elapsed, 100);
    EXPECT_GT(ticks, elapsed / 10 / 3) << "the timer starved during " << elapsed << " ms";
    EXPECT_TRUE(model.analysisDeferred());

    controller.startAnalysis(); // the user asks
    EXPECT_FALSE(model.analysisDeferred());
    window.show();
    window.hide();
    window.show();
    QTest::qWait(50);
    EXPECT_TRUE(model.analysisProgress()) << "hiding is no reason to stop";
    window.close();
    ASSERT_TRUE(waitFor([&] { return !model.analysisProgress(); }, 2000)) << "closing is";
}

TEST_F(PreviewController, HostileFilesEndInAnErrorOrAPreviewNeverACrash) {
    std::mt19937 random(7);
    std::string noise(65536, '\0');
    for (auto& c : noise) c = char(random());
    writeBytes(dir / "noise.wav", noise);
    writeBytes(dir / "empty.wav", "");
    writeBytes(dir / "text.wav", "This is not audio.\n");
    const std::string whole = slurp(tone(dir / "whole.wav", 2, 1.0));
    writeBytes(dir / "truncated.wav", whole.substr(0, 3000));
    std::string lying = whole;
    lying.replace(4, 4, le(0xFFFFFFFF, 4));
    lying.replace(lying.find("data") + 4, 4, le(0xFFFFFFF0, 4));
    writeBytes(dir / "lying.wav", lying);
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString((dir / "picture.png").string())));
    std::filesystem::copy_file(dir / "picture.png", dir / "picture.wav");

    for (const char* name : {"noise.wav", "empty.wav", "text.wav", "truncated.wav", "lying.wav", "picture.png",
                             "picture.wav", "missing.wav"}) {
        SCOPED_TRACE(name);
        Outcome outcome;
        controller.prepare(dir / name, outcome.callback());
        ASSERT_TRUE(waitFor([&] { return outcome.done(); }));
        EXPECT_FALSE(model.isLoading());
        if (outcome.error) {
            ASSERT_TRUE(model.errorMessage());
            EXPECT_TRUE(model.errorMessage()->startsWith("Could not preview: ")) << model.errorMessage()->toStdString();
            EXPECT_FALSE(model.metadata());
        } else {
            EXPECT_TRUE(model.metadata());
        }
        controller.cancelPreview();
    }
}

// Plays on a private PulseAudio daemon whose default sink has eight channels.
class PreviewPlaybackTest : public PreviewController {
protected:
    void SetUp() override {
        if (!PulseTestServer::available()) GTEST_SKIP() << "pulseaudio is not installed (scripts/setup installs it)";
        server.emplace();
    }
    bool playing() { return model.isPlaying() && controller.hasPlaybackTimer(); }

    std::optional<PulseTestServer> server;
};

TEST_F(PreviewPlaybackTest, PlaysPausesResumesSeeksAndRestartsAfterTheEnd) {
    controller.prepareAndWait(tone(dir / "stereo.wav", 2, 2.0));
    controller.setPlaybackAllowed(false);
    controller.togglePlayback();
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(controller.hasPlaybackTimer());
    controller.setPlaybackAllowed(true);

    controller.togglePlayback();
    ASSERT_TRUE(playing()) << model.errorMessage().value_or("").toStdString();
    ASSERT_TRUE(waitFor([&] { return model.fraction() > 0.2; }, 5000));
    EXPECT_EQ(model.meterPeak().size(), 2);
    EXPECT_FALSE(model.playbackRoute());
    controller.togglePlayback();
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(controller.hasPlaybackTimer());
    EXPECT_TRUE(model.meterPeak().isEmpty());
    const double paused = model.fraction();
    QTest::qWait(200);
    EXPECT_EQ(model.fraction(), paused);
    controller.togglePlayback();
    ASSERT_TRUE(waitFor([&] { return model.fraction() != paused; }, 2000));
    EXPECT_GE(model.fraction(), paused - 0.01);
    EXPECT_LT(model.fraction(), paused + 0.15) << "resumes where it paused";

    controller.togglePlayback();
    controller.seek(0.75);
    EXPECT_EQ(model.fraction(), 0.75);
    controller.togglePlayback();
    ASSERT_TRUE(waitFor([&] { return model.fraction() != 0.75; }, 2000));
    EXPECT_GE(model.fraction(), 0.74) << "the next play starts where the seek put it";

    ASSERT_TRUE(waitFor([&] { return !model.isPlaying(); }, 5000));
    EXPECT_EQ(model.fraction(), 1.0);
    EXPECT_FALSE(controller.hasPlaybackTimer());
    controller.togglePlayback();
    ASSERT_TRUE(waitFor([&] { return model.fraction() < 1.0; }, 2000));
    EXPECT_LT(model.fraction(), 0.2) << "after the end, play starts from the beginning";
    controller.stopPlayback();
    EXPECT_EQ(model.fraction(), 0.0);
    EXPECT_FALSE(model.errorMessage());
}

TEST_F(PreviewPlaybackTest, ASixChannelFilePlaysThroughTheMultichannelRoute) {
    controller.prepareAndWait(tone(dir / "six.wav", 6, 2.0));
    controller.togglePlayback();
    ASSERT_TRUE(playing()) << model.errorMessage().value_or("").toStdString();
    EXPECT_EQ(model.playbackRoute(), QString::fromUtf8("Direct out \u00b7 6 of 8 outputs"));
    ASSERT_TRUE(waitFor([&] { return model.meterPeak().size() == 6 && model.fraction() > 0.1; }, 5000));
    controller.togglePlayback();
    EXPECT_FALSE(playing());
    QTest::qWait(200);
    EXPECT_TRUE(model.meterPeak().isEmpty()) << "late level reports are dropped once paused";
    controller.stopPlayback();
    EXPECT_FALSE(model.playbackRoute());
}

// The device going away mid-play shows under the header; the playhead stays where the sound stopped.
TEST_F(PreviewPlaybackTest, ADeviceThatGoesAwayShowsAsAPlaybackFailure) {
    const auto module = server->pactlOutput("load-module module-null-sink sink_name=spare channels=2");
    ASSERT_TRUE(module);
    ASSERT_EQ(server->pactl("set-default-sink spare"), 0);
    controller.prepareAndWait(tone(dir / "stereo.wav", 2, 5.0));
    controller.togglePlayback();
    ASSERT_TRUE(waitFor([&] { return model.fraction() > 0.1; }, 5000));
    ASSERT_EQ(server->pactl("unload-module " + *module), 0);
    ASSERT_TRUE(waitFor([&] { return !model.isPlaying(); }, 2000));
    EXPECT_EQ(model.errorMessage(), QString("Playback failed: The audio device stopped or went away."));
    EXPECT_FALSE(controller.hasPlaybackTimer());
    const double held = model.fraction();
    EXPECT_GT(held, 0.1);
    EXPECT_LT(held, 0.5);
    QTest::qWait(200);
    EXPECT_EQ(model.fraction(), held);
}

} // namespace
} // namespace vaun::test
