// The metadata record of real files: stream facts from the decoder, layout names, the
// RIFF/WAVE metadata chunks with their warnings, file attributes and cancellation.
#include "TestAudio.h"
#include "decode/AudioFile.h"
#include "inspect/MetadataAssembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

namespace vaun::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void putBE(Bytes& b, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void putText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// A 16-bit little-endian PCM CAF file of silence whose 'chan' chunk holds `tag` and, for
// tag 0, one description per entry of `labels`.
void writeCaf(const std::filesystem::path& path, int channels, std::uint32_t tag,
              const std::vector<std::uint32_t>& labels, int frames = 4800) {
    Bytes file;
    putText(file, "caff");
    putBE(file, 0x00010000, 4);
    auto chunk = [&](const std::string& id, const Bytes& payload) {
        putText(file, id);
        putBE(file, payload.size(), 8);
        file.insert(file.end(), payload.begin(), payload.end());
    };
    Bytes desc;
    double rate = 48000;
    std::uint64_t rateBits;
    std::memcpy(&rateBits, &rate, 8);
    putBE(desc, rateBits, 8);
    putText(desc, "lpcm");
    putBE(desc, 2, 4); // little-endian integer samples
    putBE(desc, std::uint64_t(2 * channels), 4);
    putBE(desc, 1, 4);
    putBE(desc, std::uint64_t(channels), 4);
    putBE(desc, 16, 4);
    chunk("desc", desc);
    Bytes chan;
    putBE(chan, tag, 4);
    putBE(chan, 0, 4);
    putBE(chan, labels.size(), 4);
    for (std::uint32_t label : labels) {
        putBE(chan, label, 4);
        for (int k = 0; k < 4; ++k) putBE(chan, 0, 4); // flags and three coordinates
    }
    chunk("chan", chan);
    Bytes data(4 + std::size_t(frames * channels * 2), 0);
    chunk("data", data);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}

// The fixed 602-byte area of a bext chunk.
Bytes bext(const std::string& description, std::uint64_t timeReference, std::size_t size = 602) {
    Bytes b(size, 0);
    std::copy(description.begin(), description.end(), b.begin());
    for (int i = 0; i < 8; ++i) b[338 + std::size_t(i)] = std::uint8_t(timeReference >> (8 * i));
    b[346] = 1;
    return b;
}

Bytes text(const std::string& s) { return {s.begin(), s.end()}; }

const std::string kIXML = "<BWFXML><PROJECT>Harbour</PROJECT><SCENE>12A</SCENE><TAPE>T01</TAPE>"
                          "<TRACK_LIST><TRACK><NAME>Boom</NAME></TRACK></TRACK_LIST><NOTE>wind</NOTE></BWFXML>";

class Assembler : public ::testing::Test {
protected:
    TempDir dir;

    std::filesystem::path wave(const std::string& name, int channels, WavOptions options = {}, double rate = 48000,
                               std::int64_t frames = 4800) {
        Planes planes(std::size_t(channels), sine(440, 0.25, rate, frames));
        const auto path = dir / name;
        writeWav(path, planes, rate, options);
        return path;
    }

    // Five channels whose bitmap holds the two unnamed left/right-of-centre speakers.
    std::filesystem::path unnamedFive(const std::string& name,
                                      std::vector<std::pair<std::string, Bytes>> chunks = {}) {
        WavOptions options;
        options.channelMask = 0xC7;
        options.extraChunks = std::move(chunks);
        return wave(name, 5, options);
    }
};

TEST_F(Assembler, SixChannelWaveWithSpeakerMask) {
    WavOptions options;
    options.channelMask = 0x3F;
    const auto path = wave("surround.wav", 6, options, 48000, 96000);
    const AudioFile file(path);
    // The decoder's own layout is the bitmap; the assembler names it from the labels.
    EXPECT_EQ(MetadataAssembler::friendlyChannelLayout(file.fileFormat().channelLayout), "Speaker bitmap 0x3f");

    const AudioMetadata m = MetadataAssembler::assemble(path);
    EXPECT_EQ(m.fileName, "surround.wav");
    EXPECT_EQ(m.fileSizeBytes, std::int64_t(std::filesystem::file_size(path)));
    EXPECT_EQ(m.containerUTType, "com.microsoft.waveform-audio");
    EXPECT_EQ(m.containerDescription, "WAVE / BWF");
    EXPECT_EQ(m.codec, "PCM");
    EXPECT_EQ(m.bitDepth, 24);
    EXPECT_EQ(m.channels, 6);
    EXPECT_EQ(m.sampleRateHz, 48000.0);
    EXPECT_EQ(m.durationSeconds, 2.0);
    EXPECT_EQ(m.channelLayoutName, "5.1 (L R C LFE Ls Rs)");
    EXPECT_EQ(m.channelLabels, (std::vector<std::string>{"L", "R", "C", "LFE", "Ls", "Rs"}));
    EXPECT_EQ(m.bitRate, 48000 * 6 * 24); // uncompressed: exactly rate × channels × bits
    EXPECT_FALSE(m.hasArtwork);
    EXPECT_EQ(m.artworkData, std::nullopt);
    EXPECT_FALSE(m.isADM);
    EXPECT_FALSE(m.isRF64);
    EXPECT_FALSE(m.hasDolbyMetadata);
    EXPECT_EQ(m.bwf, std::nullopt);
    EXPECT_TRUE(m.warnings.empty());
}

// A WAVE whose sub-format GUID is the B-format one, as .amb files carry it.
void toBFormat(const std::filesystem::path& path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    const unsigned char tail[12] = {0x21, 0x07, 0xD3, 0x11, 0x86, 0x44, 0xC8, 0xC1, 0xCA, 0, 0, 0};
    f.seekp(20 + 28); // the 'fmt ' payload starts at 20; the GUID's second field at 28
    f.write(reinterpret_cast<const char*>(tail), sizeof tail);
}

TEST_F(Assembler, SoundFieldsAreToldFromTheirLayoutsAndTrackNames) {
    WavOptions extensible;
    extensible.channelMask = 0;
    const auto amb = wave("field.amb", 4, extensible);
    toBFormat(amb);
    AudioMetadata m = MetadataAssembler::assemble(amb);
    EXPECT_EQ(m.ambisonics, (AmbisonicLayout{1, "FuMa", true}));
    EXPECT_EQ(m.channelLabels, (std::vector<std::string>{"W", "X", "Y", "Z"}));
    EXPECT_EQ(m.channelLayoutName, "Ambisonics order 1 \xC2\xB7 FuMa");

    std::string list = "<BWFXML><TRACK_LIST>";
    for (int i = 0; i < 9; ++i)
        list += "<TRACK><INTERLEAVE_INDEX>" + std::to_string(i + 1) + "</INTERLEAVE_INDEX><NAME>ACN" + std::to_string(i) +
                "</NAME></TRACK>";
    WavOptions named;
    named.extraChunks = {{"iXML", text(list + "</TRACK_LIST></BWFXML>")}};
    m = MetadataAssembler::assemble(wave("ambix.wav", 9, named));
    EXPECT_EQ(m.ambisonics, (AmbisonicLayout{2, "SN3D", false}));
    EXPECT_EQ(m.channelLabels, (std::vector<std::string>{"W", "Y", "Z", "X", "V", "T", "R", "S", "U"}));

    writeCaf(dir / "hoa.caf", 16, (191u << 16) | 16, {});
    EXPECT_EQ(MetadataAssembler::assemble(dir / "hoa.caf").ambisonics, (AmbisonicLayout{3, "N3D", false}));
    // Four speakers of a quad bed are no sound field.
    WavOptions quad;
    quad.channelMask = 0x33;
    EXPECT_FALSE(MetadataAssembler::assemble(wave("quad.wav", 4, quad)).ambisonics);
}

TEST_F(Assembler, CafChannelDescriptionsAreNamedFromTheirLabels) {
    const auto path = dir / "described.caf";
    writeCaf(path, 6, 0, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(MetadataAssembler::friendlyChannelLayout(AudioFile(path).fileFormat().channelLayout),
              "Channel labels: 1, 2, 3, 4, 5, 6");
    const AudioMetadata m = MetadataAssembler::assemble(path);
    EXPECT_EQ(m.containerDescription, "CAF");
    EXPECT_EQ(m.codec, "PCM");
    EXPECT_EQ(m.bitDepth, 16);
    EXPECT_EQ(m.channelLayoutName, "5.1 (L R C LFE Ls Rs)");
    EXPECT_EQ(m.channelLabels, (std::vector<std::string>{"L", "R", "C", "LFE", "Ls", "Rs"}));
    // Not a RIFF file: no RIFF fields, no warnings.
    EXPECT_TRUE(m.warnings.empty());
    EXPECT_FALSE(m.isRF64);
}

TEST_F(Assembler, DiscreteAndUnrecognisedLayouts) {
    const auto discrete = dir / "discrete.caf";
    writeCaf(discrete, 6, 0x930006, {});
    const AudioMetadata d = MetadataAssembler::assemble(discrete);
    EXPECT_EQ(d.channelLayoutName, "Discrete, no speaker labels \xC2\xB7 shown in 5.1 order");
    EXPECT_EQ(d.channelLabels, (std::vector<std::string>{"L", "R", "C", "LFE", "Ls", "Rs"}));

    // Label 7 (left centre) is outside the vocabulary, so the file's labels are not used.
    const auto partly = dir / "partly.caf";
    writeCaf(partly, 6, 0, {1, 2, 3, 4, 5, 7});
    EXPECT_EQ(MetadataAssembler::assemble(partly).channelLayoutName,
              "Speaker labels not recognised \xC2\xB7 shown in 5.1 order");

    const AudioMetadata five = MetadataAssembler::assemble(unnamedFive("five.wav"));
    EXPECT_EQ(five.channelLayoutName, "Speaker labels not recognised");
    EXPECT_EQ(five.channelLabels, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_FALSE(five.isADM);
    EXPECT_EQ(five.admTrackCount, std::nullopt);

    // A plain 5-channel WAVE says nothing about its layout.
    EXPECT_EQ(MetadataAssembler::assemble(wave("plain5.wav", 5)).channelLayoutName, std::nullopt);
    EXPECT_EQ(MetadataAssembler::assemble(wave("mono.wav", 1)).channelLayoutName, std::nullopt);
}

TEST_F(Assembler, AdmAndDolbyChunks) {
    const Bytes chna{0x0C, 0x00, 0x0C, 0x00, 0, 0, 0, 0};
    const AudioMetadata both = MetadataAssembler::assemble(unnamedFive("adm.wav", {{"axml", text("<ebuCoreMain/>")}, {"chna", chna}}));
    EXPECT_TRUE(both.isADM);
    EXPECT_EQ(both.channelLayoutName, "Defined by ADM (chna)");
    EXPECT_EQ(both.admTrackCount, 12);
    EXPECT_TRUE(both.warnings.empty());

    const AudioMetadata axmlOnly = MetadataAssembler::assemble(unnamedFive("axml.wav", {{"axml", text("<x/>")}}));
    EXPECT_FALSE(axmlOnly.isADM);
    EXPECT_EQ(axmlOnly.admTrackCount, std::nullopt);
    EXPECT_EQ(axmlOnly.channelLayoutName, "Speaker labels not recognised");

    const AudioMetadata chnaOnly = MetadataAssembler::assemble(unnamedFive("chna.wav", {{"chna", {0x03, 0x01, 0, 0}}}));
    EXPECT_FALSE(chnaOnly.isADM);
    EXPECT_EQ(chnaOnly.admTrackCount, 259);
    EXPECT_EQ(chnaOnly.channelLayoutName, "Speaker labels not recognised");

    const AudioMetadata shortChna =
        MetadataAssembler::assemble(unnamedFive("short.wav", {{"axml", text("<x/>")}, {"chna", {0x0C, 0x00}}}));
    EXPECT_TRUE(shortChna.isADM);
    EXPECT_EQ(shortChna.admTrackCount, std::nullopt);
    EXPECT_TRUE(shortChna.warnings.empty());

    // ADM renames only the fallback names; a recognised layout keeps its own.
    WavOptions surround;
    surround.channelMask = 0x3F;
    surround.extraChunks = {{"axml", text("<x/>")}, {"chna", chna}, {"dbmd", Bytes(16, 0)}};
    const AudioMetadata named = MetadataAssembler::assemble(wave("named.wav", 6, surround));
    EXPECT_TRUE(named.isADM);
    EXPECT_TRUE(named.hasDolbyMetadata);
    EXPECT_EQ(named.channelLayoutName, "5.1 (L R C LFE Ls Rs)");
}

TEST_F(Assembler, AdmOnDiscreteDefaultsNamesTheShownOrder) {
    // Six channels whose bitmap includes an unnamed speaker: defaults give 5.1.
    WavOptions options;
    options.channelMask = (0x3Fu & ~0x20u) | 0x40u;
    options.extraChunks = {{"axml", text("<x/>")}, {"chna", {1, 0, 1, 0}}};
    const AudioMetadata m = MetadataAssembler::assemble(wave("adm6.wav", 6, options));
    EXPECT_EQ(m.channelLayoutName, "Defined by ADM (chna) \xC2\xB7 shown in 5.1 order");
}

TEST_F(Assembler, CompressedAndNonRiffFilesHaveNoRiffFields) {
    const auto source = wave("source.wav", 2, {}, 44100, 44100);
    const auto mp3 = dir / "song.mp3";
    ffmpeg(source, "-c:a libmp3lame -b:a 128k", mp3);
    const AudioMetadata m = MetadataAssembler::assemble(mp3);
    EXPECT_EQ(m.codec, "MP3");
    EXPECT_EQ(m.bitDepth, std::nullopt);
    EXPECT_EQ(m.containerDescription, "MP3");
    EXPECT_EQ(m.channels, 2);
    EXPECT_EQ(m.sampleRateHz, 44100.0);
    EXPECT_EQ(m.channelLayoutName, "Stereo (L R)");
    EXPECT_TRUE(m.warnings.empty());
    EXPECT_FALSE(m.isRF64 || m.isADM || m.hasDolbyMetadata);
    EXPECT_EQ(m.bwf, std::nullopt);

    const auto aiff = dir / "take.aiff";
    ffmpeg(source, "-c:a pcm_s16be", aiff);
    const AudioMetadata a = MetadataAssembler::assemble(aiff);
    EXPECT_EQ(a.containerUTType, "public.aiff-audio");
    EXPECT_EQ(a.containerDescription, "AIFF");
    EXPECT_EQ(a.codec, "PCM");
    EXPECT_EQ(a.bitDepth, 16);
    EXPECT_TRUE(a.warnings.empty());
    EXPECT_FALSE(a.isRF64 || a.isADM || a.hasDolbyMetadata);

    const auto flac = dir / "take.flac";
    ffmpeg(source, "-c:a flac -sample_fmt s16", flac);
    const AudioMetadata f = MetadataAssembler::assemble(flac);
    EXPECT_EQ(f.codec, "FLAC");
    EXPECT_EQ(f.bitDepth, 16);
    EXPECT_EQ(f.containerDescription, "FLAC");

    const auto m4a = dir / "take.m4a";
    ffmpeg(source, "-c:a aac -b:a 96k", m4a);
    const AudioMetadata aac = MetadataAssembler::assemble(m4a);
    EXPECT_EQ(aac.codec, "AAC");
    EXPECT_EQ(aac.bitDepth, std::nullopt);
    EXPECT_EQ(aac.containerDescription, "MPEG-4 Audio");
}

TEST_F(Assembler, RF64ContainerIsFlagged) {
    const auto rf64 = dir / "long.wav";
    ffmpeg(wave("short.wav", 2), "-c:a pcm_s24le -rf64 always", rf64);
    const AudioMetadata m = MetadataAssembler::assemble(rf64);
    EXPECT_TRUE(m.isRF64);
    EXPECT_EQ(m.containerDescription, "WAVE / BWF");
    EXPECT_EQ(m.bitDepth, 24);
    EXPECT_TRUE(m.warnings.empty());
}

TEST_F(Assembler, BroadcastWaveAndIXMLFields) {
    WavOptions options;
    options.extraChunks = {{"bext", bext("Harbour dawn", 48000ull * 3600 * 10)}, {"iXML", text(kIXML)}};
    const AudioMetadata m = MetadataAssembler::assemble(wave("bwf.wav", 2, options));
    ASSERT_TRUE(m.bwf.has_value());
    EXPECT_EQ(m.bwf->description, "Harbour dawn");
    EXPECT_EQ(m.bwf->version, 1);
    EXPECT_EQ(m.bwf->timeReferenceSeconds, std::nullopt);
    EXPECT_EQ(m.bwfTimeReferenceSamples, 48000ull * 3600 * 10);
    EXPECT_EQ(m.bwfTimeReferenceSeconds, 36000.0);
    EXPECT_EQ(m.iXMLProject, "Harbour");
    EXPECT_EQ(m.iXMLScene, "12A");
    EXPECT_EQ(m.iXMLTape, "T01");
    EXPECT_EQ(m.iXMLTrack, "Boom");
    EXPECT_EQ(m.iXMLNotes, "wind");
    EXPECT_TRUE(m.warnings.empty());
}

TEST_F(Assembler, DamagedChunksBecomeWarnings) {
    WavOptions shortBext;
    shortBext.extraChunks = {{"bext", Bytes(400, 0)}};
    const AudioMetadata b = MetadataAssembler::assemble(wave("bext400.wav", 2, shortBext));
    EXPECT_EQ(b.warnings, std::vector<std::string>{"Invalid bext metadata."});
    EXPECT_EQ(b.bwf, std::nullopt);
    EXPECT_EQ(b.bwfTimeReferenceSamples, std::nullopt);

    WavOptions hugeIXML;
    hugeIXML.extraChunks = {{"iXML", Bytes(2 << 20, ' ')}};
    const AudioMetadata x = MetadataAssembler::assemble(wave("ixml2m.wav", 2, hugeIXML));
    EXPECT_EQ(x.warnings, std::vector<std::string>{"RIFF metadata is truncated or exceeds safety limits."});
    EXPECT_EQ(x.iXMLProject, std::nullopt);

    WavOptions badIXML;
    badIXML.extraChunks = {{"iXML", text("<!DOCTYPE x><BWFXML><PROJECT>p</PROJECT></BWFXML>")}};
    const AudioMetadata i = MetadataAssembler::assemble(wave("badixml.wav", 2, badIXML));
    EXPECT_EQ(i.warnings, std::vector<std::string>{"Invalid or oversized iXML metadata."});
    EXPECT_EQ(i.iXMLProject, std::nullopt);
}

// FFmpeg's WAV reader refuses a bext too short for its fields when it follows the data;
// the audio is whole, so the record is the clean file's plus the warning.
TEST_F(Assembler, ShortBextAfterTheDataOnlyWarns) {
    WavOptions clean;
    clean.channelMask = 0x3;
    WavOptions refused = clean;
    refused.trailingChunks = {{"bext", Bytes(200, 0)}};
    AudioMetadata m = MetadataAssembler::assemble(wave("refused.wav", 2, refused));
    EXPECT_NO_THROW(MetadataAssembler::addArtwork(m, dir / "refused.wav"));
    EXPECT_EQ(m.warnings, std::vector<std::string>{"Invalid bext metadata."});

    AudioMetadata expected = MetadataAssembler::assemble(wave("clean.wav", 2, clean));
    expected.fileName = m.fileName;
    expected.fileSizeBytes = m.fileSizeBytes;
    expected.creationDate = m.creationDate;
    expected.modificationDate = m.modificationDate;
    expected.warnings = m.warnings;
    EXPECT_EQ(m, expected);
    EXPECT_EQ(m.bitDepth, 24);
}

TEST_F(Assembler, WarningsInTheOrderMetAndLaterChunksOverwrite) {
    WavOptions options;
    options.extraChunks = {
        {"iXML", text(kIXML)},
        {"bext", bext("first", 1000)},
        {"iXML", text("not xml")},
        {"bext", Bytes(601, 0)},
        {"JUNK", Bytes((1 << 20) + 2, 0)}, // not kept: no budget used
        {"bext", Bytes((1 << 20) + 2, 0)}, // over the chunk budget: skipped
        {"iXML", text("<BWFXML><SCENE>13</SCENE></BWFXML>")},
    };
    const AudioMetadata m = MetadataAssembler::assemble(wave("mixed.wav", 2, options));
    EXPECT_EQ(m.warnings, (std::vector<std::string>{"RIFF metadata is truncated or exceeds safety limits.",
                                                    "Invalid or oversized iXML metadata.", "Invalid bext metadata."}));
    ASSERT_TRUE(m.bwf.has_value());
    EXPECT_EQ(m.bwf->description, "first");
    EXPECT_EQ(m.bwfTimeReferenceSamples, 1000u);
    // The last valid iXML replaces all five fields, absent ones included.
    EXPECT_EQ(m.iXMLScene, "13");
    EXPECT_EQ(m.iXMLProject, std::nullopt);
    EXPECT_EQ(m.iXMLTrack, std::nullopt);
}

TEST_F(Assembler, FileAttributes) {
    const auto path = wave("dated.wav", 1);
    // 2026-11-30T14:05:09.75Z
    const timespec times[2] = {{1796047509, 0}, {1796047509, 750000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const AudioMetadata m = MetadataAssembler::assemble(path);
    EXPECT_EQ(m.fileSizeBytes, std::int64_t(std::filesystem::file_size(path)));
    ASSERT_TRUE(m.modificationDate.has_value());
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(m.modificationDate->time_since_epoch()).count(),
              1796047509750);
    struct statx sx {};
    ASSERT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx), 0);
    if (sx.stx_mask & STATX_BTIME) {
        ASSERT_TRUE(m.creationDate.has_value());
        const auto age = std::chrono::system_clock::now() - *m.creationDate;
        EXPECT_LT(std::chrono::abs(age), std::chrono::minutes(5));
    } else {
        EXPECT_EQ(m.creationDate, std::nullopt);
    }
}

TEST_F(Assembler, FailuresAreThrown) {
    try {
        MetadataAssembler::assemble(dir / "missing.wav");
        ADD_FAILURE() << "no error";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), ENOENT);
    }
    const auto words = dir / "words.wav";
    std::ofstream(words) << "These are not audio samples, just words.\n";
    EXPECT_THROW(MetadataAssembler::assemble(words), DecoderError);
    EXPECT_THROW(MetadataAssembler::assemble(wave("ok.wav", 2), [] { return true; }), CancellationError);
}

