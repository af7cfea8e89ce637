// vaun-thumbnailer run as a file manager runs it: a child process without any display, its
// PNG checked pixel by pixel, hostile files ending it quickly, and its installed entry.
#include "TestAudio.h"
#include "Watchdog.h"

#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace vaun::test {
namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int status = -1;
    std::string err;
    double seconds = 0;
};

// Runs the thumbnailer with no display of any kind; a hang is killed after 10 s and shows as
// a status above 100.
Outcome thumbnail(const TempDir& dir, const std::vector<std::string>& args) {
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout -s KILL 10 ";
    cmd += shellQuote(VAUN_THUMBNAILER);
    for (const auto& a : args) cmd.append(" ").append(shellQuote(a));
    cmd.append(" 2>").append(shellQuote((dir / "err").string()));
    const auto start = std::chrono::steady_clock::now();
    Outcome o;
    o.status = run("(" + cmd + ")");
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    o.err = slurp(dir / "err");
    return o;
}

// Half a second of loud stereo tone, then half a second of silence.
void writeToneThenSilence(const std::filesystem::path& path) {
    auto left = sine(220, 0.8, 48000, 24000), right = sine(330, 0.4, 48000, 24000);
    left.resize(48000, 0.0f);
    right.resize(48000, 0.0f);
    writeWav(path, {left, right}, 48000);
}

bool transparent(QRgb p) { return qAlpha(p) == 0; }
bool strongBlue(QRgb p) { return qAlpha(p) > 220 && qBlue(p) > 240 && qRed(p) < 20 && qGreen(p) > 100 && qGreen(p) < 140; }

TEST(Thumbnailer, DrawsTheWaveformInBlueOnTransparencyWithoutADisplay) {
    TempDir dir;
    writeToneThenSilence(dir / "tone.wav");
    const auto result = thumbnail(dir, {"-s", "256", (dir / "tone.wav").string(), (dir / "tone.png").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");

    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString((dir / "tone.png").string()), "PNG"));
    EXPECT_EQ(image.size(), QSize(256, 128));
    EXPECT_TRUE(image.hasAlphaChannel());
    image = image.convertToFormat(QImage::Format_ARGB32);

    // Row 30 lies inside the tone's bars (they reach 80 % of the half height above the
    // centre) and above the silence's 1-pixel bars.
    int blueInTone = 0, drawnInSilence = 0;
    for (int x = 0; x < 256; ++x) {
        const QRgb p = image.pixel(x, 30);
        if (x < 124) blueInTone += strongBlue(p);
        if (x > 132) drawnInSilence += !transparent(p);
    }
    EXPECT_GT(blueInTone, 40); // bars 2 pixels wide, 1 apart
    EXPECT_EQ(drawnInSilence, 0);
    for (const QPoint corner : {QPoint(0, 0), QPoint(255, 0), QPoint(0, 127), QPoint(255, 127)})
        EXPECT_TRUE(transparent(image.pixel(corner)));
    // Nothing but the one blue, at any coverage.
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) {
            const QRgb p = image.pixel(x, y);
            if (!transparent(p)) {
                ASSERT_GT(qBlue(p), qRed(p) + 100) << x << "," << y;
            }
        }
}

