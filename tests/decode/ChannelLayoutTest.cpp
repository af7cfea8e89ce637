// Channel layouts: the container's own (WAVE channel mask, CAF 'chan', AIFF 'CHAN')
// reported verbatim, FFmpeg's carried over for other files, absent when the file says
// nothing.
#include "DecodeTestSupport.h"

#include "decode/ContainerLayout.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace vaun::test {
namespace {

constexpr double kRate = 44100;
constexpr std::int64_t kFrames = 4410 + 7;

AudioChannelLayout tagged(std::uint32_t tag, std::uint32_t bitmap = 0) {
    AudioChannelLayout l;
    l.layoutTag = tag;
    l.channelBitmap = bitmap;
    return l;
}

AudioChannelDescription description(std::uint32_t label, std::uint32_t flags = 0, std::array<float, 3> xyz = {}) {
    AudioChannelDescription d;
    d.channelLabel = label;
    d.channelFlags = flags;
    d.coordinates = xyz;
    return d;
}

std::vector<std::uint8_t> layoutPayload(const AudioChannelLayout& layout) {
    BigEndianBytes b;
    b.u32(layout.layoutTag);
    b.u32(layout.channelBitmap);
    b.u32(std::uint32_t(layout.channelDescriptions.size()));
    for (const auto& d : layout.channelDescriptions) {
        b.u32(d.channelLabel);
        b.u32(d.channelFlags);
        for (float v : d.coordinates) b.f32(v);
    }
    return b.bytes;
}

// A CAF of big-endian 16-bit PCM, with a 'chan' chunk holding `layout` if there is one.
void writeCaf(const std::filesystem::path& path, const Planes& planes, const std::optional<AudioChannelLayout>& layout) {
    const auto channels = std::uint32_t(planes.size());
    const Planes q = quantised(planes, SampleFormat::PCM16);
    BigEndianBytes b;
    b.id("caff");
    b.u16(1);
    b.u16(0);
    b.id("desc");
    b.u64(32);
    b.f64(kRate);
    b.id("lpcm");
    b.u32(0x4); // signed integer, big-endian
    b.u32(2 * channels);
    b.u32(1);
    b.u32(channels);
    b.u32(16);
    if (layout) {
        const auto chan = layoutPayload(*layout);
        b.id("chan");
        b.u64(chan.size());
        b.append(chan);
    }
    b.id("data");
    b.u64(4 + q[0].size() * 2 * channels);
    b.u32(0); // edit count
    for (std::size_t i = 0; i < q[0].size(); ++i)
        for (const auto& p : q) b.u16(std::uint32_t(std::int32_t(std::lround(p[i] * 32768.0f))) & 0xFFFF);
    writeBytes(path, b.bytes);
}

// Appends a chunk to an AIFF file and corrects the FORM size.
void appendAiffChunk(const std::filesystem::path& path, const char (&id)[5], const std::vector<std::uint8_t>& payload) {
    auto bytes = readBytes(path);
    BigEndianBytes chunk;
    chunk.id(id);
    chunk.u32(std::uint32_t(payload.size()));
    chunk.append(payload);
    if (payload.size() % 2) chunk.u8(0);
    bytes.insert(bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
    const auto formSize = std::uint32_t(bytes.size() - 8);
    for (int i = 0; i < 4; ++i) bytes[std::size_t(4 + i)] = std::uint8_t(formSize >> (24 - 8 * i));
    writeBytes(path, bytes);
}

class ChannelLayouts : public ::testing::Test {
protected:
    std::filesystem::path wav(const std::string& name, int channels, std::optional<std::uint32_t> mask,
                              SampleFormat format = SampleFormat::PCM24) {
        WavOptions options;
        options.format = format;
        options.channelMask = mask;
        const auto path = dir_ / name;
        writeWav(path, testSignal(channels, kFrames, kRate), kRate, options);
        return path;
    }

    static std::optional<AudioChannelLayout> layoutOf(const std::filesystem::path& path) {
        AudioFile file(path);
        EXPECT_EQ(file.processingFormat().channelLayout, file.fileFormat().channelLayout);
        return file.fileFormat().channelLayout;
    }

    TempDir dir_;
};

TEST_F(ChannelLayouts, WaveChannelMaskBecomesBitmapOrTag) {
    EXPECT_EQ(layoutOf(wav("51.wav", 6, 0x3F)), tagged(AudioChannelLayout::kUseChannelBitmap, 0x3F));
    EXPECT_EQ(layoutOf(wav("71.wav", 8, 0x63F)), tagged(AudioChannelLayout::kUseChannelBitmap, 0x63F));
    EXPECT_EQ(layoutOf(wav("mono.wav", 1, 0x4)), tagged(AudioChannelLayout::kMono));
    EXPECT_EQ(layoutOf(wav("stereo.wav", 2, 0x3)), tagged(AudioChannelLayout::kStereo));
    EXPECT_EQ(layoutOf(wav("float51.wav", 6, 0x3F, SampleFormat::Float32)),
              tagged(AudioChannelLayout::kUseChannelBitmap, 0x3F));
}

TEST_F(ChannelLayouts, WaveWithoutMaskHasNoLayout) {
    // FFmpeg guesses stereo, 5.1 and so on for these; the file itself says nothing.
    for (int channels : {1, 2, 6})
        EXPECT_EQ(layoutOf(wav("plain" + std::to_string(channels) + ".wav", channels, std::nullopt)), std::nullopt);
    EXPECT_EQ(layoutOf(wav("float.wav", 2, std::nullopt, SampleFormat::Float32)), std::nullopt);
    // Extensible with an empty mask: no speaker assignment.
    EXPECT_EQ(layoutOf(wav("zero-mask.wav", 2, 0u)), std::nullopt);
}

TEST_F(ChannelLayouts, RiffVariantsKeepTheirMask) {
    const auto source = wav("src51.wav", 6, 0x60F);
    ffmpeg(source, "-c:a pcm_s24le -rf64 always", dir_ / "rf64.wav");
    EXPECT_EQ(layoutOf(dir_ / "rf64.wav"), tagged(AudioChannelLayout::kUseChannelBitmap, 0x60F));
    // sox writes RIFX with WAVE_FORMAT_EXTENSIBLE and its own mask for the channel count.
    sox(wav("src2.wav", 2, 0x3), "-B", dir_ / "rifx.wav");
    const ContainerLayout rifx = readContainerLayout(dir_ / "rifx.wav");
    EXPECT_TRUE(rifx.bigEndian);
    EXPECT_EQ(rifx.layout, tagged(AudioChannelLayout::kStereo));
    EXPECT_EQ(layoutOf(dir_ / "rifx.wav"), tagged(AudioChannelLayout::kStereo));
}

TEST_F(ChannelLayouts, CafChanChunkFromFFmpeg) {
    ffmpeg(wav("51.wav", 6, 0x60F), "-c:a pcm_s16be -f caf", dir_ / "51.caf");
    // FFmpeg writes 5.1 as kAudioChannelLayoutTag_MPEG_5_1_A.
    EXPECT_EQ(layoutOf(dir_ / "51.caf"), tagged((121u << 16) | 6));
    ffmpeg(wav("2.wav", 2, 0x3), "-c:a pcm_s16be -f caf", dir_ / "2.caf");
    EXPECT_EQ(layoutOf(dir_ / "2.caf"), tagged(AudioChannelLayout::kStereo));
}

TEST_F(ChannelLayouts, CafChanChunkIsReportedVerbatim) {
    AudioChannelLayout described;
    described.layoutTag = AudioChannelLayout::kUseChannelDescriptions;
    described.channelDescriptions = {description(3), description(1, 0, {-30, 0, 1}), description(0x10005, 2, {0.5f, -0.25f, 2})};
    const Planes signal = testSignal(3, kFrames, kRate);
    writeCaf(dir_ / "described.caf", signal, described);
    AudioFile file(dir_ / "described.caf");
    EXPECT_EQ(file.fileFormat().channelLayout, described);
    EXPECT_EQ(file.length(), kFrames);
    EXPECT_TRUE(samePlanes(readToEnd(file), quantised(signal, SampleFormat::PCM16)));

    const AudioChannelLayout bitmap = tagged(AudioChannelLayout::kUseChannelBitmap, 0x7);
    writeCaf(dir_ / "bitmap.caf", testSignal(3, kFrames, kRate), bitmap);
    EXPECT_EQ(layoutOf(dir_ / "bitmap.caf"), bitmap);

    // Without a 'chan' chunk the file says nothing, whatever FFmpeg would guess.
    writeCaf(dir_ / "none.caf", testSignal(2, kFrames, kRate), std::nullopt);
    EXPECT_EQ(layoutOf(dir_ / "none.caf"), std::nullopt);
}

TEST_F(ChannelLayouts, AiffChanChunkAndItsAbsence) {
    sox(wav("2.wav", 2, std::nullopt), "", dir_ / "plain.aiff");
    EXPECT_EQ(layoutOf(dir_ / "plain.aiff"), std::nullopt);

    AudioChannelLayout described;
    described.channelDescriptions = {description(2), description(1)};
    sox(dir_ / "2.wav", "", dir_ / "chan.aiff");
    appendAiffChunk(dir_ / "chan.aiff", "CHAN", layoutPayload(described));
    EXPECT_EQ(layoutOf(dir_ / "chan.aiff"), described);

    sox(dir_ / "2.wav", "", dir_ / "chan.aifc");
    appendAiffChunk(dir_ / "chan.aifc", "CHAN", layoutPayload(tagged(AudioChannelLayout::kStereo)));
    EXPECT_EQ(layoutOf(dir_ / "chan.aifc"), tagged(AudioChannelLayout::kStereo));
}

TEST_F(ChannelLayouts, OtherFilesCarryFFmpegsLayoutOver) {
    const auto source = wav("51.wav", 6, 0x3F, SampleFormat::PCM16);
    // FFmpeg 5.1 gives FLAC's six channels as FL FR FC LFE BL BR.
    ffmpeg(source, "-c:a flac", dir_ / "51.flac");
    EXPECT_EQ(layoutOf(dir_ / "51.flac"), tagged(AudioChannelLayout::kUseChannelBitmap, 0x3F));
    ffmpeg(source, "-c:a libmp3lame -ac 1", dir_ / "mono.mp3");
    EXPECT_EQ(layoutOf(dir_ / "mono.mp3"), tagged(AudioChannelLayout::kMono));
    ffmpeg(source, "-c:a aac -ac 2", dir_ / "stereo.m4a");
    EXPECT_EQ(layoutOf(dir_ / "stereo.m4a"), tagged(AudioChannelLayout::kStereo));
    // Sun .au stores no layout and FFmpeg keeps the order unspecified.
    ffmpeg(source, "-c:a pcm_s16be -ac 2", dir_ / "stereo.au");
    EXPECT_EQ(layoutOf(dir_ / "stereo.au"), std::nullopt);
}

TEST_F(ChannelLayouts, FFmpegChannelsBeyondTheBitmapBecomeDescriptions) {
    // A W64 file goes through FFmpeg's layout. Its mask names FL FR FC LFE and FFmpeg's
    // stereo-downmix pair (bits 29, 30), which Core Audio's bitmap cannot express.
    ffmpeg(wav("51.wav", 6, 0x3F, SampleFormat::PCM16), "-c:a pcm_s16le", dir_ / "51.w64");
    auto bytes = readBytes(dir_ / "51.w64");
    const std::array<std::uint8_t, 4> mask3F = {0x3F, 0, 0, 0};
    const auto at = std::search(bytes.begin(), bytes.end(), mask3F.begin(), mask3F.end());
    ASSERT_NE(at, bytes.end());
    const std::array<std::uint8_t, 4> downmix = {0x0F, 0, 0, 0x60};
    std::copy(downmix.begin(), downmix.end(), at);
    writeBytes(dir_ / "downmix.w64", bytes);

    AudioChannelLayout expected;
    for (std::uint32_t label : {1u, 2u, 3u, 4u, 38u, 39u}) expected.channelDescriptions.push_back(description(label));
    EXPECT_EQ(layoutOf(dir_ / "downmix.w64"), expected);
}

TEST(ContainerLayout, FFmpegLayoutsInCoreAudiosForms) {
    AVChannelLayout layout{};
    av_channel_layout_from_mask(&layout, AV_CH_LAYOUT_MONO);
    EXPECT_EQ(layoutFromFFmpeg(layout), tagged(AudioChannelLayout::kMono));
    av_channel_layout_from_mask(&layout, AV_CH_LAYOUT_STEREO);
    EXPECT_EQ(layoutFromFFmpeg(layout), tagged(AudioChannelLayout::kStereo));
    av_channel_layout_from_mask(&layout, AV_CH_LAYOUT_7POINT1);
    EXPECT_EQ(layoutFromFFmpeg(layout), tagged(AudioChannelLayout::kUseChannelBitmap, 0x63F));
    // A lone centre that is not a mono file is a bitmap, not the mono tag.
    av_channel_layout_from_mask(&layout, AV_CH_FRONT_CENTER | AV_CH_LOW_FREQUENCY);
    EXPECT_EQ(layoutFromFFmpeg(layout), tagged(AudioChannelLayout::kUseChannelBitmap, 0xC));

    // 22.2 reaches past the bitmap bits (LFE2, top sides, bottom fronts).
    ASSERT_EQ(av_channel_layout_from_string(&layout, "22.2"), 0);
    const auto wide = layoutFromFFmpeg(layout);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->layoutTag, AudioChannelLayout::kUseChannelDescriptions);
    ASSERT_EQ(wide->channelDescriptions.size(), 24u);
    std::vector<std::uint32_t> labels;
    for (const auto& d : wide->channelDescriptions) labels.push_back(d.channelLabel);
    // FFmpeg's native order: by channel id, FL FR FC LFE BL BR FLC FRC BC SL SR TC TFL TFC
    // TFR TBL TBC TBR LFE2 TSL TSR BFC BFL BFR; the bottom ones have no Core Audio label.
    const std::uint32_t unknown = 0xFFFFFFFF;
    EXPECT_EQ(labels, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 37, 49,
                                                  51, unknown, unknown, unknown}));
    av_channel_layout_uninit(&layout);

    // A custom order keeps its own order.
    std::array<AVChannelCustom, 4> map{};
    map[0].id = AV_CHAN_FRONT_RIGHT;
    map[1].id = AV_CHAN_FRONT_LEFT;
    map[2].id = AV_CHAN_WIDE_LEFT;
    map[3].id = AV_CHAN_UNKNOWN;
    AVChannelLayout customOrder{};
    customOrder.order = AV_CHANNEL_ORDER_CUSTOM;
    customOrder.nb_channels = 4;
    customOrder.u.map = map.data();
    AudioChannelLayout custom;
    for (std::uint32_t label : {2u, 1u, 35u, unknown}) custom.channelDescriptions.push_back(description(label));
    EXPECT_EQ(layoutFromFFmpeg(customOrder), custom);

    av_channel_layout_default(&layout, 3);
    layout.order = AV_CHANNEL_ORDER_UNSPEC;
    EXPECT_EQ(layoutFromFFmpeg(layout), std::nullopt);
    layout.order = AV_CHANNEL_ORDER_AMBISONIC;
    layout.nb_channels = 4;
    EXPECT_EQ(layoutFromFFmpeg(layout), std::nullopt);
}

TEST(ContainerLayout, MaskFormsFollowCoreAudio) {
    EXPECT_EQ(layoutFromWaveChannelMask(0x4), tagged(AudioChannelLayout::kMono));
    EXPECT_EQ(layoutFromWaveChannelMask(0x3), tagged(AudioChannelLayout::kStereo));
    EXPECT_EQ(layoutFromWaveChannelMask(0x1), tagged(AudioChannelLayout::kUseChannelBitmap, 0x1));
    EXPECT_EQ(layoutFromWaveChannelMask(0x2FF), tagged(AudioChannelLayout::kUseChannelBitmap, 0x2FF));
}

} // namespace
} // namespace vaun::test
