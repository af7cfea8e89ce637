// WAVE files FFmpeg's own reader refuses although their audio is whole (a short 'bext'
// after the data): read raw from the data chunk, sample for sample like the same file
// without that chunk.
#include "DecodeTestSupport.h"

#include "analysis/AudioAnalyzer.h"
#include "common/Errors.h"

extern "C" {
#include <libavutil/error.h>
}

#include <gtest/gtest.h>

namespace vaun::test {
namespace {

constexpr double kRate = 48000;
const std::pair<std::string, std::vector<std::uint8_t>> kShortBext{"bext", std::vector<std::uint8_t>(200)};

class RefusedWaves : public ::testing::Test {
protected:
    // A clean file and its twin with a short 'bext' after the data.
    std::pair<std::filesystem::path, std::filesystem::path> twins(const std::string& name, WavOptions options) {
        const Planes signal = testSignal(2, 24000 + 11, kRate);
        writeWav(dir_ / (name + "-clean.wav"), signal, kRate, options);
        options.trailingChunks = {kShortBext};
        writeWav(dir_ / (name + ".wav"), signal, kRate, options);
        return {dir_ / (name + "-clean.wav"), dir_ / (name + ".wav")};
    }

    // ffmpeg's RF64 (ds64 first, data size 0xFFFFFFFF), with the 'bext' appended and the
    // ds64 RIFF size grown to match.
    std::pair<std::filesystem::path, std::filesystem::path> rf64Twins() {
        const auto [source, unused] = twins("source", {});
        ffmpeg(source, "-c:a pcm_s24le -rf64 always", dir_ / "rf64-clean.wav");
        auto bytes = readBytes(dir_ / "rf64-clean.wav");
        const std::uint8_t header[8] = {'b', 'e', 'x', 't', 200, 0, 0, 0};
        bytes.insert(bytes.end(), header, header + 8);
        bytes.insert(bytes.end(), 200, 0);
        const auto riffSize = std::uint32_t(bytes.size() - 8); // ds64's 64-bit RIFF size at 20
        for (int i = 0; i < 4; ++i) bytes[20 + std::size_t(i)] = std::uint8_t(riffSize >> (8 * i));
        writeBytes(dir_ / "rf64.wav", bytes);
        return {dir_ / "rf64-clean.wav", dir_ / "rf64.wav"};
    }

    static bool ffmpegRefuses(const std::filesystem::path& path) {
        return run("ffprobe -v quiet " + shellQuote(path.string())) != 0;
    }

    TempDir dir_;
};

TEST_F(RefusedWaves, ReadAndAnalyseLikeTheirCleanTwins) {
    WavOptions floatExtensible;
    floatExtensible.format = SampleFormat::Float32;
    floatExtensible.channelMask = 0x3;
    const std::vector<std::pair<std::filesystem::path, std::filesystem::path>> cases = {
        twins("pcm24", {}), twins("float-extensible", floatExtensible), rf64Twins()};
    for (const auto& [clean, refused] : cases) {
        SCOPED_TRACE(refused.filename().string());
        ASSERT_TRUE(ffmpegRefuses(refused)) << "FFmpeg now reads this file; the fallback goes untested";
        AudioFile twin(clean);
        AudioFile file(refused);
        EXPECT_EQ(file.fileFormat(), twin.fileFormat());
        EXPECT_EQ(file.length(), twin.length());
        EXPECT_TRUE(samePlanes(readToEnd(file), readToEnd(twin)));
        file.setFramePosition(12345);
        twin.setFramePosition(12345);
        EXPECT_TRUE(samePlanes(readToEnd(file), readToEnd(twin)));

        const auto analyse = [](const std::filesystem::path& p) {
            return AudioAnalyzer{}.analyze(p, std::nullopt, 120, neverCancelled());
        };
        EXPECT_EQ(analyse(refused), analyse(clean));
    }
}

// Header fields the raw reader cannot trust leave FFmpeg's refusal standing; odd but
// consistent ones read exactly the frames the data chunk holds.
TEST_F(RefusedWaves, HostileFormatChunks) {
    const auto original = readBytes(twins("pcm24", {}).second);
    constexpr std::int64_t kDataBytes = (24000 + 11) * 6;
    struct Field {
        std::size_t at;
        std::uint32_t value;
        int width;
    };
    struct Damage {
        std::string name;
        std::vector<Field> fields;
        std::int64_t frames; // -1: fails as FFmpeg did
    };
    const std::vector<Damage> damages = {
        {"ADPCM format tag", {{20, 2, 2}}, -1},
        {"no channels", {{22, 0, 2}}, -1},
        {"block of no bytes", {{32, 0, 2}}, -1},
        {"block not whole samples", {{32, 7, 2}}, -1},
        {"12 bits in 24-bit slots", {{34, 12, 2}}, -1},
        {"sample rate beyond int", {{24, 0x80000000, 4}}, -1},
        {"more channels than the decoder takes", {{22, 21845, 2}, {32, 65535, 2}}, -1},
        {"no data chunk", {{36, 0x78746164, 4}}, -1}, // "datx"
        {"mono", {{22, 1, 2}, {32, 3, 2}}, kDataBytes / 3},
        {"sample rate 1", {{24, 1, 4}}, kDataBytes / 6},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        auto bytes = original;
        for (const Field& f : damage.fields)
            for (int i = 0; i < f.width; ++i) bytes[f.at + std::size_t(i)] = std::uint8_t(f.value >> (8 * i));
        writeBytes(dir_ / "damaged.wav", bytes);
        if (damage.frames < 0) {
            try {
                AudioFile file(dir_ / "damaged.wav");
                FAIL() << "opened";
            } catch (const DecoderError& e) {
                EXPECT_EQ(e.code(), AVERROR_INVALIDDATA);
                EXPECT_EQ(e.description(), "Invalid data found when processing input");
            }
        } else {
            AudioFile file(dir_ / "damaged.wav");
            EXPECT_EQ(file.length(), damage.frames);
            EXPECT_EQ(frameCount(readToEnd(file)), damage.frames);
        }
    }
}

} // namespace
} // namespace vaun::test
