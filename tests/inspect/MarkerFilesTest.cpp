// Markers as files carry them: WAVE cue points with their labels, notes and regions and a
// sampler loop, AIFF markers and loops, and the chapters of MP3 and MP4 files.
#include "TestAudio.h"
#include "inspect/MetadataAssembler.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vaun::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void le32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void be(Bytes& b, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void text(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void sub(Bytes& list, const std::string& id, const Bytes& payload) {
    text(list, id);
    le32(list, std::uint32_t(payload.size()));
    list.insert(list.end(), payload.begin(), payload.end());
    if (payload.size() % 2) list.push_back(0);
}
Bytes named(std::uint32_t id, const std::string& s) {
    Bytes b;
    le32(b, id);
    text(b, s);
    b.push_back(0);
    return b;
}

Marker marker(Marker::Kind kind, std::optional<std::int64_t> id, std::int64_t start, std::optional<std::int64_t> length,
              std::optional<std::string> label, std::optional<std::string> note = std::nullopt,
              std::optional<std::uint32_t> plays = std::nullopt) {
    return Marker{kind, id, start, length, std::move(label), std::move(note), plays};
}

class MarkerFiles : public ::testing::Test {
protected:
    TempDir dir;
    Planes tone = {sine(440, 0.3, 48000, 96000)};
};

TEST_F(MarkerFiles, WaveCuesRegionsAndLoop) {
    Bytes cue;
    le32(cue, 4);
    for (auto [id, frame] : {std::pair{1u, 4800u}, {2u, 24000u}, {3u, 48000u}, {9u, 60000u}}) {
        for (std::uint32_t v : {id, 0u}) le32(cue, v);
        text(cue, "data");
        for (std::uint32_t v : {0u, 0u, frame}) le32(cue, v);
    }
    Bytes adtl;
    text(adtl, "adtl");
    sub(adtl, "labl", named(1, "Slate"));
    sub(adtl, "labl", named(2, "Line 12"));
    sub(adtl, "note", named(2, "good read"));
    Bytes ltxt;
    for (std::uint32_t v : {3u, 10000u}) le32(ltxt, v);
    text(ltxt, "rgn ");
    ltxt.resize(ltxt.size() + 8, 0);
    sub(adtl, "ltxt", ltxt);
    sub(adtl, "labl", named(9, "Loop"));
    Bytes smpl(36, 0);
    smpl[28] = 1;
    for (std::uint32_t v : {9u, 0u, 60000u, 71999u, 0u, 3u}) le32(smpl, v);
    WavOptions options;
    options.trailingChunks = {{"cue ", cue}, {"LIST", adtl}, {"smpl", smpl}};
    writeWav(dir / "cues.wav", tone, 48000, options);
    EXPECT_EQ(MetadataAssembler::assemble(dir / "cues.wav").markers,
              (std::vector<Marker>{marker(Marker::Kind::marker, 1, 4800, std::nullopt, "Slate"),
                                   marker(Marker::Kind::marker, 2, 24000, std::nullopt, "Line 12", "good read"),
                                   marker(Marker::Kind::region, 3, 48000, 10000, std::nullopt),
                                   marker(Marker::Kind::loop, 9, 60000, 12000, "Loop", std::nullopt, 3)}));

    // 100,000 cue points are over the walk's budget: no markers, a warning, no hang.
    Bytes flood;
    le32(flood, 100000);
    flood.resize(4 + 100000 * 24, 0);
    options.trailingChunks = {{"cue ", flood}};
    writeWav(dir / "flood.wav", tone, 48000, options);
    const AudioMetadata m = MetadataAssembler::assemble(dir / "flood.wav");
    EXPECT_TRUE(m.markers.empty());
    EXPECT_EQ(m.warnings, std::vector<std::string>{MetadataAssembler::riffTruncatedWarning});
}

TEST_F(MarkerFiles, AiffMarkersAndSustainLoop) {
    writeWav(dir / "s.wav", tone, 48000);
    ffmpeg(dir / "s.wav", "-c:a pcm_s16be", dir / "s.aiff");
    std::ifstream in(dir / "s.aiff", std::ios::binary);
    Bytes aiff{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Bytes mark;
    be(mark, 2, 2);
    for (auto [id, frame, name] : {std::tuple{1u, 12000u, std::string("beg")}, {2u, 36000u, std::string("end loop")}}) {
        be(mark, id, 2), be(mark, frame, 4), mark.push_back(std::uint8_t(name.size())), text(mark, name);
        if (name.size() % 2 == 0) mark.push_back(0);
    }
    Bytes inst(8, 0);
    for (std::uint32_t v : {1u, 1u, 2u, 0u, 0u, 0u}) be(inst, v, 2);
    for (auto* chunk : {&mark, &inst}) {
        text(aiff, chunk == &mark ? "MARK" : "INST");
        be(aiff, std::uint32_t(chunk->size()), 4);
        aiff.insert(aiff.end(), chunk->begin(), chunk->end());
    }
    const std::uint32_t form = std::uint32_t(aiff.size() - 8);
    for (int i = 0; i < 4; ++i) aiff[4 + std::size_t(i)] = std::uint8_t(form >> (24 - 8 * i));
    std::ofstream(dir / "m.aiff", std::ios::binary).write(reinterpret_cast<const char*>(aiff.data()), std::streamsize(aiff.size()));
    const AudioMetadata m = MetadataAssembler::assemble(dir / "m.aiff");
    EXPECT_EQ(m.markers, (std::vector<Marker>{marker(Marker::Kind::loop, std::nullopt, 12000, 24000, "Sustain loop",
                                                     std::nullopt, 0),
                                              marker(Marker::Kind::marker, 1, 12000, std::nullopt, "beg"),
                                              marker(Marker::Kind::marker, 2, 36000, std::nullopt, "end loop")}));
    EXPECT_TRUE(m.warnings.empty());
}

TEST_F(MarkerFiles, ChaptersOfMP3AndMP4) {
    writeWav(dir / "s.wav", tone, 48000);
    std::ofstream(dir / "chapters.txt") << ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=500\ntitle=Intro\n"
                                           "[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=2000\ntitle=Caf\xC3\xA9 verse\n";
    const std::string args = "-i " + shellQuote((dir / "chapters.txt").string()) + " -map 0 -map_chapters 1 ";
    for (auto [name, codec] : {std::pair{"c.mp3", "-c:a libmp3lame"}, {"c.m4a", "-c:a aac"}}) {
        ffmpeg(dir / "s.wav", args + codec, dir / name);
        EXPECT_EQ(MetadataAssembler::assemble(dir / name).markers,
                  (std::vector<Marker>{marker(Marker::Kind::chapter, 0, 0, 24000, "Intro"),
                                       marker(Marker::Kind::chapter, 1, 24000, 72000, "Caf\xC3\xA9 verse")}))
            << name;
    }
}

} // namespace
} // namespace vaun::test
