// `vaun --analyze` as a user runs it: argument rules, exit statuses, the JSON line and
// hostile files.
#include "RunVaun.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace vaun::test {
namespace {

class AnalyzeCommand : public ::testing::Test {
protected:
    TempDir dir;

    Outcome vaun(const std::vector<std::string>& args) { return runVaun(dir.path(), args); }

    std::filesystem::path stereoSine(const std::string& name, double seconds, double dbfs) {
        const auto frames = std::int64_t(48000 * seconds);
        const auto s = sine(997, dbToLinear(dbfs), 48000, frames);
        const auto path = dir / name;
        writeWav(path, {s, s}, 48000);
        return path;
    }
};

TEST_F(AnalyzeCommand, PrintsOneJsonLineForAStereoFile) {
    const auto o = vaun({"--analyze", stereoSine("tone.wav", 5, -23).string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.err.empty());
    const std::regex shape(R"(\{"integrated": -?\d+\.\d{3}, "lra": -?\d+\.\d{3}, "truePeak": -?\d+\.\d{3}, )"
                           R"("samplePeak": -?\d+\.\d{3}, "channelTruePeak": \[-?\d+\.\d{3}, -?\d+\.\d{3}\], )"
                           R"("spectrogram": \[117, 160\]\}\n)");
    EXPECT_TRUE(std::regex_match(o.out, shape)) << o.out;
    EXPECT_NE(o.out.find("\"integrated\": -23.0"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\"lra\": 0.000"), std::string::npos) << o.out;
}

TEST_F(AnalyzeCommand, ArgumentRulesFailSilently) {
    const auto file = stereoSine("tone.wav", 1, -20).string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--analyze"}, {"--analyze", file, file}, {"--analyze", file, "--smoke-test"}}) {
        const auto o = vaun(args);
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(o.out.empty());
        if (!args.empty() && args[0] == "--analyze") {
            EXPECT_TRUE(o.err.empty()) << o.err;
        }
    }
}

TEST_F(AnalyzeCommand, AnalyzeWinsOverOtherSwitches) {
    const auto file = stereoSine("tone.wav", 1, -20).string();
    const auto o = vaun({"--smoke-test", "x", "--analyze", file});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("{\"integrated\": ", 0), 0u) << o.out;
}

TEST_F(AnalyzeCommand, MonoAndShortFiles) {
    const auto path = dir / "mono.wav";
    writeWav(path, {sine(1000, 0.5, 44100, 1000)}, 44100);
    const auto o = vaun({"--analyze", path.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    // Too short for loudness or a spectrogram; one channel, so one true peak.
    const std::regex expected(R"(\{"integrated": null, "lra": null, "truePeak": -6\.0\d\d, "samplePeak": -6\.021, )"
                              R"("channelTruePeak": \[-6\.0\d\d\], "spectrogram": \[0, 0\]\}\n)");
    EXPECT_TRUE(std::regex_match(o.out, expected)) << o.out;
}

TEST_F(AnalyzeCommand, ZeroFrameFilePrintsTheEmptyAnalysis) {
    const auto path = dir / "empty.wav";
    writeWav(path, {{}, {}}, 48000);
    const auto o = vaun({"--analyze", path.string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "{\"integrated\": null, \"lra\": null, \"truePeak\": null, \"samplePeak\": null, "
                     "\"channelTruePeak\": [], \"spectrogram\": [0, 0]}\n");
}

TEST_F(AnalyzeCommand, RelativePathsResolveAgainstTheWorkingDirectory) {
    stereoSine("here.wav", 1, -20);
    const std::string cmd = "cd " + shellQuote(dir.path().string()) + " && " + shellQuote(VAUN_BINARY) +
                            " --analyze here.wav >/dev/null 2>&1";
    EXPECT_EQ(run(cmd), 0);
}

TEST_F(AnalyzeCommand, BadInputFailsWithOneLineAndNeverCrashes) {
    const auto good = stereoSine("good.wav", 2, -12);
    const std::string bytes = slurp(good);
    auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
        return (dir / name).string();
    };
    const std::string text = write("notes.wav", "These are not audio samples, just words.\n");
    const std::string empty = write("empty-file.wav", "");
    const std::string truncated = write("truncated.wav", bytes.substr(0, bytes.size() / 3));
    std::string lying = bytes;
    lying[4] = lying[5] = lying[6] = lying[7] = '\xff'; // RIFF size far past the end
    const auto dataAt = lying.find("data");
    lying[dataAt + 4] = lying[dataAt + 5] = lying[dataAt + 6] = '\xff';
    lying[dataAt + 7] = '\x7f';
    const std::string liar = write("lying.wav", lying);
    std::filesystem::create_directory(dir / "folder.wav");

    for (const std::string& path :
         {(dir / "missing.wav").string(), (dir / "folder.wav").string(), empty, text}) {
        const auto o = vaun({"--analyze", path});
        EXPECT_EQ(o.status, 2) << path;
        EXPECT_TRUE(o.out.empty()) << path;
        EXPECT_EQ(o.err.rfind("analyze FAIL: ", 0), 0u) << path << ": " << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    }
    // Damaged but readable: the analysis covers what could be read.
    for (const std::string& path : {truncated, liar}) {
        const auto o = vaun({"--analyze", path});
        EXPECT_EQ(o.status, 0) << path << ": " << o.err;
        EXPECT_NE(o.out.find("\"samplePeak\": -12.0"), std::string::npos) << path << ": " << o.out;
    }
}

TEST_F(AnalyzeCommand, LoudnessPrintsTheHistoryEvery100ms) {
    const auto o = vaun({"--loudness", stereoSine("tone.wav", 3.5, -23).string()});
    ASSERT_EQ(o.status, 0) << o.err;
    // 35 steps: the momentary window is full from the fourth, the short-term one from the 30th.
    const std::string nulls3 = "null, null, null, ";
    ASSERT_EQ(o.out.rfind("{\"interval\": 0.1, \"momentary\": [" + nulls3 + "-23.0, ", 0), 0u) << o.out.substr(0, 120);
    const auto shortTerm = o.out.find("\"shortTerm\": [");
    ASSERT_NE(shortTerm, std::string::npos);
    std::string nulls29;
    for (int i = 0; i < 29; ++i) nulls29 += "null, ";
    EXPECT_EQ(o.out.substr(shortTerm + 14, nulls29.size() + 5), nulls29 + "-23.0");
    EXPECT_TRUE(o.out.ends_with(", \"truePeakOvers\": []}\n")) << o.out.substr(o.out.size() - 60);

    const auto missing = vaun({"--loudness", (dir / "missing.wav").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("loudness FAIL: ", 0), 0u) << missing.err;
}

} // namespace
} // namespace vaun::test
