// `vaun --play FILE SECONDS` against a private sound server, heard on the null sinks'
// monitors: direct routing on a sink with enough channels, headphone rendering on a stereo
// sink, and the failures (undecodable file, no server, the server dying mid-play).
#include "PulseTestServer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <regex>
#include <thread>

namespace vaun::test {
namespace {

using Clock = std::chrono::steady_clock;

// The one JSON line `--play` prints: {"route": R, "played": P, "peak": [..], "underruns": U}.
struct PlayReport {
    std::string route;
    double played = 0;
    std::vector<double> peak;
    std::int64_t underruns = -1;
};

// Decodes a JSON string body (the text between the quotes).
std::string unescape(const std::string& body) {
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 == body.size()) {
            out += body[i];
            continue;
        }
        const char e = body[++i];
        if (e == 'u' && i + 4 < body.size()) {
            const unsigned cp = unsigned(std::stoul(body.substr(i + 1, 4), nullptr, 16));
            i += 4;
            if (cp < 0x80) {
                out += char(cp);
            } else if (cp < 0x800) {
                out += char(0xC0 | (cp >> 6));
                out += char(0x80 | (cp & 0x3F));
            } else {
                out += char(0xE0 | (cp >> 12));
                out += char(0x80 | ((cp >> 6) & 0x3F));
                out += char(0x80 | (cp & 0x3F));
            }
        } else {
            out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
    }
    return out;
}

std::optional<PlayReport> parseReport(const std::string& out) {
    static const std::regex shape(R"re(\{"route": "((?:[^"\\]|\\.)*)", "played": (-?[0-9.eE+-]+), )re"
                                  R"re("peak": \[([^\]]*)\], "underruns": ([0-9]+)\}\n)re");
    std::smatch m;
    if (!std::regex_match(out, m, shape)) return {};
    PlayReport r;
    r.route = unescape(m[1]);
    r.played = std::stod(m[2]);
    std::stringstream peaks(m[3]);
    for (std::string item; std::getline(peaks, item, ',');) {
        item.erase(0, item.find_first_not_of(' '));
        r.peak.push_back(item == "null" ? -std::numeric_limits<double>::infinity() : std::stod(item));
    }
    r.underruns = std::stoll(m[4]);
    return r;
}

struct Outcome {
    std::optional<int> waitStatus;  // nothing: still running at the deadline (killed since)
    std::string out;
    std::string err;
    double seconds = 0;

    bool exited() const { return waitStatus && WIFEXITED(*waitStatus); }
    int status() const { return exited() ? WEXITSTATUS(*waitStatus) : -1; }
    std::string describe() const {
        std::string d = !waitStatus ? "hung" : exited() ? "exit " + std::to_string(status())
                                                        : "signal " + std::to_string(WTERMSIG(*waitStatus));
        return d + ", stdout: " + out + ", stderr: " + err;
    }
};

// Each file channel carries its own tone, a multiple of 50 Hz (see typicalToneAmplitude).
std::vector<double> tones(unsigned channels) {
    std::vector<double> f;
    for (unsigned i = 0; i < channels; ++i) f.push_back(1000 + 250 * i);
    return f;
}

class PlayCommand : public ::testing::Test {
protected:
    static constexpr double kRate = 48000;
    static constexpr float kAmplitude = 0.25f;

    void SetUp() override {
        if (!PulseTestServer::available())
            GTEST_SKIP() << "pulseaudio is not installed (scripts/setup installs it)";
        server.emplace();
    }

    std::filesystem::path toneFile(const std::string& name, unsigned channels, double seconds) {
        Planes planes;
        for (double f : tones(channels)) planes.push_back(sine(f, kAmplitude, kRate, std::int64_t(seconds * kRate)));
        const auto path = dir / name;
        writeWav(path, planes, kRate, {SampleFormat::Float32, {}, {}});
        return path;
    }

    // Starts `vaun --play`; the caller waits.
    std::unique_ptr<ChildProcess> startPlay(const std::vector<std::string>& args) {
        std::vector<std::string> argv{VAUN_BINARY, "--play"};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<ChildProcess>(argv, dir / "out", dir / "err");
    }

    Outcome finish(ChildProcess& vaun, Clock::time_point started, double timeoutSeconds = 60) {
        Outcome o;
        o.waitStatus = vaun.wait(timeoutSeconds);
        o.seconds = std::chrono::duration<double>(Clock::now() - started).count();
        if (!o.waitStatus) {
            vaun.signal(SIGKILL);
            vaun.wait(5);
        }
        o.out = slurp(dir / "out");
        o.err = slurp(dir / "err");
        return o;
    }

    Outcome play(const std::vector<std::string>& args, double timeoutSeconds = 60) {
        const auto started = Clock::now();
        auto vaun = startPlay(args);
        return finish(*vaun, started, timeoutSeconds);
    }

    // Plays `file` for `seconds` while recording `sink`; returns the report and what the sink
    // received from 0.2 s after the sound began, 0.5 s of it.
    std::pair<PlayReport, Planes> playAndRecord(const std::filesystem::path& file, std::size_t fileChannels,
                                                const std::string& sink, unsigned sinkChannels, double sinkRate) {
        EXPECT_EQ(server->pactl("set-default-sink " + sink), 0);
        MonitorRecording recording(sink, sinkChannels, unsigned(sinkRate), dir / "monitor.raw");
        const Outcome o = play({file.string(), "2"});
        report_ = o.out;
        Planes heard = afterOnset(recording.finish(), sinkRate, 0.01f, 0.2, 0.5);
        EXPECT_EQ(o.status(), 0) << o.describe();
        EXPECT_TRUE(o.err.empty()) << o.err;
        const auto report = parseReport(o.out);
        EXPECT_TRUE(report) << "not the JSON line: " << o.out;
        if (report) {
            EXPECT_NEAR(report->played, 2.0, 0.25);
            // One meter peak per file channel: every channel's tone peaks at 0.25, -12 dBFS.
            EXPECT_EQ(report->peak.size(), fileChannels);
            for (double peak : report->peak) EXPECT_NEAR(peak, -12.0, 0.5);
        }
        EXPECT_GE(heard.empty() ? 0 : heard[0].size(), std::size_t(0.5 * sinkRate)) << "too little sound recorded";
        return {report.value_or(PlayReport{}), std::move(heard)};
    }

    // File channel c as a clean tone on sink channel c, nothing of the others.
    void expectStraightThrough(const Planes& heard, unsigned fileChannels, double sinkRate) {
        SCOPED_TRACE("vaun printed " + report_);
        const auto f = tones(fileChannels);
        for (unsigned c = 0; c < fileChannels && c < heard.size(); ++c) {
            SCOPED_TRACE("sink channel " + std::to_string(c));
            EXPECT_NEAR(typicalToneAmplitude(heard[c], f[c], sinkRate), kAmplitude, 0.03);
            for (unsigned other = 0; other < fileChannels; ++other) {
                if (other == c) continue;
                EXPECT_LT(typicalToneAmplitude(heard[c], f[other], sinkRate), 0.005) << f[other] << " Hz";
            }
        }
    }

    TempDir dir;
    std::optional<PulseTestServer> server;
    std::string report_;
};

TEST_F(PlayCommand, SixChannelsGoStraightToAnEightChannelSink) {
    const auto [report, heard] = playAndRecord(toneFile("six.wav", 6, 3), 6, "eight", 8, 48000);
    EXPECT_EQ(report.route, "Direct out \u00b7 6 of 8 outputs");
    ASSERT_EQ(heard.size(), 8u);
    expectStraightThrough(heard, 6, 48000);
    EXPECT_LT(rms(heard[6]), 1e-4) << "output 6 is not silent";
    EXPECT_LT(rms(heard[7]), 1e-4) << "output 7 is not silent";
}

TEST_F(PlayCommand, SixChannelsAreRenderedForHeadphonesOnAStereoSink) {
    const auto [report, heard] = playAndRecord(toneFile("six.wav", 6, 3), 6, "two", 2, 44100);
    EXPECT_EQ(report.route.rfind("Spatial (headphones) \u00b7 ", 0), 0u) << report.route;
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_GT(rms(heard[0]), 0.01) << "left ear silent";
    EXPECT_GT(rms(heard[1]), 0.01) << "right ear silent";
    // The front-left speaker is louder in the left ear, the front-right one in the right.
    const auto f = tones(6);
    EXPECT_GT(typicalToneAmplitude(heard[0], f[0], 44100), typicalToneAmplitude(heard[1], f[0], 44100));
    EXPECT_GT(typicalToneAmplitude(heard[1], f[1], 44100), typicalToneAmplitude(heard[0], f[1], 44100));
}

TEST_F(PlayCommand, AStereoFileGoesStraightToAStereoSink) {
    const auto [report, heard] = playAndRecord(toneFile("stereo.wav", 2, 3), 2, "two", 2, 44100);
    EXPECT_EQ(report.route, "Direct out \u00b7 2 of 2 outputs");
    ASSERT_EQ(heard.size(), 2u);
    expectStraightThrough(heard, 2, 44100);
}

// The last reading comes with the end itself: a loud last 20 ms must still reach "peak", the
// same for the simple player (two channels) and the multichannel one (three).
TEST_F(PlayCommand, TheLastLevelReadingCounts) {
    for (unsigned channels : {2u, 3u}) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        // Levels are read per 2048 frames: the loud end is the last reading alone.
        const auto loudFrom = std::int64_t(35 * 2048);
        const auto frames = loudFrom + std::int64_t(0.02 * kRate);
        Planes planes;
        for (unsigned c = 0; c < channels; ++c) {
            auto tone = sine(1000, 0.1f, kRate, frames);
            for (auto i = loudFrom; i < frames; ++i) tone[std::size_t(i)] *= 7.08f; // +17 dB: -3 dBFS
            planes.push_back(std::move(tone));
        }
        const auto file = dir / ("loud-end-" + std::to_string(channels) + ".wav");
        writeWav(file, planes, kRate, {SampleFormat::Float32, {}, {}});
        const Outcome o = play({file.string()});
        ASSERT_EQ(o.status(), 0) << o.describe();
        const auto report = parseReport(o.out);
        ASSERT_TRUE(report) << o.out;
        ASSERT_EQ(report->peak.size(), channels);
        for (double peak : report->peak) EXPECT_NEAR(peak, -3.0, 0.1) << o.out;
    }
}

TEST_F(PlayCommand, FailsCleanlyOnAnUndecodableFileOrWithoutAServer) {
    const auto junk = dir / "junk.wav";
    {
        std::mt19937 random(7);
        std::ofstream out(junk, std::ios::binary);
        for (int i = 0; i < 4096; ++i) out.put(char(random()));
    }
    Outcome o = play({junk.string()});
    EXPECT_EQ(o.status(), 2) << o.describe();
    EXPECT_EQ(o.err.rfind("play FAIL: ", 0), 0u) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;

    o = play({(dir / "missing.wav").string()});
    EXPECT_EQ(o.status(), 2) << o.describe();
    EXPECT_EQ(o.err.rfind("play FAIL: ", 0), 0u) << o.err;

    const auto file = toneFile("six.wav", 6, 1);
    ScopedEnv nowhere("PULSE_SERVER", "unix:" + (dir / "no-server").string());
    o = play({file.string()});
    EXPECT_EQ(o.status(), 2) << o.describe();
    EXPECT_EQ(o.err.rfind("play FAIL: ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find("sound server"), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
}

TEST_F(PlayCommand, AServerKilledMidPlayEndsInACleanStopOrAClearError) {
    const auto file = toneFile("six.wav", 6, 10);
    const auto started = Clock::now();
    auto vaun = startPlay({file.string(), "8"});
    // Kill once the stream is really playing.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    for (;;) {
        const auto inputs = server->pactlOutput("list short sink-inputs");
        if (inputs && !inputs->empty()) break;
        ASSERT_TRUE(vaun->running()) << "vaun ended before it played: " << slurp(dir / "err");
        ASSERT_LT(Clock::now(), deadline) << "vaun never opened a stream";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    server->kill();
    const auto killed = Clock::now();

    const Outcome o = finish(*vaun, started, 20);
    ASSERT_TRUE(o.exited()) << o.describe();
    EXPECT_TRUE(o.status() == 0 || o.status() == 2) << o.describe();
    if (o.status() == 2) {
        EXPECT_EQ(o.err.rfind("play FAIL: ", 0), 0u) << o.err;
    } else {
        EXPECT_TRUE(parseReport(o.out)) << o.out;
    }
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - killed).count(), 10.0);
}

} // namespace
} // namespace vaun::test
