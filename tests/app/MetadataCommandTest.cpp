// `vaun --metadata` as a user runs it: argument rules and precedence, the JSON line, failures,
// and hostile files that must neither crash nor hang either harness mode.
#include "MetadataJSON.h"
#include "RunVaun.h"
#include "TestAudio.h"
#include "inspect/MetadataAssembler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace vaun::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void spit(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// The literal's bytes, embedded zeros included.
template <std::size_t N>
std::string lit(const char (&s)[N]) {
    return std::string(s, N - 1);
}

void put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + std::size_t(i)] = char(v >> (8 * i));
}

class MetadataCommand : public ::testing::Test {
protected:
    TempDir dir;

    Outcome vaun(const std::vector<std::string>& args, int seconds = 120) { return runVaun(dir.path(), args, seconds); }

    std::filesystem::path broadcastWave(const std::string& name) {
        std::vector<std::uint8_t> bext(602, 0);
        const std::string description = "Harbour \"dawn\"";
        std::copy(description.begin(), description.end(), bext.begin());
        bext[338] = 0x00;
        bext[339] = 0x7D; // time reference 32000
        const std::string ixml = "<BWFXML><PROJECT>Harbour</PROJECT><NOTE>wind\tgusts</NOTE></BWFXML>";
        WavOptions options;
        options.channelMask = 0x3F;
        options.extraChunks = {{"bext", bext}, {"iXML", {ixml.begin(), ixml.end()}}, {"bext", Bytes(400, 0)}};
        const auto path = dir / name;
        Planes planes(6, sine(440, 0.25, 32000, 16000));
        writeWav(path, planes, 32000, options);
        return path;
    }
};

TEST_F(MetadataCommand, PrintsTheRecordAsOneJsonLine) {
    const auto path = broadcastWave("take.wav");
    const auto o = vaun({"--metadata", path.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.err.empty()) << o.err;
    AudioMetadata expected = MetadataAssembler::assemble(path);
    MetadataAssembler::addArtwork(expected, path);
    EXPECT_EQ(o.out, metadataJSON(expected) + "\n");

    const std::string size = std::to_string(std::filesystem::file_size(path));
    const std::regex shape(
        "\\{\"fileName\": \"take.wav\", \"fileSizeBytes\": " + size +
        ", \"containerUTType\": \"com.microsoft.waveform-audio\", \"containerDescription\": \"WAVE / BWF\", "
        "\"codec\": \"PCM\", \"durationSeconds\": 0.5, \"sampleRateHz\": 32000, \"bitDepth\": 24, \"channels\": 6, "
        "\"channelLayoutName\": \"5.1 \\(L R C LFE Ls Rs\\)\", \"bitRate\": 4608000, "
        "\"creationDate\": (null|\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\"), "
        "\"modificationDate\": \"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\", "
        "\"bwfTimeReferenceSamples\": 32000, \"bwfTimeReferenceSeconds\": 1, \"iXMLProject\": \"Harbour\", "
        "\"iXMLScene\": null, \"iXMLTape\": null, \"iXMLTrack\": null, \"iXMLNotes\": \"wind\\\\tgusts\", "
        "\"hasArtwork\": false, \"artworkData\": null, \"bwf\": \\{\"description\": \"Harbour \\\\\"dawn\\\\\"\", "
        "\"originator\": \"\", \"originatorReference\": \"\", \"originationDate\": \"\", \"originationTime\": \"\", "
        "\"timeReferenceSamples\": 32000, \"version\": 0, \"timeReferenceSeconds\": null, \"umid\": null, "
        "\"codingHistory\": \"\", \"loudnessValue\": null, \"loudnessRange\": null, \"maxTruePeakLevel\": null, "
        "\"maxMomentaryLoudness\": null, \"maxShortTermLoudness\": null\\}, "
        "\"channelLabels\": \\[\"L\", \"R\", \"C\", \"LFE\", \"Ls\", \"Rs\"\\], \"isADM\": false, "
        "\"admTrackCount\": null, \"hasDolbyMetadata\": false, \"isRF64\": false, "
        "\"warnings\": \\[\"Invalid bext metadata.\"\\], \"codecProfile\": null, \"tags\": \\{\\}, "
        "\"timecode\": null, \"iXMLTake\": null, \"iXMLCircled\": null, \"iXMLUbits\": null, \"iXMLFamilyUID\": null, "
        "\"tracks\": \\[\\], \"markers\": \\[\\]\\}\n");
    EXPECT_TRUE(std::regex_match(o.out, shape)) << o.out;
}

TEST_F(MetadataCommand, ArtworkIsPrintedAsItsByteCount) {
    const auto png = dir / "cover.png";
    ASSERT_EQ(run("ffmpeg -y -loglevel error -f lavfi -i color=c=red:s=16x16 -frames:v 1 " + shellQuote(png.string())), 0);
    const auto wav = dir / "tone.wav";
    writeWav(wav, {sine(440, 0.3, 44100, 44100)}, 44100);
    const auto mp3 = dir / "cover.mp3";
    ASSERT_EQ(run("ffmpeg -y -loglevel error -i " + shellQuote(wav.string()) + " -i " + shellQuote(png.string()) +
                  " -map 0:a -map 1 -c:a libmp3lame -c:v copy -disposition:v attached_pic " + shellQuote(mp3.string())),
              0);
    const auto o = vaun({"--metadata", mp3.string()});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string bytes = "\"artworkData\": " + std::to_string(std::filesystem::file_size(png)) + ",";
    EXPECT_NE(o.out.find(bytes), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\"codec\": \"MP3\", "), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\"bitDepth\": null, "), std::string::npos) << o.out;
}

