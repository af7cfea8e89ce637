// Format identification: the type registry, content sniffing and the probe that joins them.
#include "TestAudio.h"
#include "inspect/MagicByteSniff.h"
#include "inspect/TypeRegistry.h"
#include "inspect/UTTypeProbe.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vaun {
// Readable failure messages.
void PrintTo(const MagicByteSniff::Hit& h, std::ostream* os) { *os << "{" << h.utType << ", " << h.displayName << "}"; }
void PrintTo(const UTTypeProbe::Result& r, std::ostream* os) {
    *os << "{" << r.utType << ", " << r.displayName << ", " << (r.isSupported ? "supported" : "unsupported") << "}";
}
} // namespace vaun

namespace vaun::test {
namespace {

// The literal's bytes, embedded zeros included.
template <std::size_t N>
std::vector<std::uint8_t> bytes(const char (&s)[N]) {
    return {s, s + N - 1};
}

std::optional<MagicByteSniff::Hit> sniff(const std::vector<std::uint8_t>& head) { return MagicByteSniff::detect(head); }

const UTTypeProbe::Result kUnknown{"public.data", "Unknown", false};

TEST(TypeRegistry, ExtensionsMapCaseInsensitivelyToPlatformIdentifiers) {
    const std::pair<const char*, const char*> expected[] = {
        {"wav", "com.microsoft.waveform-audio"}, {"WAVE", "com.microsoft.waveform-audio"},
        {"bwf", "com.microsoft.waveform-audio"}, {"Rf64", "com.microsoft.waveform-audio"},
        {"aif", "public.aiff-audio"},            {"AIFF", "public.aiff-audio"},
        {"aifc", "public.aifc-audio"},           {"caf", "com.apple.coreaudio-format"},
        {"mp3", "public.mp3"},                   {"m4a", "public.mpeg-4-audio"},
        {"mp4", "public.mpeg-4-audio"},          {"aac", "public.aac-audio"},
        {"FLAC", "org.xiph.flac"},               {"txt", "public.plain-text"},
        {"png", "public.png"},                   {"JPG", "public.jpeg"},
        {"jpeg", "public.jpeg"},                 {"pdf", "com.adobe.pdf"},
    };
    for (const auto& [extension, identifier] : expected)
        EXPECT_EQ(TypeRegistry::typeForExtension(extension), identifier) << extension;
    EXPECT_EQ(TypeRegistry::typeForExtension(""), std::nullopt);
    EXPECT_EQ(TypeRegistry::typeForExtension("qqq"), std::nullopt);
    EXPECT_EQ(TypeRegistry::typeForExtension("wav."), std::nullopt);
}

TEST(TypeRegistry, ConformanceFollowsParentsTransitively) {
    for (const char* audio : {"com.microsoft.waveform-audio", "public.aifc-audio", "org.xiph.flac", "org.xiph.ogg-audio",
                              "org.xiph.opus", "public.mpeg-4-audio"}) {
        EXPECT_TRUE(TypeRegistry::conforms(audio, "public.audio")) << audio;
        EXPECT_TRUE(TypeRegistry::conforms(audio, "public.data")) << audio;
        EXPECT_TRUE(TypeRegistry::conforms(audio, "public.item")) << audio;
    }
    for (const char* other : {"public.plain-text", "public.png", "com.adobe.pdf", "public.zip-archive", "public.json"}) {
        EXPECT_FALSE(TypeRegistry::conforms(other, "public.audio")) << other;
        EXPECT_TRUE(TypeRegistry::conforms(other, "public.data")) << other;
    }
    EXPECT_TRUE(TypeRegistry::conforms("public.png", "public.png"));
    EXPECT_FALSE(TypeRegistry::conforms("public.audio", "public.mp3"));
    EXPECT_FALSE(TypeRegistry::conforms("com.example.unknown", "public.data"));
    // A bundle is a folder, not data: its extension gives no data type.
    EXPECT_EQ(TypeRegistry::typeForExtension("app"), std::nullopt);
    EXPECT_EQ(TypeRegistry::typeForExtension("app", "public.item"), "com.apple.application-bundle");
}

TEST(TypeRegistry, KnowsTheProbeIdentifiersWithDescriptions) {
    for (const auto& id : UTTypeProbe::supportedIdentifiers()) {
        EXPECT_EQ(TypeRegistry::typeForIdentifier(id), id);
        EXPECT_TRUE(TypeRegistry::localizedDescription(id).has_value()) << id;
    }
    EXPECT_EQ(TypeRegistry::localizedDescription("com.microsoft.waveform-audio"), "Waveform audio");
    EXPECT_EQ(TypeRegistry::localizedDescription("public.aifc-audio"), "AIFF-C audio");
    EXPECT_EQ(TypeRegistry::localizedDescription("public.aac-audio"), "AAC audio");
    EXPECT_EQ(TypeRegistry::typeForIdentifier("com.example.unknown"), std::nullopt);
    EXPECT_EQ(TypeRegistry::localizedDescription("com.example.unknown"), std::nullopt);
}

TEST(UTTypeProbe, SupportedIdentifiersInOrder) {
    const std::vector<std::string> expected{"com.microsoft.waveform-audio", "public.aiff-audio", "public.aifc-audio",
                                            "public.aac-audio", "com.apple.coreaudio-format", "public.mp3",
                                            "public.mpeg-4-audio", "org.xiph.flac"};
    EXPECT_EQ(UTTypeProbe::supportedIdentifiers(), expected);
    EXPECT_EQ(&UTTypeProbe::supportedIdentifiers(), &UTTypeProbe::supportedIdentifiers());
}

TEST(MagicByteSniff, RecognisesEachContainer) {
    using Hit = MagicByteSniff::Hit;
    EXPECT_EQ(sniff(bytes("RIFF\x24\0\0\0WAVE")), (Hit{"com.microsoft.waveform-audio", "WAVE / BWF"}));
    EXPECT_EQ(sniff(bytes("FORM\0\0\0\x20" "AIFF")), (Hit{"public.aiff-audio", "AIFF"}));
    EXPECT_EQ(sniff(bytes("FORM\0\0\0\x20" "AIFC")), (Hit{"public.aiff-audio", "AIFF-C"}));
    EXPECT_EQ(sniff(bytes("caff\0\x01\0\0")), (Hit{"com.apple.coreaudio-format", "CAF"}));
    EXPECT_EQ(sniff(bytes("fLaC")), (Hit{"org.xiph.flac", "FLAC"}));
    EXPECT_EQ(sniff(bytes("ID3\x04")), (Hit{"public.mp3", "MP3"}));
    EXPECT_EQ(sniff({0xFF, 0xFB, 0x90, 0x64}), (Hit{"public.mp3", "MP3"}));
    EXPECT_EQ(sniff({0xFF, 0xE0, 0x00, 0x00}), (Hit{"public.mp3", "MP3"}));
    EXPECT_EQ(sniff(bytes("\0\0\0\x20" "ftypM4A ")), (Hit{"public.mpeg-4-audio", "MPEG-4 Audio"}));
}

TEST(MagicByteSniff, RefusesNearMisses) {
    EXPECT_EQ(sniff({}), std::nullopt);
    EXPECT_EQ(MagicByteSniff::detect(nullptr, 12), std::nullopt);
    EXPECT_EQ(sniff(bytes("ID3")), std::nullopt);            // below the 4-byte floor
    EXPECT_EQ(sniff({0xFF, 0xFB}), std::nullopt);            // likewise
    EXPECT_EQ(sniff({0xFF, 0xDF, 0x00, 0x00}), std::nullopt); // no frame sync
    EXPECT_EQ(sniff(bytes("RF64\xFF\xFF\xFF\xFFWAVE")), std::nullopt);
    EXPECT_EQ(sniff(bytes("RIFX\0\0\0\x24WAVE")), std::nullopt);
    EXPECT_EQ(sniff(bytes("RIFF\x24\0\0\0AVI ")), std::nullopt);
    EXPECT_EQ(sniff(bytes("RIFF\x24\0\0\0WAV")), std::nullopt); // 11 bytes
    EXPECT_EQ(sniff(bytes("FORM\0\0\0\x20" "8SVX")), std::nullopt);
    EXPECT_EQ(sniff(bytes("riff\x24\0\0\0wave")), std::nullopt);
    EXPECT_EQ(sniff(bytes("CAFF")), std::nullopt);
    EXPECT_EQ(sniff(bytes("\0\0\0\x20" "ftyp")), (MagicByteSniff::Hit{"public.mpeg-4-audio", "MPEG-4 Audio"}));
    EXPECT_EQ(sniff(bytes("\0\0\0\x20" "fty")), std::nullopt);
}

class Probe : public ::testing::Test {
protected:
    TempDir dir;