TEST_F(Assembler, CancellationAtAnyPollThrows) {
    WavOptions options;
    options.extraChunks = {{"bext", bext("x", 1)}, {"iXML", text(kIXML)}, {"chna", {1, 0, 1, 0}}, {"axml", text("<x/>")}};
    const auto path = wave("polls.wav", 2, options);
    int polls = 0;
    const AudioMetadata full = MetadataAssembler::assemble(path, [&] {
        ++polls;
        return false;
    });
    // Start, before the walk, the walk itself and each of the three kept chunks.
    ASSERT_GE(polls, 6);
    for (int cancelAt = 1; cancelAt <= polls; ++cancelAt) {
        int seen = 0;
        EXPECT_THROW(MetadataAssembler::assemble(path, [&] { return ++seen >= cancelAt; }), CancellationError)
            << "cancelled at poll " << cancelAt;
    }
    int again = 0;
    EXPECT_EQ(MetadataAssembler::assemble(path, [&] { return ++again > polls; }), full);
}

TEST(AudioMetadataRecord, StartsEmptyAndComparesEveryField) {
    AudioMetadata a;
    a.fileName = "a.wav";
    a.fileSizeBytes = 10;
    a.codec = "PCM";
    a.sampleRateHz = 48000.0;
    a.channels = 2;
    EXPECT_FALSE(a.hasArtwork);
    EXPECT_TRUE(a.channelLabels.empty() && a.warnings.empty());
    EXPECT_FALSE(a.bwf || a.artworkData || a.admTrackCount);
    EXPECT_FALSE(a.isADM || a.hasDolbyMetadata || a.isRF64);

    AudioMetadata b = a, c = a;
    b.warnings = {"one", "two"};
    c.warnings = {"two", "one"};
    EXPECT_NE(b, c);
    c.warnings = b.warnings;
    EXPECT_EQ(b, c);
    c.artworkData = std::vector<std::uint8_t>{};
    EXPECT_NE(b, c); // an empty picture is not no picture
}

