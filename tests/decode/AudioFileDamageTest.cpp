// Bad input: missing, unreadable, empty, mislabelled, truncated and lying files fail with
// a clear error or read what they hold; none crashes or hangs.
#include "DecodeTestSupport.h"

#include "common/Errors.h"
#include "decode/ContainerLayout.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vaun::test {
namespace {

constexpr double kRate = 48000;
constexpr std::int64_t kFrames = 48000 + 77;

class DamagedFiles : public ::testing::Test {
protected:
    // A stereo 16-bit WAV: 44-byte header, then 4 bytes per frame.
    std::filesystem::path wav(const std::string& name, std::int64_t frames = kFrames) {
        WavOptions options;
        options.format = SampleFormat::PCM16;
        const auto path = dir_ / name;
        writeWav(path, testSignal(2, frames, kRate), kRate, options);
        return path;
    }

    static void patch32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    }

    // Reads to the end and checks that the reads stop at length() at most.
    static std::int64_t framesRead(const std::filesystem::path& path) {
        AudioFile file(path);
        const std::int64_t n = frameCount(readToEnd(file));
        EXPECT_LE(n, file.length());
        return n;
    }

    TempDir dir_;
};

TEST_F(DamagedFiles, MissingFilesAndFoldersFailWithTheirReason) {
    try {
        AudioFile file(dir_ / "absent.wav");
        FAIL() << "opened a missing file";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), ENOENT);
        EXPECT_NE(e.description().find("absent.wav"), std::string::npos);
    }
    try {
        AudioFile file(dir_.path());
        FAIL() << "opened a folder";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), EISDIR);
    }
    // A FIFO would block an open for reading; it is refused before that.
    ASSERT_EQ(::mkfifo((dir_ / "fifo.wav").c_str(), 0600), 0);
    EXPECT_THROW(AudioFile(dir_ / "fifo.wav"), SystemError);
    EXPECT_EQ(readContainerLayout(dir_ / "fifo.wav").kind, ContainerKind::Other);
}

TEST_F(DamagedFiles, FilesWithoutAudioFailWithFFmpegsMessage) {
    writeBytes(dir_ / "empty.wav", {});
    const std::string text = "This is not audio at all, just a few words of text.\n";
    writeBytes(dir_ / "text.wav", std::vector<std::uint8_t>(text.begin(), text.end()));
    std::vector<std::uint8_t> noise(10000);
    std::uint32_t state = 7;
    for (auto& b : noise) b = std::uint8_t((state = state * 1103515245u + 12345u) >> 24);
    writeBytes(dir_ / "noise.wav", noise);
    ASSERT_EQ(run("ffmpeg -nostdin -v error -f lavfi -i color=c=red:s=32x32 -frames:v 1 " + shellQuote((dir_ / "image.png").string())), 0);
    ASSERT_EQ(run("ffmpeg -nostdin -v error -f lavfi -i testsrc=d=0.2:s=64x48 -c:v mpeg4 " +
                  shellQuote((dir_ / "video.mp4").string())),
              0);
    for (const char* name : {"empty.wav", "text.wav", "noise.wav", "image.png", "video.mp4"}) {
        SCOPED_TRACE(name);
        try {
            AudioFile file(dir_ / name);
            FAIL() << "opened";
        } catch (const DecoderError& e) {
            EXPECT_EQ(e.domain(), "FFmpeg");
            EXPECT_LT(e.code(), 0);
            EXPECT_FALSE(e.description().empty());
        }
    }
}

TEST_F(DamagedFiles, ZeroFrameWavIsEmpty) {
    AudioFile file(wav("zero.wav", 0));
    EXPECT_EQ(file.length(), 0);
    auto buffer = AudioPCMBuffer::make(2, 1024);
    file.read(*buffer, 1024);
    EXPECT_EQ(buffer->frameLength(), 0u);
}