    std::filesystem::path file(const std::string& name, const std::string& content) {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
};

TEST_F(Probe, SniffsFilesWithoutAType) {
    EXPECT_EQ(UTTypeProbe::probe(file("take", std::string("RIFF\x10\0\0\0WAVEfmt ", 16))),
              (UTTypeProbe::Result{"com.microsoft.waveform-audio", "WAVE / BWF", true}));
    EXPECT_EQ(UTTypeProbe::probe(file("aifc", std::string("FORM\0\0\0\x40" "AIFCFVER", 16))),
              (UTTypeProbe::Result{"public.aiff-audio", "AIFF-C", true}));
    EXPECT_EQ(UTTypeProbe::probe(file("form", std::string("FORM\0\0\0\x40" "8SVXVHDR", 16))), kUnknown);
    EXPECT_EQ(UTTypeProbe::probe(file("sync", "\xFF\xFB\x90\x64 more frame bytes")),
              (UTTypeProbe::Result{"public.mp3", "MP3", true}));
    EXPECT_EQ(UTTypeProbe::probe(file("nosync", "\xFF\xDF\x90\x64 more frame bytes")), kUnknown);
    EXPECT_EQ(UTTypeProbe::probe(file("id3", "ID3")), kUnknown);
    EXPECT_EQ(UTTypeProbe::probe(file("two", "\xFF\xFB")), kUnknown);
    EXPECT_EQ(UTTypeProbe::probe(file("rf64", "RF64\xFF\xFF\xFF\xFFWAVEds64")), kUnknown);
    EXPECT_EQ(UTTypeProbe::probe(file("empty", "")), kUnknown);
    // An extension the registry does not know is sniffed like none at all.
    EXPECT_EQ(UTTypeProbe::probe(file("take.qqq", "fLaC\0\0\0\x22")), (UTTypeProbe::Result{"org.xiph.flac", "FLAC", true}));
    EXPECT_EQ(UTTypeProbe::probe(file("take.", "caff\0\x01\0\0")),
              (UTTypeProbe::Result{"com.apple.coreaudio-format", "CAF", true}));
}

TEST_F(Probe, UnreadableOrMissingFilesAreUnknown) {
    EXPECT_EQ(UTTypeProbe::probe(dir / "missing"), kUnknown);
    EXPECT_EQ(UTTypeProbe::probe(dir.path()), kUnknown);
    const auto locked = file("locked", std::string("RIFF\x10\0\0\0WAVE", 12));
    ::chmod(locked.c_str(), 0);
    if (::access(locked.c_str(), R_OK) == 0) GTEST_SKIP() << "running with permission to read anything";
    EXPECT_EQ(UTTypeProbe::probe(locked), kUnknown);
}

TEST_F(Probe, FifoWithoutWriterDoesNotHang) {
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(UTTypeProbe::probe(fifo), kUnknown);
}

TEST_F(Probe, KnownTypesComeFromTheExtensionWithoutReadingTheFile) {
    // Content that would sniff as WAVE, and files that do not exist: the extension decides.
    const std::string wave("RIFF\x10\0\0\0WAVEfmt ", 16);
    EXPECT_EQ(UTTypeProbe::probe(file("notes.txt", wave)), (UTTypeProbe::Result{"public.plain-text", "Plain text", false}));
    EXPECT_EQ(UTTypeProbe::probe(dir / "cover.PNG"), (UTTypeProbe::Result{"public.png", "PNG image", false}));
    EXPECT_EQ(UTTypeProbe::probe(dir / "sheet.pdf"), (UTTypeProbe::Result{"com.adobe.pdf", "PDF document", false}));
    EXPECT_EQ(UTTypeProbe::probe(file("take.mp3", wave)), (UTTypeProbe::Result{"public.mp3", "MP3", true}));
}

TEST_F(Probe, NamesFromTheTableElseTheRegistry) {
    const std::pair<const char*, UTTypeProbe::Result> expected[] = {
        {"a.wav", {"com.microsoft.waveform-audio", "WAVE / BWF", true}},
        {"a.aiff", {"public.aiff-audio", "AIFF", true}},
        {"a.caf", {"com.apple.coreaudio-format", "CAF", true}},
        {"a.mp3", {"public.mp3", "MP3", true}},
        {"a.m4a", {"public.mpeg-4-audio", "MPEG-4 Audio", true}},
        {"a.flac", {"org.xiph.flac", "FLAC", true}},
        // Supported, but outside the name table.
        {"a.aifc", {"public.aifc-audio", "AIFF-C audio", true}},
        {"a.aac", {"public.aac-audio", "AAC audio", true}},
        // Not in the supported list, but audio by conformance.
        {"a.ogg", {"org.xiph.ogg-audio", "Ogg audio", true}},
        {"a.opus", {"org.xiph.opus", "Opus audio", true}},
    };
    for (const auto& [name, result] : expected) EXPECT_EQ(UTTypeProbe::probe(dir / name), result) << name;
}

} // namespace
} // namespace vaun::test