TEST(AssemblerVocabulary, CodecNamesAndBitDepths) {
    AudioFormat f;
    const std::pair<std::uint32_t, const char*> codecs[] = {
        {FormatID::LinearPCM, "PCM"},     {FormatID::MPEGLayer3, "MP3"}, {FormatID::MPEG4AAC, "AAC"},
        {FormatID::AppleLossless, "ALAC"}, {FormatID::FLAC, "FLAC"},     {FormatID::ALaw, "A-law"},
        {FormatID::ULaw, "\xCE\xBC-law"},  {fourCC("aach"), "Unknown codec"}, {fourCC("opus"), "Unknown codec"},
    };
    for (const auto& [id, name] : codecs) {
        f.formatID = id;
        EXPECT_EQ(MetadataAssembler::codecHint(f), name);
    }
    f.formatID.reset();
    EXPECT_EQ(MetadataAssembler::codecHint(f), "Unknown codec");
    EXPECT_EQ(MetadataAssembler::bitDepth(f), std::nullopt);

    f.bitsPerChannel = 24;
    for (std::uint32_t id : {FormatID::LinearPCM, FormatID::AppleLossless, FormatID::FLAC}) {
        f.formatID = id;
        EXPECT_EQ(MetadataAssembler::bitDepth(f), 24);
    }
    for (std::uint32_t id : {FormatID::ALaw, FormatID::ULaw, FormatID::MPEGLayer3, FormatID::MPEG4AAC}) {
        f.formatID = id;
        EXPECT_EQ(MetadataAssembler::bitDepth(f), std::nullopt);
    }
    f.formatID = FormatID::LinearPCM;
    f.bitsPerChannel = 0;
    EXPECT_EQ(MetadataAssembler::bitDepth(f), std::nullopt);
}

