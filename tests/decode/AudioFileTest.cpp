// Every supported container and codec read to the end: frame counts against length(),
// lossless samples against the same audio in a plain RIFF WAV, and the native format
// each file reports.
#include "DecodeTestSupport.h"

#include "common/Errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace vaun::test {
namespace {

constexpr double kRate = 48000;
// Odd, so that padding to a codec's frame size shows.
constexpr std::int64_t kFrames = 48000 * 2 + 123;
constexpr std::int64_t kLongFrames = 48000 * 30 + 123;

WavOptions wavFormat(SampleFormat format) {
    WavOptions options;
    options.format = format;
    return options;
}

class AudioFileFormats : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        source_ = testSignal(2, kFrames, kRate);
        writeWav(at("s16.wav"), source_, kRate, wavFormat(SampleFormat::PCM16));
        writeWav(at("s24.wav"), source_, kRate, wavFormat(SampleFormat::PCM24));
        writeWav(at("s32.wav"), source_, kRate, wavFormat(SampleFormat::PCM32));
        writeWav(at("f32.wav"), source_, kRate, wavFormat(SampleFormat::Float32));
        writeWav(at("long.wav"), testSignal(2, kLongFrames, kRate), kRate, wavFormat(SampleFormat::PCM16));
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::filesystem::path at(const std::string& name) { return *dir_ / name; }

    // The file `name`, made once from `from` by ffmpeg with `args`.
    static std::filesystem::path transcoded(const std::string& name, const std::string& from, const std::string& args) {
        const auto path = at(name);
        if (!std::filesystem::exists(path)) ffmpeg(at(from), args, path);
        return path;
    }

    static Planes quantisedSource(SampleFormat f) { return quantised(source_, f); }

    static std::unique_ptr<TempDir> dir_;
    static Planes source_;
};

std::unique_ptr<TempDir> AudioFileFormats::dir_;
Planes AudioFileFormats::source_;

TEST_F(AudioFileFormats, RiffWavReadsExactlyTheWrittenSamples) {
    for (auto [name, format] : {std::pair{"s16.wav", SampleFormat::PCM16}, {"s24.wav", SampleFormat::PCM24},
                                {"s32.wav", SampleFormat::PCM32}, {"f32.wav", SampleFormat::Float32}}) {
        SCOPED_TRACE(name);
        AudioFile file(at(name));
        EXPECT_EQ(file.length(), kFrames);
        const Planes decoded = readToEnd(file, 1000);
        EXPECT_TRUE(samePlanes(decoded, quantisedSource(format)));
        EXPECT_EQ(file.framePosition(), kFrames);
    }
}