TEST_F(DamagedFiles, TruncatedWavReadsWhatItHolds) {
    auto bytes = readBytes(wav("full.wav"));
    // Cut mid-frame: 1000 whole frames and half of the next remain.
    bytes.resize(44 + 1000 * 4 + 2);
    writeBytes(dir_ / "cut.wav", bytes);
    AudioFile file(dir_ / "cut.wav");
    EXPECT_EQ(file.length(), 1000);
    EXPECT_TRUE(samePlanes(readToEnd(file), slice(readFile(dir_ / "full.wav"), 0, 1000)));
}

TEST_F(DamagedFiles, WavSizesThatLie) {
    const auto original = readBytes(wav("good.wav"));
    const Planes expected = readFile(dir_ / "good.wav");
    struct Lie {
        std::string name;
        std::size_t at;
        std::uint32_t value;
        std::int64_t frames;
    };
    const std::vector<Lie> lies = {
        {"RIFF size far too large", 4, 0xFFFFFFF0, kFrames},
        {"RIFF size too small", 4, 20, kFrames},
        {"data size unknown (0xFFFFFFFF)", 40, 0xFFFFFFFF, kFrames},
        {"data size beyond the file", 40, 0x7FFFFFF0, kFrames},
        {"data size smaller", 40, 400, 100},
        {"data size not whole frames", 40, 401, 100},
    };
    for (const auto& lie : lies) {
        SCOPED_TRACE(lie.name);
        auto bytes = original;
        patch32(bytes, lie.at, lie.value);
        writeBytes(dir_ / "lie.wav", bytes);
        AudioFile file(dir_ / "lie.wav");
        EXPECT_EQ(file.length(), lie.frames);
        EXPECT_TRUE(samePlanes(readToEnd(file), slice(expected, 0, lie.frames)));
    }
}

TEST_F(DamagedFiles, WavChunksThatLieDoNotCrash) {
    const auto original = readBytes(wav("good.wav"));
    // A junk chunk before 'fmt ' whose size overruns the file, or wraps 64-bit sums.
    for (std::uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF7u, 0x10000u}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> bytes(original.begin(), original.begin() + 12);
        BigEndianBytes junk;
        junk.id("junk");
        bytes.insert(bytes.end(), junk.bytes.begin(), junk.bytes.end());
        bytes.resize(bytes.size() + 4);
        patch32(bytes, bytes.size() - 4, size);
        bytes.insert(bytes.end(), original.begin() + 12, original.end());
        writeBytes(dir_ / "junk.wav", bytes);
        EXPECT_NO_THROW((void)readContainerLayout(dir_ / "junk.wav"));
        try {
            framesRead(dir_ / "junk.wav");
        } catch (const DecoderError&) {
            // Refusing the file is fine; crashing or hanging is not.
        }
    }
    // Thousands of empty chunks before the audio: the header walk gives up, nothing breaks.
    std::vector<std::uint8_t> bytes(original.begin(), original.begin() + 36);
    for (int i = 0; i < 6000; ++i) {
        const std::uint8_t empty[8] = {'p', 'a', 'd', ' ', 0, 0, 0, 0};
        bytes.insert(bytes.end(), empty, empty + 8);
    }
    bytes.insert(bytes.end(), original.begin() + 36, original.end());
    writeBytes(dir_ / "many.wav", bytes);
    EXPECT_EQ(readContainerLayout(dir_ / "many.wav").kind, ContainerKind::WAVE);
    EXPECT_EQ(framesRead(dir_ / "many.wav"), kFrames);
}

