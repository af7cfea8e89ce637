// Frame-accurate positioning, and channel order kept through sample-format conversion.
#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace vaun::test {
namespace {

constexpr double kRate = 48000;
// Long enough that far targets go through a demuxer seek rather than decoding forward.
constexpr std::int64_t kFrames = 48000 * 12 + 321;

class Seeking : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        WavOptions options;
        options.format = SampleFormat::PCM24;
        writeWav(*dir_ / "source.wav", testSignal(2, kFrames, kRate), kRate, options);
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::filesystem::path make(const std::string& name, const std::string& args) {
        const auto path = *dir_ / name;
        if (name == "source.wav") return path;
        if (!std::filesystem::exists(path)) {
            if (args == "sox -B") sox(*dir_ / "source.wav", "-B", path);
            else ffmpeg(*dir_ / "source.wav", args, path);
        }
        return path;
    }

    // Seeks to each target in turn and compares a block against a sequential read.
    static void checkTargets(const std::filesystem::path& path, double tolerance) {
        AudioFile sequential(path);
        const Planes reference = readToEnd(sequential);
        ASSERT_EQ(frameCount(reference), sequential.length());
        const std::int64_t n = sequential.length();

        AudioFile file(path);
        auto buffer = AudioPCMBuffer::make(2, 3000);
        const std::vector<std::int64_t> targets = {n / 2 + 17, 1000, n - 2500, 1, n / 3, 0, n - 1, 70000, n / 2 + 17, 12345};
        for (std::int64_t target : targets) {
            SCOPED_TRACE("target " + std::to_string(target));
            file.setFramePosition(target);
            EXPECT_EQ(file.framePosition(), target);
            file.read(*buffer, 3000);
            const std::int64_t expected = std::min<std::int64_t>(3000, n - target);
            ASSERT_EQ(std::int64_t(buffer->frameLength()), expected);
            Planes got(2);
            for (int c = 0; c < 2; ++c)
                got[std::size_t(c)].assign(buffer->floatChannelData()[c], buffer->floatChannelData()[c] + expected);
            const Planes want = slice(reference, target, expected);
            if (tolerance == 0) {
                EXPECT_TRUE(samePlanes(got, want));
            } else {
                EXPECT_LE(maxDifference(got, want), tolerance);
                EXPECT_EQ(bestLag(got, reference, target), 0);
            }
            EXPECT_EQ(file.framePosition(), target + expected);
        }
    }

    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> Seeking::dir_;

TEST_F(Seeking, LosslessFilesLandOnTheExactFrame) {
    for (auto [name, args] : {std::pair{"source.wav", ""}, {"rifx.wav", "sox -B"}, {"rf64.wav", "-c:a pcm_s24le -rf64 always"},
                              {"s.aiff", "-c:a pcm_s24be"}, {"s.caf", "-c:a pcm_s24le -f caf"}, {"s.flac", "-c:a flac"},
                              {"alac.m4a", "-c:a alac"}, {"alac.caf", "-c:a alac -f caf"}, {"flac.ogg", "-c:a flac"}}) {
        SCOPED_TRACE(name);
        checkTargets(make(name, args), 0.0);
    }
}

TEST_F(Seeking, LossyFilesLandOnTheExactFrame) {
    // With enough pre-roll decoded before the target, the decoder state, and so the
    // samples, are the same as in a sequential read.
    // MP3 timestamps after a demuxer seek are estimates without a Xing table; these go
    // through byte positions noted while counting the length.
    for (auto [name, args] : {std::pair{"s.mp3", "-c:a libmp3lame"}, {"vbr-no-xing.mp3", "-c:a libmp3lame -q:a 5 -write_xing 0"},
                              {"lsf.mp3", "-c:a libmp3lame -ar 22050"}, {"s.ogg", "-c:a libvorbis"},
                              {"s.opus", "-c:a libopus"}}) {
        SCOPED_TRACE(name);
        checkTargets(make(name, args), 0.0);
    }
    // Except for AAC's noise substitution, whose random state a seek cannot restore: the
    // noisy bands differ, the tone lines up frame for frame.
    for (auto [name, args] : {std::pair{"aac.m4a", "-c:a aac"}, {"s.aac", "-c:a aac"}}) {
        SCOPED_TRACE(name);
        checkTargets(make(name, args), 0.1);
    }
}

TEST_F(Seeking, PositionsOutsideTheFileAreClamped) {
    AudioFile file(*dir_ / "source.wav");
    auto buffer = AudioPCMBuffer::make(2, 256);
    file.setFramePosition(kFrames + 1000);
    EXPECT_EQ(file.framePosition(), kFrames);
    file.read(*buffer, 256);
    EXPECT_EQ(buffer->frameLength(), 0u);
    file.setFramePosition(-5);
    EXPECT_EQ(file.framePosition(), 0);
    file.read(*buffer, 256);
    EXPECT_EQ(buffer->frameLength(), 256u);
}

TEST_F(Seeking, ReadingToTheEndAfterASeekDeliversTheRest) {
    const auto path = make("s.mp3", "-c:a libmp3lame");
    AudioFile file(path);
    file.setFramePosition(file.length() / 2);
    EXPECT_EQ(frameCount(readToEnd(file)), file.length() - file.length() / 2);
}

// Channel i in is channel i out, for every sample layout the decoders produce.
TEST(ChannelOrder, ManyChannelsKeepTheirOrder) {
    TempDir dir;
    const Planes signal = testSignal(16, 20000, kRate, 0.0);
    for (auto format : {SampleFormat::PCM16, SampleFormat::PCM24, SampleFormat::Float32}) {
        WavOptions options;
        options.format = format;
        writeWav(dir / "16.wav", signal, kRate, options);
        EXPECT_TRUE(samePlanes(readFile(dir / "16.wav"), quantised(signal, format)));
    }
    WavOptions options;
    options.format = SampleFormat::PCM16;
    writeWav(dir / "16.wav", signal, kRate, options);
    const Planes expected = quantised(signal, SampleFormat::PCM16);
    ffmpeg(dir / "16.wav", "-c:a pcm_s16be -f caf", dir / "16.caf");
    EXPECT_TRUE(samePlanes(readFile(dir / "16.caf"), expected));
    ffmpeg(dir / "16.wav", "-c:a pcm_s32le -rf64 always", dir / "16-rf64.wav");
    EXPECT_TRUE(samePlanes(readFile(dir / "16-rf64.wav"), expected));

    // FLAC and ALAC stop at eight channels; planar 16-bit from ALAC, packed from FLAC.
    // ALAC's eight are 7.1 (wide); with that mask ffmpeg encodes without remixing.
    const Planes eight(expected.begin(), expected.begin() + 8);
    writeWav(dir / "8.wav", Planes(signal.begin(), signal.begin() + 8), kRate, options);
    ffmpeg(dir / "8.wav", "-c:a flac", dir / "8.flac");
    EXPECT_TRUE(samePlanes(readFile(dir / "8.flac"), eight));
    options.channelMask = 0xFF;
    writeWav(dir / "8-wide.wav", Planes(signal.begin(), signal.begin() + 8), kRate, options);
    ffmpeg(dir / "8-wide.wav", "-c:a alac", dir / "8.m4a");
    EXPECT_TRUE(samePlanes(readFile(dir / "8.m4a"), eight));
}

TEST(ChannelOrder, MoreChannelsThanTheResamplerTakes) {
    TempDir dir;
    const Planes signal = testSignal(80, 3000, kRate, 0.0);
    WavOptions options;
    options.format = SampleFormat::PCM16;
    writeWav(dir / "80.wav", signal, kRate, options);
    AudioFile file(dir / "80.wav");
    EXPECT_EQ(file.processingFormat().channelCount, 80u);
    EXPECT_TRUE(samePlanes(readToEnd(file), quantised(signal, SampleFormat::PCM16)));
}

} // namespace
} // namespace vaun::test