TEST(Thumbnailer, TakesAFileURIWithPercentEncoding) {
    TempDir dir;
    writeToneThenSilence(dir / "two words.wav");
    ASSERT_EQ(thumbnail(dir, {"-s", "128", (dir / "two words.wav").string(), (dir / "path.png").string()}).status, 0);
    // The temporary folder's name needs no escapes of its own.
    const auto uri = "file://" + (dir / "two%20words.wav").string();
    const auto result = thumbnail(dir, {"-s", "128", uri, (dir / "uri.png").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(slurp(dir / "uri.png"), slurp(dir / "path.png"));

    EXPECT_EQ(thumbnail(dir, {"-s", "128", "file://elsewhere" + (dir / "two words.wav").string(), (dir / "x.png").string()}).status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

TEST(Thumbnailer, RejectsABadCommandLineWithUsage) {
    TempDir dir;
    writeToneThenSilence(dir / "tone.wav");
    const auto wav = (dir / "tone.wav").string(), png = (dir / "out.png").string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"-s", "256", wav}, {"-s", "0", wav, png}, {"-s", "12x", wav, png}, {"-s", "100000", wav, png}}) {
        const auto result = thumbnail(dir, args);
        EXPECT_EQ(result.status, 2) << testing::PrintToString(args);
        EXPECT_NE(result.err.find("usage: vaun-thumbnailer -s SIZE INPUT OUTPUT"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(png));
}

// Whatever the file holds, an answer comes within moments: no picture for what cannot be
// decoded, and what the decoder reads for a damaged file, as the preview shows it.
TEST(Thumbnailer, HostileFilesEndQuickly) {
    TempDir dir;
    std::mt19937 random(7);
    std::string noise(65536, '\0');
    for (char& c : noise) c = char(random());
    std::ofstream(dir / "noise.wav", std::ios::binary) << noise;
    std::ofstream(dir / "empty.wav", std::ios::binary).flush();
    ASSERT_EQ(run("mkfifo " + shellQuote((dir / "pipe.wav").string())), 0);
    for (const char* name : {"noise.wav", "empty.wav", "pipe.wav", "missing.wav"}) {
        const auto result = thumbnail(dir, {"-s", "256", (dir / name).string(), (dir / "out.png").string()});
        EXPECT_EQ(result.status, 1) << name << ": " << result.err;
        EXPECT_LT(result.seconds, 5) << name;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.png")) << name;
    }

    writeWav(dir / "cut.wav", {sine(220, 0.8, 48000, 480000)}, 48000);
    std::filesystem::resize_file(dir / "cut.wav", 200000);
    // A 'data' chunk claiming 4 GiB, and a RIFF size to match, over one second of audio.
    writeWav(dir / "liar.wav", {sine(220, 0.8, 48000, 48000)}, 48000);
    std::string liar = slurp(dir / "liar.wav");
    const auto data = liar.find("data");
    ASSERT_NE(data, std::string::npos);
    liar.replace(data + 4, 4, "\xF0\xFF\xFF\xFF");
    liar.replace(4, 4, "\xF8\xFF\xFF\xFF");
    std::ofstream(dir / "liar.wav", std::ios::binary) << liar;
    for (const char* name : {"cut.wav", "liar.wav"}) {
        const auto out = dir / (std::string(name) + ".png");
        const auto result = thumbnail(dir, {"-s", "256", (dir / name).string(), out.string()});
        EXPECT_EQ(result.status, 0) << name << ": " << result.err;
        EXPECT_LT(result.seconds, 5) << name;
        EXPECT_EQ(QImage(QString::fromStdString(out.string())).size(), QSize(256, 128)) << name;
    }
}

// Decoding can hang where no poll reaches: the limit ends the process, taking the half-written
// output with it.
TEST(ThumbnailerWatchdog, EndsAStuckProcessWithStatusOneAndNoOutput) {
    TempDir dir;
    const auto partial = dir / "partial.png";
    EXPECT_EXIT(
        {
            Watchdog watchdog(std::chrono::milliseconds(200), 1);
            std::ofstream(partial) << "half";
            watchdog.guard(partial);
            std::this_thread::sleep_for(std::chrono::seconds(20));
        },
        testing::ExitedWithCode(1), "timed out");
    EXPECT_FALSE(std::filesystem::exists(partial));
}

std::string line(const std::string& text, const std::string& key) {
    const auto at = text.find("\n" + key + "=");
    if (at == std::string::npos) return {};
    const auto start = at + 1 + key.size() + 1;
    return text.substr(start, text.find('\n', start) - start);
}

TEST(Thumbnailer, InstallsWithAnEntryForTheApplicationsAudioTypes) {
    TempDir dir;
    const auto prefix = dir / "prefix";
    ASSERT_EQ(run(shellQuote(VAUN_CMAKE) + " --install " + shellQuote(VAUN_BUILD_DIR) + " --component thumbnailer --prefix " +
                  shellQuote(prefix.string()) + " >" + shellQuote((dir / "log").string()) + " 2>&1"),
              0)
        << slurp(dir / "log");
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix / "bin/vaun-thumbnailer"));
    const auto entry = slurp(prefix / "share/thumbnailers/com.zorel.Vaun.thumbnailer");
    EXPECT_TRUE(entry.starts_with("[Thumbnailer Entry]\n")) << entry;
    EXPECT_EQ(line(entry, "TryExec"), "vaun-thumbnailer");
    EXPECT_EQ(line(entry, "Exec"), "vaun-thumbnailer -s %s %u %o");
    const auto desktop = slurp(VAUN_DESKTOP_ENTRY);
    EXPECT_NE(line(desktop, "MimeType"), "");
    EXPECT_EQ(line(entry, "MimeType"), line(desktop, "MimeType"));
}

} // namespace
} // namespace vaun::test