// Each lossless variant decodes to exactly what the plain RIFF WAV of the same depth holds.
TEST_F(AudioFileFormats, LosslessContainersMatchTheRiffWav) {
    struct Case {
        std::string name;
        std::string reference;
        std::function<std::filesystem::path()> make;
    };
    const std::vector<Case> cases = {
        {"RIFX 16-bit", "s16.wav", [] { sox(at("s16.wav"), "-B", at("rifx16.wav")); return at("rifx16.wav"); }},
        {"RIFX 24-bit", "s24.wav", [] { sox(at("s24.wav"), "-B", at("rifx24.wav")); return at("rifx24.wav"); }},
        {"RF64", "s24.wav", [] { return transcoded("rf64.wav", "s24.wav", "-c:a pcm_s24le -rf64 always"); }},
        {"AIFF 24-bit", "s24.wav", [] { return transcoded("s24.aiff", "s24.wav", "-c:a pcm_s24be"); }},
        {"AIFF 16-bit", "s16.wav", [] { return transcoded("s16.aiff", "s16.wav", "-c:a pcm_s16be"); }},
        {"AIFF-C NONE", "s16.wav", [] { sox(at("s16.wav"), "", at("none.aifc")); return at("none.aifc"); }},
        {"AIFF-C sowt", "s16.wav", [] { return transcoded("sowt.aifc", "s16.wav", "-c:a pcm_s16le -f aiff"); }},
        {"AIFF-C fl32", "f32.wav", [] { return transcoded("fl32.aifc", "f32.wav", "-c:a pcm_f32be -f aiff"); }},
        {"CAF 24-bit big-endian", "s24.wav", [] { return transcoded("s24be.caf", "s24.wav", "-c:a pcm_s24be -f caf"); }},
        {"CAF 16-bit little-endian", "s16.wav", [] { return transcoded("s16le.caf", "s16.wav", "-c:a pcm_s16le -f caf"); }},
        {"CAF float", "f32.wav", [] { return transcoded("f32.caf", "f32.wav", "-c:a pcm_f32be -f caf"); }},
        {"FLAC 16-bit", "s16.wav", [] { return transcoded("s16.flac", "s16.wav", "-c:a flac"); }},
        {"FLAC 24-bit", "s24.wav", [] { return transcoded("s24.flac", "s24.wav", "-c:a flac"); }},
        {"FLAC by libFLAC", "s24.wav", [] { sox(at("s24.wav"), "", at("sox.flac")); return at("sox.flac"); }},
        {"ALAC 16-bit in M4A", "s16.wav", [] { return transcoded("s16-alac.m4a", "s16.wav", "-c:a alac"); }},
        {"ALAC 24-bit in M4A", "s24.wav", [] { return transcoded("s24-alac.m4a", "s24.wav", "-c:a alac"); }},
        {"ALAC in CAF", "s24.wav", [] { return transcoded("s24-alac.caf", "s24.wav", "-c:a alac -f caf"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Planes expected = readFile(at(c.reference));
        ASSERT_EQ(frameCount(expected), kFrames);
        AudioFile file(c.make());
        EXPECT_EQ(file.length(), kFrames);
        EXPECT_EQ(file.processingFormat().channelCount, 2u);
        EXPECT_EQ(file.processingFormat().sampleRateHz, kRate);
        EXPECT_TRUE(samePlanes(readToEnd(file, 777), expected));
    }
}

// Where the container has no exact length, length() comes from a packet scan; these
// files are long enough (1407 AAC packets) that most packets are only modelled, not decoded.
TEST_F(AudioFileFormats, ScannedLengthsEqualTheFramesRead) {
    struct Case {
        std::string name, file, args;
        std::int64_t expectedLength; // -1: only frames read == length()
    };
    const std::vector<Case> cases = {
        // LAME's Info tag records delay and padding; FFmpeg turns it into skip samples.
        {"MP3 CBR", "long-cbr.mp3", "-c:a libmp3lame -b:a 128k", kLongFrames},
        {"MP3 VBR", "long-vbr.mp3", "-c:a libmp3lame -q:a 4", kLongFrames},
        // The MP4 edit list drops the priming, and its duration, in the 1/1000 s movie
        // time scale FFmpeg writes (30.002 s), cuts the last packet: 27 frames short.
        {"AAC in M4A", "long-aac.m4a", "-c:a aac -b:a 128k", 30002 * 48},
        // Raw ADTS records neither: all 1408 coded frames, priming included.
        {"AAC ADTS", "long.aac", "-c:a aac -b:a 128k", 1408 * 1024},
        {"Vorbis in Ogg", "long-vorbis.ogg", "-c:a libvorbis", kLongFrames},
        {"Opus in Ogg", "long.opus", "-c:a libopus", kLongFrames},
        {"Opus in Matroska", "long-opus.mka", "-c:a libopus", kLongFrames},
        // Matroska keeps no end trimming for Vorbis: the last block is delivered whole.
        {"Vorbis in Matroska", "long-vorbis.mka", "-c:a libvorbis", -1},
        {"MP2", "long.mp2", "-c:a mp2", -1},
        {"AC-3", "long.ac3", "-c:a ac3", -1},
        {"IMA ADPCM in CAF", "long-ima4.caf", "-c:a adpcm_ima_qt -f caf", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AudioFile file(transcoded(c.file, "long.wav", c.args));
        const Planes decoded = readToEnd(file, 8192);
        EXPECT_EQ(frameCount(decoded), file.length());
        if (c.expectedLength >= 0) {
            EXPECT_EQ(file.length(), c.expectedLength);
        }
        EXPECT_EQ(file.processingFormat().sampleRateHz, kRate);
        EXPECT_EQ(file.processingFormat().channelCount, 2u);
    }
}

TEST_F(AudioFileFormats, ScannedLosslessFilesMatchTheRiffWav) {
    const Planes expected = readFile(at("long.wav"));
    ASSERT_EQ(frameCount(expected), kLongFrames);
    for (auto [name, args] : {std::pair{"long-alac.m4a", "-c:a alac"}, {"long-alac.caf", "-c:a alac -f caf"},
                              {"long-flac.ogg", "-c:a flac"}, {"long-flac.mka", "-c:a flac"}}) {
        SCOPED_TRACE(name);
        AudioFile file(transcoded(name, "long.wav", args));
        EXPECT_EQ(file.length(), kLongFrames);
        EXPECT_TRUE(samePlanes(readToEnd(file, 8192), expected));
    }
}

TEST_F(AudioFileFormats, LossyDecodeFollowsTheSource) {
    // With the delay removed the decoded tone lines up with the source frame by frame.
    AudioFile file(transcoded("cbr.mp3", "s16.wav", "-c:a libmp3lame -b:a 128k"));
    EXPECT_EQ(file.length(), kFrames);
    const Planes decoded = readToEnd(file);
    const Planes expected = quantisedSource(SampleFormat::PCM16);
    double error = 0, energy = 0;
    for (std::size_t c = 0; c < 2; ++c)
        for (std::int64_t i = 4800; i < kFrames - 4800; ++i) {
            const double d = decoded[c][std::size_t(i)] - expected[c][std::size_t(i)];
            error += d * d;
            energy += double(expected[c][std::size_t(i)]) * expected[c][std::size_t(i)];
        }
    EXPECT_LT(error / energy, 0.05);
}

TEST_F(AudioFileFormats, NativeFormatNamesCodecAndStoredDepth) {
    struct Case {
        std::string file, from, args;
        std::uint32_t formatID, bits;
    };
    const std::vector<Case> cases = {
        {"s16.wav", "", "", FormatID::LinearPCM, 16},
        {"s24.wav", "", "", FormatID::LinearPCM, 24},
        {"s32.wav", "", "", FormatID::LinearPCM, 32},
        {"f32.wav", "", "", FormatID::LinearPCM, 32},
        {"f64.wav", "s16.wav", "-c:a pcm_f64le", FormatID::LinearPCM, 64},
        {"u8.wav", "s16.wav", "-c:a pcm_u8", FormatID::LinearPCM, 8},
        {"alaw.wav", "s16.wav", "-c:a pcm_alaw", FormatID::ALaw, 8},
        {"ulaw.wav", "s16.wav", "-c:a pcm_mulaw", FormatID::ULaw, 8},
        {"ulaw.caf", "s16.wav", "-c:a pcm_mulaw -f caf", FormatID::ULaw, 8},
        {"s24.aiff", "s24.wav", "-c:a pcm_s24be", FormatID::LinearPCM, 24},
        {"fl32.aifc", "f32.wav", "-c:a pcm_f32be -f aiff", FormatID::LinearPCM, 32},
        {"s24be.caf", "s24.wav", "-c:a pcm_s24be -f caf", FormatID::LinearPCM, 24},
        {"s16.flac", "s16.wav", "-c:a flac", FormatID::FLAC, 16},
        {"s24.flac", "s24.wav", "-c:a flac", FormatID::FLAC, 24},
        {"s16-alac.m4a", "s16.wav", "-c:a alac", FormatID::AppleLossless, 16},
        {"s24-alac.m4a", "s24.wav", "-c:a alac", FormatID::AppleLossless, 24},
        {"cbr.mp3", "s16.wav", "-c:a libmp3lame -b:a 128k", FormatID::MPEGLayer3, 0},
        {"aac.m4a", "s16.wav", "-c:a aac -b:a 128k", FormatID::MPEG4AAC, 0},
        {"opus.opus", "s16.wav", "-c:a libopus", fourCC("opus"), 0},
        {"ac3.ac3", "s16.wav", "-c:a ac3", fourCC("ac-3"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = c.from.empty() ? at(c.file) : transcoded(c.file, c.from, c.args);
        AudioFile file(path);
        EXPECT_EQ(file.fileFormat().formatID, c.formatID) << fourCCString(file.fileFormat().formatID.value_or(0));
        EXPECT_EQ(file.fileFormat().bitsPerChannel, c.bits);
        EXPECT_EQ(file.fileFormat().channelCount, 2u);
        EXPECT_EQ(file.fileFormat().sampleRateHz, kRate);

        const AudioFormat& processing = file.processingFormat();
        EXPECT_EQ(processing.formatID, FormatID::LinearPCM);
        EXPECT_EQ(processing.bitsPerChannel, 32u);
        EXPECT_EQ(processing.channelCount, file.fileFormat().channelCount);
        EXPECT_EQ(processing.sampleRateHz, file.fileFormat().sampleRateHz);
        EXPECT_EQ(processing.channelLayout, file.fileFormat().channelLayout);
    }
}

TEST_F(AudioFileFormats, VorbisHasNoFourCharacterCode) {
    AudioFile file(transcoded("vorbis.ogg", "s16.wav", "-c:a libvorbis"));
    EXPECT_FALSE(file.fileFormat().formatID.has_value());
    EXPECT_EQ(file.fileFormat().bitsPerChannel, 0u);
}

// Every sample layout FFmpeg's decoders hand over comes out as the same float values.
TEST_F(AudioFileFormats, EverySampleLayoutConvertsToTheSameFloats) {
    const Planes reference = readFile(at("s16.wav"));
    for (auto [name, args] : {std::pair{"u8.wav", "-c:a pcm_u8"}, {"s16p.m4a", "-c:a alac"}, {"f64.wav", "-c:a pcm_f64le"},
                              {"s32.caf", "-c:a pcm_s32le -f caf"}}) {
        SCOPED_TRACE(name);
        const Planes decoded = readFile(transcoded(name, "s16.wav", args));
        ASSERT_EQ(frameCount(decoded), kFrames);
        // 8-bit keeps the top byte of each 16-bit sample; the others are exact.
        EXPECT_LE(maxDifference(decoded, reference), std::string(name) == "u8.wav" ? 1.0 / 128 : 0.0);
    }
}

TEST_F(AudioFileFormats, ReadsNeverExceedCapacityOrRequest) {
    AudioFile file(at("s24.wav"));
    auto buffer = AudioPCMBuffer::make(2, 100);
    ASSERT_TRUE(buffer);
    file.read(*buffer, 1000);
    EXPECT_EQ(buffer->frameLength(), 100u);
    file.read(*buffer, 7);
    EXPECT_EQ(buffer->frameLength(), 7u);
    EXPECT_EQ(file.framePosition(), 107);
    auto wrong = AudioPCMBuffer::make(3, 100);
    EXPECT_THROW(file.read(*wrong, 10), DecoderError);
}

TEST_F(AudioFileFormats, ReadsAfterTheEndDeliverNothing) {
    AudioFile file(at("s16.wav"));
    readToEnd(file);
    auto buffer = AudioPCMBuffer::make(2, 512);
    for (int i = 0; i < 3; ++i) {
        buffer->setFrameLength(99);
        file.read(*buffer, 512);
        EXPECT_EQ(buffer->frameLength(), 0u);
    }
}

TEST(AudioPCMBuffer, MakesPlanesOfTheRequestedShape) {
    EXPECT_EQ(AudioPCMBuffer::make(0, 10), nullptr);
    EXPECT_EQ(AudioPCMBuffer::make(2, 0), nullptr);
    auto buffer = AudioPCMBuffer::make(3, 64);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->channelCount(), 3u);
    EXPECT_EQ(buffer->frameCapacity(), 64u);
    EXPECT_EQ(buffer->frameLength(), 0u);
    buffer->setFrameLength(100);
    EXPECT_EQ(buffer->frameLength(), 64u);
    // Planes do not overlap.
    for (std::uint32_t c = 0; c < 3; ++c)
        for (std::uint32_t i = 0; i < 64; ++i) buffer->floatChannelData()[c][i] = float(c * 1000 + i);
    for (std::uint32_t c = 0; c < 3; ++c) EXPECT_EQ(buffer->floatChannelData()[c][63], float(c * 1000 + 63));
    AudioPCMBuffer moved = std::move(*buffer);
    EXPECT_EQ(moved.floatChannelData()[2][5], 2005.0f);
}

} // namespace
} // namespace vaun::test