TEST_F(MetadataCommand, ArgumentRulesAndPrecedence) {
    const auto file = broadcastWave("take.wav").string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--metadata"}, {"--metadata", file, file}, {"--metadata", file, "--smoke-test"},
             {"--analyze", file, "--metadata"}, {"--metadata", file, "--analyze"},
             // "--analyze" is looked for first, and its own rule fails here.
             {"--analyze", "--metadata", file}}) {
        const auto o = vaun(args);
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(o.out.empty()) << o.out;
        EXPECT_TRUE(o.err.empty()) << o.err;
    }
    // Both present: the analysis runs.
    for (const auto& args : std::vector<std::vector<std::string>>{{"--metadata", "--analyze", file},
                                                                  {"--metadata", file, "--analyze", file}}) {
        const auto both = vaun(args);
        EXPECT_EQ(both.status, 0) << both.err;
        EXPECT_EQ(both.out.rfind("{\"integrated\": ", 0), 0u) << both.out;
    }
    // Other arguments before the switch are ignored.
    const auto later = vaun({"--smoke-test", "x", "--metadata", file});
    EXPECT_EQ(later.status, 0) << later.err;
    EXPECT_EQ(later.out.rfind("{\"fileName\": \"take.wav\", ", 0), 0u) << later.out;
    // Relative paths resolve against the working directory.
    const std::string cmd = "cd " + shellQuote(dir.path().string()) + " && " + shellQuote(VAUN_BINARY) +
                            " --metadata take.wav >/dev/null 2>&1";
    EXPECT_EQ(run(cmd), 0);
}

