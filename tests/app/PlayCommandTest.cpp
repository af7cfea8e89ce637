// `vaun --play` as a user runs it: the argument rules, the JSON line, and stopping cleanly
// (Ctrl-C, the file deleted meanwhile) against a private sound server.
#include "PlayCommand.h"
#include "PulseTestServer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <regex>
#include <thread>

namespace vaun::test {
namespace {

using namespace std::chrono_literals;

TEST(PlayJSON, FieldsInOrderWithFixedDecimals) {
    PlayReport report;
    report.route = "Direct out \u00B7 2 of 2 outputs";
    report.playedSeconds = 1.5;
    report.peaks = {-12.04f, -160.0f};
    report.underruns = 3;
    EXPECT_EQ(playJSON(report),
              "{\"route\": \"Direct out \u00B7 2 of 2 outputs\", \"played\": 1.500, \"peak\": [-12.0, -160.0], "
              "\"underruns\": 3}");
    report.route = "say \"hi\"";
    report.peaks.clear();
    EXPECT_EQ(playJSON(report), "{\"route\": \"say \\\"hi\\\"\", \"played\": 1.500, \"peak\": [], \"underruns\": 3}");
}

TEST(PlayJSON, SecondsAreDecimalNumbers) {
    EXPECT_EQ(parseSeconds("2"), 2.0);
    EXPECT_EQ(parseSeconds("0.5"), 0.5);
    EXPECT_EQ(parseSeconds("10.25"), 10.25);
    EXPECT_EQ(parseSeconds("007"), 7.0);
    for (const char* bad : {"", ".5", "5.", "-1", "+1", "1e3", "abc", "1.2.3", " 1", "1 ", "0x10", "inf", "nan"})
        EXPECT_FALSE(parseSeconds(bad)) << bad;
}

class PlayHarness : public ::testing::Test {
protected:
    TempDir dir;

    std::filesystem::path tones(const std::string& name, const std::vector<double>& dbfs, double seconds) {
        Planes planes;
        for (std::size_t c = 0; c < dbfs.size(); ++c)
            planes.push_back(sine(500.0 + 250.0 * double(c), dbToLinear(dbfs[c]), 48000, std::int64_t(seconds * 48000)));
        WavOptions options;
        options.format = SampleFormat::Float32;
        writeWav(dir / name, planes, 48000, options);
        return dir / name;
    }

    struct Outcome {
        int status = -1;
        std::string out, err;
    };

    Outcome run(const std::vector<std::string>& args, double timeout = 30) {
        std::vector<std::string> argv{VAUN_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess vaun(argv, dir / "out", dir / "err");
        return finish(vaun, timeout);
    }

    Outcome finish(ChildProcess& vaun, double timeout) {
        Outcome o;
        const auto status = vaun.wait(timeout);
        o.status = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
        o.out = slurp(dir / "out");
        o.err = slurp(dir / "err");
        return o;
    }
};

TEST_F(PlayHarness, ArgumentRulesFailSilently) {
    // Nothing may reach a sound server: a wrongly accepted line would fail loudly instead.
    ScopedEnv nowhere("PULSE_SERVER", "unix:" + (dir / "no-server").string());
    const auto file = tones("st.wav", {-6, -6}, 0.1).string();
    for (const auto& args : std::vector<std::vector<std::string>>{{"--play"},
                                                                  {"--play", file, "x"},
                                                                  {"--play", file, "-1"},
                                                                  {"--play", file, "1e2"},
                                                                  {"--play", file, "1", "2"},
                                                                  {"--play", file, "1", "--smoke-test"}}) {
        const auto o = run(args);
        EXPECT_EQ(o.status, 2) << args.size();
        EXPECT_TRUE(o.out.empty()) << o.out;
        EXPECT_TRUE(o.err.empty()) << o.err;
    }
    // "--metadata" comes first.
    const auto o = run({"--play", file, "--metadata", file});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("{\"fileName\": ", 0), 0u) << o.out;
}

class PlayOnServer : public PlayHarness {
protected:
    void SetUp() override {
        if (!PulseTestServer::available()) GTEST_SKIP() << "pulseaudio is not installed (scripts/setup installs it)";
        server.emplace();
    }
    std::optional<PulseTestServer> server;

    // Waits until the server has a stream playing.
    void waitForStream(ChildProcess& vaun) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        for (;;) {
            const auto inputs = server->pactlOutput("list short sink-inputs");
            if (inputs && !inputs->empty()) return;
            ASSERT_TRUE(vaun.running()) << slurp(dir / "err");
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no stream";
            std::this_thread::sleep_for(20ms);
        }
    }
};

TEST_F(PlayOnServer, PlaysToTheEndAndReportsEachChannelsPeak) {
    auto o = run({"--play", tones("st.wav", {-6, -20}, 0.5).string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "{\"route\": \"Direct out \u00B7 2 of 8 outputs\", \"played\": 0.500, \"peak\": [-6.0, -20.0], "
                     "\"underruns\": 0}\n");

    o = run({"--play", tones("three.wav", {-3, -12, -160}, 0.5).string(), "0.25"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::regex shape(R"(\{"route": "Direct out · 3 of 8 outputs", "played": 0\.2[5-9]\d, )"
                           R"("peak": \[-3\.0, -12\.0, -160\.0\], "underruns": 0\}\n)");
    EXPECT_TRUE(std::regex_match(o.out, shape)) << o.out;
}

TEST_F(PlayOnServer, CtrlCStopsAndStillPrintsTheLine) {
    ChildProcess vaun({VAUN_BINARY, "--play", tones("six.wav", {-6, -6, -6, -6, -6, -6}, 20).string()}, dir / "out",
                      dir / "err");
    waitForStream(vaun);
    std::this_thread::sleep_for(300ms);
    vaun.signal(SIGINT);
    const auto o = finish(vaun, 5);
    ASSERT_EQ(o.status, 0) << o.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(o.out, m, std::regex(R"(\{"route": "Direct out · 6 of 8 outputs", "played": ([0-9.]+), .*\}\n)")))
        << o.out;
    EXPECT_GT(std::stod(m[1]), 0.1);
    EXPECT_LT(std::stod(m[1]), 5.0);
}

TEST_F(PlayOnServer, AFileDeletedWhilePlayingEndsCleanly) {
    const auto file = tones("gone.wav", {-6, -6, -6}, 1.5);
    ChildProcess vaun({VAUN_BINARY, "--play", file.string()}, dir / "out", dir / "err");
    waitForStream(vaun);
    std::filesystem::remove(file);
    const auto o = finish(vaun, 20);
    ASSERT_TRUE(o.status == 0 || o.status == 2) << o.status << " " << o.err;
    if (o.status == 0) EXPECT_NE(o.out.find("\"played\": 1.500"), std::string::npos) << o.out;
    else EXPECT_EQ(o.err.rfind("play FAIL: ", 0), 0u) << o.err;
}

} // namespace
} // namespace vaun::test
