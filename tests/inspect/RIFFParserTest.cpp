#include "inspect/RIFFParser.h"

#include "TestAudio.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <limits>
#include <string_view>

namespace vaun {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Options = RIFFParser::Options;
constexpr std::uint64_t kMiB = 1048576;

Bytes filled(std::size_t size, std::uint8_t value = 0x5A) { return Bytes(size, value); }

// Assembles RIFF-family files byte by byte so that sizes can lie.
class RiffWriter {
public:
    explicit RiffWriter(std::string_view identifier = "RIFF", std::string_view form = "WAVE")
        : bigEndian_(identifier == "RIFX") {
        text(identifier);
        u32(0);
        text(form);
    }

    RiffWriter& chunk(std::string_view id, const Bytes& payload, bool pad = true) {
        header(id, static_cast<std::uint32_t>(payload.size()));
        bytes_.insert(bytes_.end(), payload.begin(), payload.end());
        if (pad && payload.size() % 2 == 1) bytes_.push_back(0);
        return *this;
    }
    RiffWriter& header(std::string_view id, std::uint32_t size) {
        text(id);
        u32(size);
        return *this;
    }
    // The RF64 size chunk: RIFF size, data size, sample count, empty table.
    RiffWriter& ds64(std::uint64_t riffSize, std::uint64_t dataSize) {
        header("ds64", 28);
        u64(riffSize);
        u64(dataSize);
        u64(0);
        u32(0);
        return *this;
    }
    RiffWriter& raw(const Bytes& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }

    std::size_t size() const { return bytes_.size(); }

    // The container size field says what was written unless `sizeField` says otherwise.
    Bytes finish(std::optional<std::uint32_t> sizeField = std::nullopt) const {
        Bytes out = bytes_;
        const std::uint32_t value = sizeField.value_or(static_cast<std::uint32_t>(out.size() - 8));
        for (int i = 0; i < 4; ++i)
            out[4 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(value >> (bigEndian_ ? 24 - 8 * i : 8 * i));
        return out;
    }

private:
    void text(std::string_view s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (bigEndian_ ? 24 - 8 * i : 8 * i)));
    }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }

    bool bigEndian_;
    Bytes bytes_;
};

RiffWriter rf64(std::uint64_t riffSize, std::uint64_t dataSize) {
    RiffWriter writer("RF64");
    writer.ds64(riffSize, dataSize);
    return writer;
}

