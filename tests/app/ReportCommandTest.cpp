// `vaun --report` as a user runs it: a delivery folder with damage in it, Ctrl-C in the
// middle of a run, and the argument rules.
#include "RunVaun.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

extern char** environ;

namespace vaun::test {
namespace {

namespace fs = std::filesystem;

class ReportCommand : public ::testing::Test {
protected:
    TempDir dir;

    fs::path stereoSine(const fs::path& path, double seconds, double dbfs) {
        const auto s = sine(997, dbToLinear(dbfs), 48000, std::int64_t(48000 * seconds));
        writeWav(path, {s, s}, 48000);
        return path;
    }
};

TEST_F(ReportCommand, ADeliveryWithDamageGivesARowPerFileInPathOrder) {
    const fs::path folder = dir / "delivery";
    fs::create_directories(folder / "sub");
    const std::string odd = "ok,\"quoted\"\nname.wav";
    stereoSine(folder / odd, 5, -23);
    stereoSine(folder / "sub" / "loud.wav", 5, -10);
    std::ofstream(folder / "broken.wav", std::ios::binary) << "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0garbage";
    std::ofstream(folder / "notes.txt") << "Mix notes, not audio.\n";
    fs::create_directory_symlink(".", folder / "loop");

    const auto o = runVaun(dir.path(), {"--report", "--target", "ebu-r128", folder.string(), (folder / "missing.wav").string()});
    EXPECT_EQ(o.status, 1) << o.err;
    const std::string f = folder.string();
    const std::vector<std::string> rowStarts{
        f + "/broken.wav,,,,,,,,,,,,unreadable,,",
        f + "/missing.wav,,,,,,,,,,,,unreadable,,No such file or directory\n",
        "\"" + f + "/ok,\"\"quoted\"\"\nname.wav\",WAVE / BWF,PCM,2,48000,5.000,-23.0,0.0,-23.0,-23.0,-23.0,-23.0,pass,,\n",
        f + "/sub/loud.wav,WAVE / BWF,PCM,2,48000,5.000,-10.0,0.0,-10.0,-10.0,-10.0,-10.0,fail,"
            "integrated \u221210.0 LUFS above \u221223 \u00b10.5,\n",
    };
    std::size_t at = o.out.find('\n');
    ASSERT_EQ(o.out.substr(0, at + 1), "path,container,codec,channels,sampleRate,duration,integrated,lra,truePeak,"
                                       "samplePeak,maxMomentary,maxShortTerm,verdict,reasons,error\n");
    for (const auto& row : rowStarts) {
        ASSERT_EQ(o.out.compare(at + 1, row.size(), row), 0) << "expected " << row << " in\n" << o.out;
        at = o.out.find('\n', at + row.size());
    }
    EXPECT_EQ(at, o.out.size() - 1) << o.out;
    EXPECT_EQ(o.err.rfind("report: 4 files, 1 passed, 1 failed, 2 unreadable, 2 skipped, 0:00:10.0 of audio, ", 0), 0u)
        << o.err;
}

// Mono and stereo takes are measured side by side, with surround files among them; every
// file still gets its own row with its own figures.
TEST_F(ReportCommand, SmallFilesMeasuredSideBySideKeepTheirOwnFigures) {
    const fs::path folder = dir / "mixed";
    fs::create_directory(folder);
    const std::vector<std::pair<int, double>> takes{{1, -30}, {2, -20}, {6, -25}, {1, -18}, {2, -27}, {2, -14}, {1, -22}};
    for (std::size_t k = 0; k < takes.size(); ++k) {
        const auto [channels, dbfs] = takes[k];
        const auto s = sine(997, dbToLinear(dbfs), 44100, std::int64_t(44100 * (3 + k)));
        Planes planes(std::size_t(channels), s);
        if (channels == 6) planes[3].assign(s.size(), 0.0f); // LFE
        writeWav(folder / ("take" + std::to_string(k) + ".wav"), planes, 44100);
    }
    const auto o = runVaun(dir.path(), {"--report", "--format", "json", "--jobs", "1", folder.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    std::size_t at = 0;
    for (std::size_t k = 0; k < takes.size(); ++k) {
        const auto [channels, dbfs] = takes[k];
        const std::size_t end = o.out.find('\n', at);
        ASSERT_NE(end, std::string::npos) << o.out;
        const std::string row = o.out.substr(at, end - at);
        at = end + 1;
        // A 997 Hz sine in every weighted channel (surrounds weigh 1.41, the LFE nothing).
        const double weights = channels == 6 ? 3 + 2 * 1.41 : channels;
        char figures[128];
        std::snprintf(figures, sizeof figures, "\"channels\": %d, \"sampleRate\": 44100, \"duration\": %zu.000, \"integrated\": %.1f",
                      channels, 3 + k, dbfs + 10 * std::log10(weights / 2));
        EXPECT_NE(row.find("take" + std::to_string(k) + ".wav"), std::string::npos) << row;
        EXPECT_NE(row.find(figures), std::string::npos) << figures << "\n" << row;
    }
    EXPECT_EQ(at, o.out.size()) << o.out;
}

TEST_F(ReportCommand, CtrlCWritesTheFinishedRowsAndTheSummary) {
    const fs::path folder = dir / "takes";
    fs::create_directory(folder);
    stereoSine(folder / "a1.wav", 1, -20);
    stereoSine(folder / "a2.wav", 1, -20);
    stereoSine(folder / "z.wav", 1, -20);
    // An hour of MP3, made by repeating a minute: frames of a stream without tags
    // follow on from one another.
    const fs::path minute = dir / "minute.mp3";
    ASSERT_EQ(run("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:duration=60:sample_rate=48000 -ac 2 "
                  "-b:a 32k -id3v2_version 0 -write_xing 0 " + shellQuote(minute.string())),
              0);
    {
        std::string repeated = "cat";
        for (int i = 0; i < 60; ++i) {
            repeated += ' ';
            repeated += shellQuote(minute.string());
        }
        ASSERT_EQ(run(repeated + " > " + shellQuote((folder / "m1.mp3").string())), 0);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args{VAUN_BINARY, "--report", "--jobs", "2", folder.string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, VAUN_BINARY, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    using Clock = std::chrono::steady_clock;
    const auto lines = [&] {
        const std::string out = slurp(dir / "out");
        return std::count(out.begin(), out.end(), '\n');
    };
    // The largest file goes first: one worker is busy with the hour while the other measures
    // the short takes; those before it in path order are written at once, the one after it
    // waits for it.
    for (const auto until = Clock::now() + std::chrono::seconds(60); lines() < 3 && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(lines(), 3) << slurp(dir / "err");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto sent = Clock::now();
    ASSERT_EQ(kill(pid, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_LT(Clock::now() - sent, std::chrono::seconds(3));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);

    const std::string out = slurp(dir / "out");
    EXPECT_NE(out.find("/a1.wav,WAVE / BWF,PCM,2,48000,1.000,"), std::string::npos) << out;
    EXPECT_NE(out.find("/a2.wav,WAVE / BWF,PCM,2,48000,1.000,"), std::string::npos) << out;
    EXPECT_NE(out.find("/z.wav,WAVE / BWF,PCM,2,48000,1.000,"), std::string::npos) << out;
    EXPECT_EQ(out.find(".mp3"), std::string::npos) << out;
    const std::string err = slurp(dir / "err");
    EXPECT_EQ(err.rfind("report: 3 files, 3 passed, 0 failed, 0 unreadable, 0 skipped, 0:00:03.0 of audio, ", 0), 0u)
        << err;
    EXPECT_NE(err.find(", interrupted\n"), std::string::npos) << err;
}

TEST_F(ReportCommand, ArgumentRulesAndTheTargetsHelp) {
    const auto file = stereoSine(dir / "tone.wav", 1, -20).string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--report"}, {"--report", "--target", "loud", file}, {"--report", "--jobs", "0", file},
             {"--report", "--format", "xml", file}, {"--report", "--bogus", file}}) {
        const auto o = runVaun(dir.path(), args);
        EXPECT_EQ(o.status, 2) << args.back();
        EXPECT_TRUE(o.out.empty()) << o.out;
    }
    const auto help = runVaun(dir.path(), {"--report", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"ebu-r128 ", "ebu-r128-live", "atsc-a85", "streaming", "apple-music", "none",
                             "\u221224 LKFS \u00b12 dB", "ATSC A/85:2013", "EBU Tech 3343"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    // Measuring only, JSON lines, the list on standard input.
    const std::string cmd = "echo " + shellQuote(file) + " | " + shellQuote(VAUN_BINARY) +
                            " --report --format json --files-from - >" + shellQuote((dir / "json").string()) + " 2>/dev/null";
    EXPECT_EQ(run(cmd), 0);
    EXPECT_EQ(slurp(dir / "json").rfind("{\"path\": " + std::string("\"") + file + "\", \"container\": \"WAVE / BWF\"", 0), 0u)
        << slurp(dir / "json");
}

} // namespace
} // namespace vaun::test