TEST(AssemblerVocabulary, FirstPassLayoutNames) {
    const auto name = [](std::uint32_t tag, std::uint32_t bitmap = 0, std::vector<std::uint32_t> labels = {}) {
        AudioChannelLayout l;
        l.layoutTag = tag;
        l.channelBitmap = bitmap;
        for (auto label : labels) l.channelDescriptions.push_back({label, 0, {}});
        return MetadataAssembler::friendlyChannelLayout(l);
    };
    EXPECT_EQ(MetadataAssembler::friendlyChannelLayout(std::nullopt), std::nullopt);
    EXPECT_EQ(name(0x640001), "Mono");
    EXPECT_EQ(name(0x650002), "Stereo (L R)");
    EXPECT_EQ(name(0x790006), "5.1 (L R C LFE Ls Rs)");
    EXPECT_EQ(name(0, 0, {1, 2, 100}), "Channel labels: 1, 2, 100");
    EXPECT_EQ(name(0), std::nullopt);
    EXPECT_EQ(name(0, 0, std::vector<std::uint32_t>(256, 3))->size(), std::string("Channel labels: ").size() + 256 * 3 - 2);
    EXPECT_EQ(name(0, 0, std::vector<std::uint32_t>(257, 3)), std::nullopt);
    EXPECT_EQ(name(0x10000, 0x3F), "Speaker bitmap 0x3f");
    EXPECT_EQ(name(0x10000, 0), "Speaker bitmap 0x0");
    EXPECT_EQ(name(0x10000, 0x8000000F), "Speaker bitmap 0x8000000f");
    EXPECT_EQ(name(0x930006), "Layout tag 0x930006");
    EXPECT_EQ(name(0xFFFF0000), "Layout tag 0xffff0000");
    EXPECT_EQ(name(0x660002), "Layout tag 0x660002");
}

} // namespace
} // namespace vaun::test
