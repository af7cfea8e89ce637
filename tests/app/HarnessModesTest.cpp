// The harness modes inside the application, run as a user runs them without a display:
// argument rules and precedence, the smoke test, the load simulation's line and the
// snapshot files.
#include "RunVaun.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

namespace vaun::test {
namespace {

const std::string kSmokePass = "smoke PASS: shared view, seek-before-play, no playback/timer, cleanup\n";
const std::string kRenderPass =
    "render PASS: empty, light and dark \u00d7 waveform / channels / spectrum / loudness; playback disabled\n";

class HarnessModes : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // A private runtime folder keeps Qt from warning about a missing one on standard error.
        std::filesystem::create_directory(dir / "runtime");
        std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    }

    Outcome vaun(const std::vector<std::string>& args) { return runVaun(dir.path(), args); }

    // 1.5 s of a different tone per channel; six channels are 5.1.
    std::string tone(int channels) {
        Planes planes;
        for (int c = 0; c < channels; ++c) planes.push_back(sine(220.0 * (c + 1), 0.5, 48000, 72000));
        const auto path = dir / ("tone" + std::to_string(channels) + ".wav");
        WavOptions options;
        if (channels == 6) options.channelMask = 0x3F;
        writeWav(path, planes, 48000, options);
        return path.string();
    }

    TempDir dir;
};

std::set<std::string> pngNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

double meanLightness(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) sum += QColor(image.pixel(x, y)).lightnessF();
    return sum / ((image.height() + 3) / 4 * ((image.width() + 3) / 4));
}

// Each snapshot is a PNG of its window size showing more than a plain background, and the
// dark ones are darker than their light twins.
void expectSnapshots(const std::filesystem::path& folder, bool withChannels) {
    std::set<std::string> expected{"vaun-empty.png", "vaun-dark-details-top.png", "vaun-dark-details.png"};
    std::vector<std::string> modes{"waveform", "spectrum", "loudness"};
    if (withChannels) modes.push_back("channels");
    for (const auto& mode : modes)
        for (const char* scheme : {"light", "dark"}) expected.insert(std::string("vaun-") + scheme + "-" + mode + ".png");
    ASSERT_EQ(pngNames(folder), expected);

    for (const auto& name : expected) {
        QImage image;
        ASSERT_TRUE(image.load(QString::fromStdString((folder / name).string()), "png")) << name;
        const QSize size = name == "vaun-empty.png" ? QSize(720, 600)
                           : name.find("details") != std::string::npos ? QSize(780, 760)
                                                                       : QSize(780, 860);
        EXPECT_EQ(image.size(), size) << name;
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 20u) << name << " looks blank";
    }
    for (const auto& mode : modes) {
        const QImage light(QString::fromStdString((folder / ("vaun-light-" + mode + ".png")).string()));
        const QImage dark(QString::fromStdString((folder / ("vaun-dark-" + mode + ".png")).string()));
        EXPECT_GT(meanLightness(light), meanLightness(dark) + 0.3) << mode;
    }
}

TEST_F(HarnessModes, WrongArgumentsEndWithStatus2AndNoOutput) {
    const std::string file = tone(1);
    for (const auto& args : std::vector<std::vector<std::string>>{{"--smoke-test", file, "extra"},
                                                                   {"--smoke-test"},
                                                                   {"--perf-sim", file, "abc"},
                                                                   {"--perf-sim", file, "nan"},
                                                                   {"--perf-sim", file},
                                                                   {"--render-preview", file},
                                                                   {"--render-preview", file, "out", "--smoke-test", file}}) {
        const auto o = vaun(args);
        EXPECT_EQ(o.status, 2) << args[0];
        EXPECT_EQ(o.out, "") << args[0];
        EXPECT_EQ(o.err, "") << args[0];
    }
}

TEST_F(HarnessModes, SmokeTestPassesOnMonoStereoAndSixChannels) {
    for (const int channels : {1, 2, 6}) {
        const auto o = vaun({"--smoke-test", tone(channels)});
        EXPECT_EQ(o.status, 0) << channels << o.err;
        EXPECT_EQ(o.err, kSmokePass) << channels;
        EXPECT_EQ(o.out, "");
    }
    std::ofstream(dir / "notes.wav") << "not audio at all";
    const auto o = vaun({"--smoke-test", (dir / "notes.wav").string()});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err.rfind("smoke FAIL: ", 0), 0u) << o.err;
}

TEST_F(HarnessModes, PerfSimReportsModeChannelsAndCpu) {
    const std::string stereo = tone(2);
    auto o = vaun({"--perf-sim", stereo, "0.2", "Spectrum"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::regex_match(o.out, std::regex(R"(perf-sim mode=Spectrum channels=2 cpu=\d+\.\d%\n)"))) << o.out;

    // Mode names are case-sensitive: the file's own mode stays.
    o = vaun({"--perf-sim", stereo, "0.2", "spectrum"});
    EXPECT_EQ(o.out.rfind("perf-sim mode=Waveform channels=2 cpu=", 0), 0u) << o.out;

    // A file without frames loads with no lanes and still counts one channel.
    writeWav(dir / "empty.wav", Planes{{}, {}}, 48000);
    o = vaun({"--perf-sim", (dir / "empty.wav").string(), "0.1"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("perf-sim mode=Waveform channels=1 cpu=", 0), 0u) << o.out;

    o = vaun({"--perf-sim", (dir / "missing.wav").string(), "0.1"});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err.rfind("perf-sim FAIL: ", 0), 0u) << o.err;
}

TEST_F(HarnessModes, RenderWritesNineSnapshotsForMono) {
    const auto o = vaun({"--render-preview", tone(1), (dir / "shots" / "mono").string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, kRenderPass);
    expectSnapshots(dir / "shots" / "mono", false);
}

TEST_F(HarnessModes, RenderWritesElevenSnapshotsForSixChannelsScrolledToTheEnd) {
    const auto o = vaun({"--render-preview", tone(6), (dir / "six").string()});
    ASSERT_EQ(o.status, 0) << o.err;
    expectSnapshots(dir / "six", true);
    EXPECT_NE(QImage(QString::fromStdString((dir / "six" / "vaun-dark-details-top.png").string())),
              QImage(QString::fromStdString((dir / "six" / "vaun-dark-details.png").string())));
}

TEST_F(HarnessModes, RenderTakesPrecedenceOverPerfSim) {
    const std::string stereo = tone(2);
    const auto o = vaun({"--perf-sim", stereo, "1", "--render-preview", stereo, (dir / "two").string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, kRenderPass);
    expectSnapshots(dir / "two", true);
}

TEST_F(HarnessModes, RenderReportsACaptureThatCannotBeWritten) {
    std::filesystem::create_directories(dir / "blocked" / "vaun-empty.png");
    const auto o = vaun({"--render-preview", tone(1), (dir / "blocked").string()});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err.rfind("render FAIL: Window capture failed: ", 0), 0u) << o.err;
}

} // namespace
} // namespace vaun::test
