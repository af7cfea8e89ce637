// Facts as files from common tools carry them: bit rates, codec names and profiles, and tags
// (with the limits that keep hostile tags harmless).
#include "TestAudio.h"
#include "decode/AudioFile.h"
#include "inspect/MetadataAssembler.h"
#include "inspect/Tags.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vaun::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<std::string> tag(const AudioMetadata& m, const std::string& key) {
    for (const auto& [k, v] : m.tags)
        if (k == key) return v;
    return std::nullopt;
}

// The average bit rate ffprobe reads from the stream's own header (Xing/Info, esds).
double statedByFFprobe(const std::filesystem::path& file, const std::filesystem::path& out) {
    const std::string cmd = "ffprobe -v error -select_streams a:0 -show_entries stream=bit_rate -of default=nw=1:nk=1 " +
                            shellQuote(file.string()) + " > " + shellQuote(out.string());
    if (run(cmd) != 0) return 0;
    std::ifstream in(out);
    double value = 0;
    in >> value;
    return value;
}

class Facts : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path source = dir / "source.wav";

    void SetUp() override {
        const std::int64_t frames = 48000 * 6;
        Planes planes = {sine(440, 0.3, 48000, frames), sine(1250, 0.2, 48000, frames)};
        std::uint32_t state = 7;
        for (auto& plane : planes)
            for (auto& v : plane) v += float((state = state * 1664525u + 1013904223u) >> 8) / float(1 << 24) * 0.1f - 0.05f;
        writeWav(source, planes, 48000);
    }

    std::filesystem::path make(const std::string& name, const std::string& args) {
        ffmpeg(source, args, dir / name);
        return dir / name;
    }
};

TEST_F(Facts, BitRateIsTheStreamsAverage) {
    const auto rateOf = [](const std::filesystem::path& p) { return MetadataAssembler::assemble(p).bitRate.value_or(0); };
    for (auto [name, args] : {std::pair{"cbr.mp3", "-c:a libmp3lame -b:a 192k"}, {"vbr.mp3", "-c:a libmp3lame -q:a 2"},
                              {"aac.m4a", "-c:a aac -b:a 128k"}}) {
        const auto path = make(name, args);
        const double stated = statedByFFprobe(path, dir / "probe.txt");
        ASSERT_GT(stated, 0) << name;
        EXPECT_NEAR(double(rateOf(path)), stated, 0.01 * stated) << name;
    }

    // ADTS: nothing but frames, whose bytes over their length are the average.
    const auto adts = make("s.aac", "-c:a aac -b:a 128k");
    const double adtsRate = double(std::filesystem::file_size(adts)) * 8 / *MetadataAssembler::assemble(adts).durationSeconds;
    EXPECT_NEAR(double(rateOf(adts)), adtsRate, 0.01 * adtsRate);

    // FLAC: the audio frames after the metadata blocks (a picture, padding) over the length.
    const auto flac = make("s.flac", "-c:a flac");
    const Bytes f = readBytes(flac);
    std::size_t audio = 4;
    for (bool last = false; !last && audio + 4 <= f.size(); audio += 4 + (std::size_t(f[audio + 1]) << 16 | std::size_t(f[audio + 2]) << 8 | f[audio + 3]))
        last = f[audio] & 0x80;
    const double flacRate = double(f.size() - audio) * 8 / 6.0;
    EXPECT_NEAR(double(rateOf(flac)), flacRate, 0.01 * flacRate);

    // Uncompressed: exactly rate × channels × stored bits.
    EXPECT_EQ(rateOf(source), 48000 * 2 * 24);
    EXPECT_EQ(rateOf(make("f.wav", "-c:a pcm_f32le")), 48000 * 2 * 32);
}

TEST_F(Facts, CodecsFFmpegDecodesHaveTheirNames) {
    struct Case {
        const char* name;
        const char* args;
        const char* codec;
    };
    for (const Case& c : {Case{"s.mp2", "-c:a mp2", "MP2"}, Case{"ac3.wav", "-c:a ac3", "AC-3"},
                          Case{"ac3.m4a", "-c:a ac3", "AC-3"}, Case{"eac3.mp4", "-c:a eac3", "E-AC-3"},
                          Case{"opus.mp4", "-c:a libopus", "Opus"}, Case{"s.opus", "-c:a libopus", "Opus"},
                          Case{"s.ogg", "-c:a libvorbis", "Vorbis"}, Case{"s.wv", "-c:a wavpack", "WavPack"},
                          Case{"ima.wav", "-c:a adpcm_ima_wav", "IMA ADPCM"}}) {
        const AudioMetadata m = MetadataAssembler::assemble(make(c.name, c.args));
        EXPECT_EQ(m.codec, c.codec) << c.name;
        EXPECT_GT(m.bitRate.value_or(0), 0) << c.name;
    }
    const AudioMetadata aac = MetadataAssembler::assemble(make("lc.m4a", "-c:a aac"));
    EXPECT_EQ(aac.codec, "AAC");
    EXPECT_EQ(aac.codecProfile, "LC");
}