TEST_F(DamagedFiles, HostileLayoutChunksAreIgnored) {
    // A CAF 'chan' chunk claiming 4 billion descriptions, and one cut short.
    BigEndianBytes caf;
    caf.id("caff");
    caf.u16(1);
    caf.u16(0);
    caf.id("chan");
    caf.u64(12);
    caf.u32(0);
    caf.u32(0);
    caf.u32(0xFFFFFFFF);
    caf.id("data");
    caf.u64(std::uint64_t(-1));
    writeBytes(dir_ / "huge.caf", caf.bytes);
    const ContainerLayout huge = readContainerLayout(dir_ / "huge.caf");
    EXPECT_EQ(huge.kind, ContainerKind::CAF);
    EXPECT_FALSE(huge.layout);

    BigEndianBytes cut;
    cut.id("caff");
    cut.u16(1);
    cut.u16(0);
    cut.id("chan");
    cut.u64(12 + 20 * 3);
    cut.u32(0);
    cut.u32(0);
    cut.u32(3);
    cut.u32(1);
    writeBytes(dir_ / "cut.caf", cut.bytes);
    EXPECT_FALSE(readContainerLayout(dir_ / "cut.caf").layout);
}

TEST_F(DamagedFiles, TimestampsThatJumpDoNotMisplaceSeeks) {
    // A CAF whose 'desc' claims 15 million frames per packet: FFmpeg's timestamps then
    // leap past any target, and seeks must fall back rather than index outside a frame.
    ffmpeg(wav("src.wav"), "-c:a pcm_s16be -f caf", dir_ / "leap.caf");
    auto bytes = readBytes(dir_ / "leap.caf");
    ASSERT_GT(bytes.size(), 44u);
    // caff header (8), 'desc' header (12), rate, format, flags, bytes per packet (20).
    const std::uint8_t frames[4] = {0x00, 0xEB, 0x00, 0x01};
    std::copy(frames, frames + 4, bytes.begin() + 40);
    writeBytes(dir_ / "leap.caf", bytes);
    AudioFile file(dir_ / "leap.caf");
    auto buffer = AudioPCMBuffer::make(2, 4096);
    for (std::int64_t target : {std::int64_t(13), file.length() / 2, file.length() - 13, std::int64_t(0)}) {
        // From the end, so that every target is a seek backwards rather than a step forward.
        file.setFramePosition(file.length());
        file.setFramePosition(target);
        file.read(*buffer, 4096);
        EXPECT_LE(std::int64_t(buffer->frameLength()), file.length() - target);
    }
}

TEST_F(DamagedFiles, DamagedCompressedFilesEndEarlyWithoutError) {
    const auto source = wav("src.wav", 48000 * 5);
    struct Case {
        std::string name, args;
    };
    for (const Case& c : {Case{"cut.mp3", "-c:a libmp3lame"}, Case{"cut.flac", "-c:a flac"},
                          Case{"cut.m4a", "-c:a aac -movflags +faststart"}, Case{"cut.ogg", "-c:a libvorbis"}}) {
        SCOPED_TRACE(c.name);
        const auto whole = dir_ / ("whole-" + c.name);
        ffmpeg(source, c.args, whole);
        auto bytes = readBytes(whole);
        // Cut off the last third, then scribble over a stretch in the middle.
        bytes.resize(bytes.size() * 2 / 3);
        writeBytes(dir_ / c.name, bytes);
        EXPECT_GT(framesRead(dir_ / c.name), 0);
        for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + 500; ++i) bytes[i] = std::uint8_t(i * 7);
        writeBytes(dir_ / c.name, bytes);
        try {
            framesRead(dir_ / c.name);
        } catch (const DecoderError&) {
            // Only the open may refuse a file damaged this early.
        }
    }
}

TEST_F(DamagedFiles, VideoStreamsBesideTheAudioAreSkipped) {
    const auto source = wav("av.wav");
    const auto path = dir_ / "av.mp4";
    ASSERT_EQ(run("ffmpeg -nostdin -v error -f lavfi -i testsrc=d=2:s=64x48 -i " + shellQuote(source.string()) +
                  " -c:v mpeg4 -c:a alac -shortest " + shellQuote(path.string())),
              0);
    AudioFile file(path);
    EXPECT_EQ(file.fileFormat().formatID, FormatID::AppleLossless);
    EXPECT_TRUE(samePlanes(readToEnd(file), readFile(source)));
}

} // namespace
} // namespace vaun::test