void setRF64Size(Bytes& file, std::uint64_t riffSize) {
    for (std::size_t i = 0; i < 8; ++i) file[20 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
}

// An RF64 file whose ds64 RIFF size tells the truth.
Bytes finishRF64(const RiffWriter& writer) {
    Bytes file = writer.finish(0xFFFFFFFF);
    setRF64Size(file, file.size() - 8);
    return file;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
}

std::vector<std::string> keptIDs(const RIFFParser::Container& container) {
    std::vector<std::string> ids;
    for (const auto& chunk : container.chunks) ids.push_back(chunk.id);
    return ids;
}

using IDs = std::vector<std::string>;

TEST(RIFFParser, WalksChunksInFileOrderWithTheirOffsetsAndPayloads) {
    const Bytes fmt = filled(16, 1), odd = {'a', 'b', 'c'}, data = filled(8, 2);
    const Bytes file = RiffWriter().chunk("fmt ", fmt).chunk("LIST", odd).chunk("data", data).finish();

    const auto container = RIFFParser::parse(file);
    ASSERT_TRUE(container);
    EXPECT_EQ(container->formType, "WAVE");
    EXPECT_FALSE(container->truncated);
    EXPECT_FALSE(container->isRF64);
    EXPECT_EQ(container->chunkIDs, (IDs{"fmt ", "LIST", "data"}));
    ASSERT_EQ(container->chunks.size(), 3u);
    EXPECT_EQ(container->chunks[0], (RIFFParser::Chunk{"fmt ", fmt, 12}));
    EXPECT_EQ(container->chunks[1], (RIFFParser::Chunk{"LIST", odd, 36}));
    // The odd chunk's pad byte moves the next header to an even offset.
    EXPECT_EQ(container->chunks[2], (RIFFParser::Chunk{"data", data, 48}));
}

TEST(RIFFParser, GivesNoContainerForWhatIsNotARIFFFile) {
    const Bytes good = RiffWriter().chunk("fmt ", filled(16)).finish();
    Bytes notAscii = good;
    notAscii[9] = 0x7F;
    Bytes form = good;
    std::copy_n("FORM", 4, form.begin());
    Bytes tooSmall = good;
    tooSmall[4] = 3, tooSmall[5] = tooSmall[6] = tooSmall[7] = 0;

    for (const Bytes& bytes : {Bytes{}, Bytes(good.begin(), good.begin() + 11), form, notAscii, tooSmall,
                               // RF64 whose first chunk is not ds64, and one too short to hold ds64.
                               RiffWriter("RF64").chunk("fmt ", filled(28)).finish(0xFFFFFFFF)})
        EXPECT_FALSE(RIFFParser::parse(bytes)) << bytes.size() << " bytes";

    Bytes shortRF64 = rf64(100, 0).finish(0xFFFFFFFF);
    shortRF64.resize(35);
    EXPECT_FALSE(RIFFParser::parse(shortRF64));

    EXPECT_FALSE(RIFFParser::parse(good, Options{-1, 4194304}));
    EXPECT_FALSE(RIFFParser::parse(good, Options{1048576, 3}));
    EXPECT_TRUE(RIFFParser::parse(good, Options{0, 4}));
}

TEST(RIFFParser, TwelveByteFileIsAnEmptyContainer) {
    const auto container = RIFFParser::parse(RiffWriter().finish(4));
    ASSERT_TRUE(container);
    EXPECT_EQ(container->formType, "WAVE");
    EXPECT_TRUE(container->chunks.empty());
    EXPECT_TRUE(container->chunkIDs.empty());
    EXPECT_FALSE(container->truncated);
}

TEST(RIFFParser, DamagedFilesKeepWhatCameBeforeTheDamage) {
    const Bytes a = filled(10, 1), b = filled(5, 2);

    // Container size larger than the file: the chunks up to the real end.
    auto container = RIFFParser::parse(RiffWriter().chunk("fmt ", a).chunk("bext", a).finish(1000));
    ASSERT_TRUE(container);
    EXPECT_EQ(keptIDs(*container), (IDs{"fmt ", "bext"}));
    EXPECT_TRUE(container->truncated);

    // A final odd chunk without its pad byte: listed and kept, but the pad position is past the end.
    container = RIFFParser::parse(RiffWriter().chunk("fmt ", a).chunk("iXML", b, false).finish());
    ASSERT_TRUE(container);
    EXPECT_EQ(keptIDs(*container), (IDs{"fmt ", "iXML"}));
    EXPECT_TRUE(container->truncated);

    // A chunk whose payload runs past the end stays listed but is not kept.
    container = RIFFParser::parse(RiffWriter().chunk("fmt ", a).header("data", 100).raw(b).finish());
    ASSERT_TRUE(container);
    EXPECT_EQ(container->chunkIDs, (IDs{"fmt ", "data"}));
    EXPECT_EQ(keptIDs(*container), (IDs{"fmt "}));
    EXPECT_TRUE(container->truncated);

    // A control byte in an identifier ends the walk there.
    container = RIFFParser::parse(RiffWriter().chunk("fmt ", a).chunk("da\x01" "a", b).chunk("iXML", a).finish());
    ASSERT_TRUE(container);
    EXPECT_EQ(container->chunkIDs, (IDs{"fmt "}));
    EXPECT_EQ(keptIDs(*container), (IDs{"fmt "}));
    EXPECT_TRUE(container->truncated);

    // Fewer than eight bytes left for a header.
    container = RIFFParser::parse(RiffWriter().chunk("fmt ", a).raw({'J', 'U', 'N', 'K'}).finish());
    ASSERT_TRUE(container);
    EXPECT_EQ(container->chunkIDs, (IDs{"fmt "}));
    EXPECT_TRUE(container->truncated);

    // A plain RIFF 'data' chunk of unknown size (0xFFFFFFFF) cannot fit.
    container = RIFFParser::parse(RiffWriter().chunk("fmt ", a).header("data", 0xFFFFFFFF).raw(a).finish());
    ASSERT_TRUE(container);
    EXPECT_EQ(container->chunkIDs, (IDs{"fmt ", "data"}));
    EXPECT_TRUE(container->truncated);
}

TEST(RIFFParser, ContainerSizeShorterThanTheFileEndsTheWalkEarly) {
    const Bytes a = filled(10, 1);
    RiffWriter writer;
    writer.chunk("fmt ", a);
    const auto declared = static_cast<std::uint32_t>(writer.size() - 8);
    const auto container = RIFFParser::parse(writer.chunk("JUNK", a).finish(declared));
    ASSERT_TRUE(container);
    EXPECT_EQ(container->chunkIDs, (IDs{"fmt "}));
    EXPECT_FALSE(container->truncated);
}

TEST(RIFFParser, OverBudgetPayloadsAreSkippedAndTheWalkGoesOn) {
    const Bytes ixml = filled(100, 3);
    const Bytes file = RiffWriter().chunk("bext", filled(2 * kMiB)).chunk("iXML", ixml).finish();
    const auto container = RIFFParser::parse(file);
    ASSERT_TRUE(container);
    EXPECT_EQ(container->chunkIDs, (IDs{"bext", "iXML"}));
    EXPECT_EQ(keptIDs(*container), (IDs{"iXML"}));
    EXPECT_EQ(container->chunks[0].payload, ixml);
    EXPECT_TRUE(container->truncated);

    // Four 1 MiB chunks use up the 4 MiB budget; the fifth is skipped.
    RiffWriter five;
    for (int i = 0; i < 5; ++i) five.chunk("iXML", filled(kMiB, static_cast<std::uint8_t>(i)));
    const auto budget = RIFFParser::parse(five.finish());
    ASSERT_TRUE(budget);
    EXPECT_EQ(budget->chunkIDs.size(), 5u);
    ASSERT_EQ(budget->chunks.size(), 4u);
    EXPECT_EQ(budget->chunks[3].payload, filled(kMiB, 3));
    EXPECT_TRUE(budget->truncated);

    // One byte over the per-chunk limit is skipped even with the whole budget left.
    const auto over = RIFFParser::parse(RiffWriter().chunk("iXML", filled(kMiB + 1)).chunk("bext", ixml).finish());
    ASSERT_TRUE(over);
    EXPECT_EQ(keptIDs(*over), (IDs{"bext"}));
    EXPECT_TRUE(over->truncated);

    // A chunk over what remains of the budget is skipped while a later, smaller one still fits.
    const auto remaining = RIFFParser::parse(
        RiffWriter().chunk("aaaa", filled(60)).chunk("bbbb", filled(60)).chunk("cccc", filled(30)).finish(),
        Options{100, 100});
    ASSERT_TRUE(remaining);
    EXPECT_EQ(keptIDs(*remaining), (IDs{"aaaa", "cccc"}));
    EXPECT_TRUE(remaining->truncated);
}

TEST(RIFFParser, RF64TakesItsSizesFromDs64) {
    const Bytes audio = filled(40, 7), ixml = filled(12, 8);
    RiffWriter writer = rf64(0, audio.size());
    writer.header("data", 0xFFFFFFFF).raw(audio).chunk("iXML", ixml);
    const auto container = RIFFParser::parse(finishRF64(writer));
    ASSERT_TRUE(container);
    EXPECT_TRUE(container->isRF64);
    EXPECT_FALSE(container->truncated);
    EXPECT_EQ(container->chunkIDs, (IDs{"ds64", "data", "iXML"}));
    ASSERT_EQ(container->chunks.size(), 3u);
    EXPECT_EQ(container->chunks[1].payload, audio);
    EXPECT_EQ(container->chunks[2], (RIFFParser::Chunk{"iXML", ixml, 96}));

    // A ds64 data size past the end of the file stops the walk at 'data'.
    RiffWriter lying = rf64(0, 1000);
    const auto damaged = RIFFParser::parse(finishRF64(lying.header("data", 0xFFFFFFFF).raw(audio).chunk("iXML", ixml)));
    ASSERT_TRUE(damaged);
    EXPECT_EQ(damaged->chunkIDs, (IDs{"ds64", "data"}));
    EXPECT_TRUE(damaged->truncated);

    // Only 'data' takes the ds64 size; another chunk of size 0xFFFFFFFF keeps it.
    RiffWriter other = rf64(0, 40);
    const auto junk = RIFFParser::parse(finishRF64(other.header("JUNK", 0xFFFFFFFF).raw(audio)));
    ASSERT_TRUE(junk);
    EXPECT_EQ(junk->chunkIDs, (IDs{"ds64", "JUNK"}));
    EXPECT_TRUE(junk->truncated);
}

TEST(RIFFParser, HostileDs64SizesNeitherOverflowNorCrash) {
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    for (const std::uint64_t riffSize : {max, max - 3, max - 7, max - 8, max - 9, std::uint64_t{1} << 63}) {
        RiffWriter writer = rf64(riffSize, max);
        const auto container =
            RIFFParser::parse(writer.chunk("iXML", filled(6)).header("data", 0xFFFFFFFF).raw(filled(16)).finish());
        ASSERT_TRUE(container) << riffSize;
        EXPECT_TRUE(container->truncated);
        EXPECT_EQ(container->chunkIDs, (IDs{"ds64", "iXML", "data"}));
        EXPECT_EQ(keptIDs(*container), (IDs{"ds64", "iXML"}));
    }
    // A data size that fits 64 bits but not the file, and one that is just past it.
    for (const std::uint64_t dataSize : {max - 8, max - 20, std::uint64_t{17}}) {
        RiffWriter writer = rf64(0, dataSize);
        const auto container = RIFFParser::parse(finishRF64(writer.header("data", 0xFFFFFFFF).raw(filled(16))));
        ASSERT_TRUE(container);
        EXPECT_TRUE(container->truncated);
        EXPECT_EQ(container->chunkIDs, (IDs{"ds64", "data"}));
    }
    // A 64-bit container size below 4 is no container.
    EXPECT_FALSE(RIFFParser::parse(rf64(3, 0).finish(0xFFFFFFFF)));
}

TEST(RIFFParser, RIFXSizesAreBigEndian) {
    const Bytes three = {'x', 'y', 'z'}, fmt = filled(16, 4);
    const auto container = RIFFParser::parse(RiffWriter("RIFX").chunk("fmt ", fmt).chunk("bext", three).finish());
    ASSERT_TRUE(container);
    EXPECT_FALSE(container->isRF64);
    EXPECT_FALSE(container->truncated);
    ASSERT_EQ(container->chunks.size(), 2u);
    EXPECT_EQ(container->chunks[1], (RIFFParser::Chunk{"bext", three, 36}));
}

TEST(RIFFParser, ChunkVisitsAndListedIdentifiersAreCapped) {
    RiffWriter writer;
    for (int i = 0; i < 65536; ++i) writer.header("JUNK", 0);
    const auto atCap = RIFFParser::parse(writer.finish());
    ASSERT_TRUE(atCap);
    EXPECT_FALSE(atCap->truncated);
    EXPECT_EQ(atCap->chunks.size(), 65536u);
    EXPECT_EQ(atCap->chunkIDs, IDs(256, "JUNK"));

    const auto overCap = RIFFParser::parse(writer.header("iXML", 0).finish());
    ASSERT_TRUE(overCap);
    EXPECT_TRUE(overCap->truncated);
    EXPECT_EQ(overCap->chunks.size(), 65536u);
    EXPECT_EQ(overCap->chunks.back().id, "JUNK");
    EXPECT_EQ(overCap->chunkIDs.size(), 256u);
}

TEST(RIFFParser, ScanKeepsOnlyMetadataPayloadsButListsEveryChunk) {
    test::TempDir dir;
    const Bytes bext = filled(602, 1), ixml = filled(33, 2), chna = filled(4, 3);
    const Bytes file = RiffWriter()
                           .chunk("fmt ", filled(16))
                           .chunk("bext", bext)
                           .chunk("data", filled(1000))
                           .chunk("iXML", ixml)
                           .chunk("chna", chna)
                           .chunk("IXML", ixml)
                           .finish();
    writeFile(dir / "a.wav", file);

    const auto parsed = RIFFParser::parse(file);
    const auto scanned = RIFFParser::scan(dir / "a.wav");
    ASSERT_TRUE(parsed && scanned);
    EXPECT_EQ(scanned->chunkIDs, parsed->chunkIDs);
    EXPECT_EQ(keptIDs(*parsed), (IDs{"fmt ", "bext", "data", "iXML", "chna", "IXML"}));
    EXPECT_EQ(keptIDs(*scanned), (IDs{"bext", "iXML", "chna"}));
    EXPECT_EQ(scanned->chunks[1], parsed->chunks[3]);
    EXPECT_FALSE(scanned->truncated);

    // Damage reads the same through either front end.
    writeFile(dir / "b.wav", RiffWriter().chunk("bext", bext).chunk("iXML", ixml, false).finish());
    EXPECT_EQ(RIFFParser::scan(dir / "b.wav"),
              RIFFParser::parse(RiffWriter().chunk("bext", bext).chunk("iXML", ixml, false).finish()));
}

TEST(RIFFParser, ScanWalksPastAudioBeyondFourGibibytesWithoutReadingIt) {
    test::TempDir dir;
    const std::uint64_t audioBytes = 5ull << 30;
    const Bytes ixml = filled(20, 9);
    RiffWriter head = rf64(0, audioBytes);
    head.chunk("fmt ", filled(16)).header("data", 0xFFFFFFFF);
    const std::uint64_t tailOffset = head.size() + audioBytes;
    const Bytes tail = RiffWriter().chunk("iXML", ixml).finish();
    Bytes headBytes = head.finish(0xFFFFFFFF);
    setRF64Size(headBytes, tailOffset + (tail.size() - 12) - 8);
    {
        std::ofstream out(dir / "big.wav", std::ios::binary);
        out.write(reinterpret_cast<const char*>(headBytes.data()), static_cast<std::streamsize>(headBytes.size()));
        out.seekp(static_cast<std::streamoff>(tailOffset)); // a sparse hole stands for the audio
        out.write(reinterpret_cast<const char*>(tail.data() + 12), static_cast<std::streamsize>(tail.size() - 12));
        ASSERT_TRUE(out.good());
    }
    const auto container = RIFFParser::scan(dir / "big.wav");
    ASSERT_TRUE(container);
    EXPECT_TRUE(container->isRF64);
    EXPECT_FALSE(container->truncated);
    EXPECT_EQ(container->chunkIDs, (IDs{"ds64", "fmt ", "data", "iXML"}));
    ASSERT_EQ(container->chunks.size(), 1u);
    EXPECT_EQ(container->chunks[0], (RIFFParser::Chunk{"iXML", ixml, tailOffset}));
}

TEST(RIFFParser, ScanReportsFileSystemErrors) {
    test::TempDir dir;
    try {
        RIFFParser::scan(dir / "missing.wav");
        FAIL() << "no error";
    } catch (const SystemError& error) {
        EXPECT_EQ(error.domain(), "POSIX");
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_NE(error.description().find("missing.wav"), std::string::npos);
    }
    // A folder opens but cannot be sized or read as a file.
    EXPECT_THROW(RIFFParser::scan(dir.path()), SystemError);

    writeFile(dir / "short.wav", {'R', 'I', 'F', 'F'});
    EXPECT_FALSE(RIFFParser::scan(dir / "short.wav"));
}

TEST(RIFFParser, ScanStopsWhenCancelled) {
    test::TempDir dir;
    EXPECT_THROW(RIFFParser::scan(dir / "missing.wav", {}, [] { return true; }), CancellationError);

    RiffWriter writer;
    for (int i = 0; i < 10; ++i) writer.chunk("JUNK", filled(10));
    writeFile(dir / "a.wav", writer.finish());
    int polls = 0;
    // The first poll comes before the file is opened; the fourth falls inside the chunk loop.
    EXPECT_THROW(RIFFParser::scan(dir / "a.wav", {}, [&polls] { return ++polls == 4; }), CancellationError);
    EXPECT_EQ(polls, 4);

    polls = 0;
    EXPECT_TRUE(RIFFParser::scan(dir / "a.wav", {}, [&polls] { return ++polls > 100; }));
    EXPECT_EQ(polls, 11);
}

} // namespace
} // namespace vaun