TEST_F(Facts, TitlesWithNonASCIITextReadBackExactly) {
    const std::string title = "Caf\xC3\xA9 \xE2\x98\x82 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x8E\xA7";
    const std::string tags = "-metadata title=" + shellQuote(title) + " -metadata artist=Zorel -metadata album=Harbour";
    for (auto [name, args] : {std::pair{"v23.mp3", " -c:a libmp3lame -id3v2_version 3"}, {"v24.mp3", " -c:a libmp3lame -id3v2_version 4"},
                              {"s.m4a", " -c:a aac"}, {"s.flac", " -c:a flac"}, {"info.wav", " -c:a pcm_s16le"}}) {
        const AudioMetadata m = MetadataAssembler::assemble(make(name, tags + args));
        EXPECT_EQ(tag(m, "title"), title) << name;
        EXPECT_EQ(tag(m, "artist"), "Zorel") << name;
    }

    // A RIFF INFO title in 8-bit text, as older tools wrote it; its terminator missing.
    WavOptions options;
    const Bytes info = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 7, 0, 0, 0, 0x93, 'C', 'a', 'f', 0xE9, 0x94, '!', 0};
    options.extraChunks = {{"LIST", info}};
    writeWav(dir / "latin.wav", {sine(440, 0.3, 48000, 4800)}, 48000, options);
    const AudioMetadata latin = MetadataAssembler::assemble(dir / "latin.wav");
    ASSERT_EQ(latin.tags.size(), 1u);
    EXPECT_EQ(latin.tags[0].second, "\xE2\x80\x9C" "Caf\xC3\xA9\xE2\x80\x9D!");
}

// An ID3v2.4 tag of `count` TXXX frames, each `bytes` long, before an MP3 without one.
Bytes withID3(const Bytes& mp3, int count, std::size_t bytes) {
    const auto syncsafe = [](Bytes& b, std::size_t v) {
        for (int shift : {21, 14, 7, 0}) b.push_back(std::uint8_t((v >> shift) & 0x7F));
    };
    Bytes frames;
    for (int i = 0; i < count; ++i) {
        Bytes body = {3};
        const std::string key = "key" + std::to_string(i);
        body.insert(body.end(), key.begin(), key.end());
        body.push_back(0);
        body.resize(body.size() + bytes, std::uint8_t('a' + i % 26));
        frames.insert(frames.end(), {'T', 'X', 'X', 'X'});
        syncsafe(frames, body.size());
        frames.insert(frames.end(), {0, 0});
        frames.insert(frames.end(), body.begin(), body.end());
    }
    Bytes tag = {'I', 'D', '3', 4, 0, 0};
    syncsafe(tag, frames.size());
    tag.insert(tag.end(), frames.begin(), frames.end());
    tag.insert(tag.end(), mp3.begin(), mp3.end());
    return tag;
}

TEST_F(Facts, HostileTagsAreBounded) {
    const Bytes mp3 = readBytes(make("plain.mp3", "-c:a libmp3lame -id3v2_version 0"));
    writeBytes(dir / "many.mp3", withID3(mp3, 10000, 8));
    writeBytes(dir / "huge.mp3", withID3(mp3, 1, 50 * 1024 * 1024));
    const AudioMetadata many = MetadataAssembler::assemble(dir / "many.mp3");
    EXPECT_EQ(many.tags.size(), Tags::maxTags);
    const AudioMetadata huge = MetadataAssembler::assemble(dir / "huge.mp3");
    EXPECT_EQ(tag(huge, "key0").value_or("").size(), Tags::maxValueBytes);
    EXPECT_NEAR(*huge.durationSeconds, 6.0, 0.05);

    // A frame that claims more than its tag holds; an INFO item that runs past its list.
    Bytes lying = withID3(mp3, 2, 16);
    lying[10 + 4] = 0x7F;
    writeBytes(dir / "lying.mp3", lying);
    EXPECT_NEAR(*MetadataAssembler::assemble(dir / "lying.mp3").durationSeconds, 6.0, 0.05);
    // A tag that claims more than the whole file hides the audio from the decoder: a clean refusal.
    lying[6] = 0x7F;
    writeBytes(dir / "hidden.mp3", lying);
    EXPECT_THROW(MetadataAssembler::assemble(dir / "hidden.mp3"), DecoderError);
    WavOptions options;
    options.extraChunks = {{"LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 0xFF, 0xFF, 0, 0, 'x'}}};
    writeWav(dir / "lying.wav", {sine(440, 0.3, 48000, 4800)}, 48000, options);
    EXPECT_EQ(MetadataAssembler::assemble(dir / "lying.wav").durationSeconds, 0.1);
}

TEST(Tags, CleaningKeepsWhatAUserReads) {
    std::string longValue(Tags::maxValueBytes - 1, 'x');
    longValue.append("\xC3\xA9tail");
    const Tags::List raw = {
        {"TITLE", "  Harbour\x01 dawn \n"},     {"TBPM", "120"},           {"major_brand", "M4A "},
        {"iTunSMPB", " 00000000 00000840"},     {"title", "second title"}, {"comment", "\x93quoted\x94"},
        {"lyrics", longValue},                  {"genre", "   "},          {"encoded_by", "Recorder"},
    };
    const Tags::List clean = Tags::clean(raw, {{"encoded_by", "Recorder"}});
    EXPECT_EQ(clean, (Tags::List{{"title", "Harbour dawn"},
                                 {"bpm", "120"},
                                 {"comment", "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
                                 {"lyrics", std::string(Tags::maxValueBytes - 1, 'x')}}));
}

} // namespace
} // namespace vaun::test