TEST_F(MetadataCommand, FailuresPrintOneLineOnStandardError) {
    const auto missing = vaun({"--metadata", (dir / "missing.wav").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_EQ(missing.err, "metadata FAIL: No such file or directory: " + (dir / "missing.wav").string() + "\n");

    spit(dir / "words.wav", "These are not audio samples, just words.\n");
    const auto words = vaun({"--metadata", (dir / "words.wav").string()});
    EXPECT_EQ(words.status, 2);
    EXPECT_TRUE(words.out.empty());
    EXPECT_TRUE(std::regex_match(words.err, std::regex("metadata FAIL: [^\n]+\n"))) << words.err;

    const auto folder = vaun({"--metadata", dir.path().string()});
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err.rfind("metadata FAIL: ", 0), 0u) << folder.err;
}

// Each damaged file through both harness modes: a JSON line and status 0, or one failure
// line and status 2; never a crash, a hang or runaway memory.
class HostileFiles : public MetadataCommand {
protected:
    std::vector<std::filesystem::path> files;

    void add(const std::string& name, const std::string& bytes) {
        spit(dir / name, bytes);
        files.push_back(dir / name);
    }

    void expectSurvives(const std::filesystem::path& file) {
        for (const std::string mode : {"--metadata", "--analyze"}) {
            const auto o = vaun({mode, file.string()}, 60);
            const std::string label = mode + " " + file.filename().string();
            ASSERT_TRUE(o.status == 0 || o.status == 2) << label << " status " << o.status << "\n" << o.err;
            if (o.status == 0) {
                EXPECT_TRUE(o.err.empty()) << label;
                EXPECT_EQ(o.out.front(), '{') << label;
                EXPECT_EQ(o.out.find('\n'), o.out.size() - 1) << label;
            } else {
                EXPECT_TRUE(o.out.empty()) << label;
                EXPECT_EQ(o.err.rfind(mode.substr(2) + " FAIL: ", 0), 0u) << label << ": " << o.err;
            }
        }
    }
};

TEST_F(HostileFiles, RandomBytesAndFlippedHeaders) {
    std::mt19937 random(20261130);
    auto noise = [&](std::size_t n) {
        std::string s(n, '\0');
        for (auto& c : s) c = char(random());
        return s;
    };
    add("noise.wav", noise(4096));
    add("noise", noise(100000));
    add("riffnoise.wav", "RIFF\xFF\xFF\xFF\xFFWAVE" + noise(5000));
    add("id3noise.mp3", lit("ID3\x04\0\0\x7F\x7F\x7F\x7F") + noise(5000));
    add("ftypnoise.m4a", lit("\0\0\0\x20" "ftypM4A ") + noise(5000));
    add("flacnoise.flac", "fLaC" + noise(5000));
    add("caffnoise.caf", lit("caff\0\x01\0\0") + noise(5000));

    const std::string good = slurp(broadcastWave("good.wav"));
    for (int i = 0; i < 12; ++i) {
        std::string flipped = good;
        for (int k = 0; k < 4; ++k) flipped[std::size_t(random()) % 120] ^= char(1 << (random() % 8));
        add("flipped" + std::to_string(i) + ".wav", flipped);
    }
    for (const auto& f : files) expectSurvives(f);
}

TEST_F(HostileFiles, SizesThatLieAndHugeChunks) {
    const std::string good = slurp(broadcastWave("good.wav"));
    const auto chunkAt = [&](const std::string& id) { return good.find(id); };

    std::string riffSize = good;
    put32(riffSize, 4, 0xFFFFFFFF);
    add("riffsize.wav", riffSize);

    std::string dataSize = good;
    put32(dataSize, chunkAt("data") + 4, 0xFFFFFFF0);
    add("datasize.wav", dataSize);

    std::string fmtSize = good;
    put32(fmtSize, chunkAt("fmt ") + 4, 0x7FFFFFFF);
    add("fmtsize.wav", fmtSize);

    std::string bextSize = good;
    put32(bextSize, chunkAt("bext") + 4, 0xFFFFFFFE);
    add("bextsize.wav", bextSize);

    std::string ixmlSize = good;
    put32(ixmlSize, chunkAt("iXML") + 4, 0x00100000);
    add("ixmlsize.wav", ixmlSize);

    add("cut.wav", good.substr(0, chunkAt("data") + 20));
    add("header.wav", good.substr(0, 12));

    // RF64 whose ds64 sizes run to the end of the 64-bit range, and one whose data size alone lies.
    const std::string ds64 = lit("ds64\x1C\0\0\0");
    const std::string tail = std::string(12, '\0');
    add("rf64huge.wav", lit("RF64\xFF\xFF\xFF\xFF" "WAVE") + ds64 + std::string(16, '\xFF') + tail + good.substr(12));
    std::string rf64 = lit("RF64\xFF\xFF\xFF\xFF" "WAVE") + ds64 + std::string(16, '\0') + tail + good.substr(12);
    put32(rf64, 20, std::uint32_t(rf64.size() - 8));
    for (std::size_t i = 28; i < 36; ++i) rf64[i] = '\x7F';
    put32(rf64, rf64.find("data") + 4, 0xFFFFFFFF);
    add("rf64data.wav", rf64);

    // Many empty chunks after the audio: the walk stops at its cap and says so.
    std::string many = good;
    for (int i = 0; i < 70000; ++i) many += lit("JUNK\0\0\0\0");
    put32(many, 4, std::uint32_t(many.size() - 8));
    add("manychunks.wav", many);
    const auto capped = vaun({"--metadata", (dir / "manychunks.wav").string()});
    EXPECT_EQ(capped.status, 0) << capped.err;
    EXPECT_NE(capped.out.find("\"warnings\": [\"RIFF metadata is truncated or exceeds safety limits.\", "
                              "\"Invalid bext metadata.\"], "),
              std::string::npos)
        << capped.out;

    // An ID3 tag whose picture frame claims far more than the file holds.
    std::string id3 = lit("ID3\x03\0\0\x7F\x7F\x7F\x7F" "APIC\x7F\xFF\xFF\xFF\0\0" "\0image/png\0\x03\0");
    id3 += std::string(100, 'x');
    add("apic.mp3", id3);

    // A FLAC PICTURE block whose length field lies.
    std::string flac = "fLaC" + std::string("\x86\xFF\xFF\xFF", 4) + std::string(64, '\x7F');
    add("picture.flac", flac);

    // An MP4 'covr' box claiming 2 GiB.
    std::string mp4 = lit("\0\0\0\x18" "ftypM4A \0\0\0\0M4A mp42");
    mp4 += lit("\x7F\xFF\xFF\xF0" "moov" "\x7F\xFF\xFF\xE8" "udta" "\x7F\xFF\xFF\xE0" "meta\0\0\0\0"
               "\x7F\xFF\xFF\xD0" "ilst" "\x7F\xFF\xFF\xC8" "covr" "\x7F\xFF\xFF\xC0" "data\0\0\0\x0E\0\0\0\0");
    mp4 += std::string(200, 'x');
    add("covr.m4a", mp4);

    for (const auto& f : files) expectSurvives(f);
}

} // namespace
} // namespace vaun::test
