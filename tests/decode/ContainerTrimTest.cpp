// Lengths that honour the container's own trimming: a CAF packet table's priming and end,
// an MP4 edit list and an iTunes gapless tag. The reads deliver exactly that audio.
#include "DecodeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vaun::test {
namespace {

constexpr double kRate = 48000;
constexpr std::int64_t kFrames = 144000;

std::uint32_t readBE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

void writeBE32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (24 - 8 * i));
}

std::size_t find(const std::vector<std::uint8_t>& b, const char (&id)[5]) {
    return std::size_t(std::search(b.begin(), b.end(), id, id + 4) - b.begin());
}

// Adds an iTunes gapless tag to an MP4 whose 'moov' is its last box, as iTunes tags files.
void addGaplessTag(std::vector<std::uint8_t>& mp4, std::uint32_t priming, std::uint64_t valid) {
    const auto box = [](const char(&id)[5], const std::vector<std::uint8_t>& payload) {
        BigEndianBytes b;
        b.u32(std::uint32_t(8 + payload.size())), b.id(id), b.append(payload);
        return b.bytes;
    };
    const auto text = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    const auto join = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> all;
        for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    char value[128];
    std::snprintf(value, sizeof value, " 00000000 %08X %08X %016llX 00000000", priming, 0u, (unsigned long long)valid);
    const auto freeform = join({box("mean", join({{0, 0, 0, 0}, text("com.apple.iTunes")})),
                                box("name", join({{0, 0, 0, 0}, text("iTunSMPB")})),
                                box("data", join({{0, 0, 0, 1, 0, 0, 0, 0}, text(value)}))});
    const auto hdlr = box("hdlr", join({std::vector<std::uint8_t>(8, 0), text("mdirappl"), std::vector<std::uint8_t>(9, 0)}));
    const auto udta = box("udta", box("meta", join({{0, 0, 0, 0}, hdlr, box("ilst", box("----", freeform))})));
    const std::size_t moov = find(mp4, "moov") - 4;
    ASSERT_EQ(moov + readBE32(mp4, moov), mp4.size()) << "moov is not the last box";
    writeBE32(mp4, moov, readBE32(mp4, moov) + std::uint32_t(udta.size()));
    mp4.insert(mp4.end(), udta.begin(), udta.end());
}

class ContainerTrim : public ::testing::Test {
protected:
    TempDir dir;
    Planes source = testSignal(2, kFrames, kRate);

    void SetUp() override { writeWav(dir / "source.wav", source, kRate); }

    // The length the file states, what a full read delivers, and where that audio starts in the source.
    void expectTrimmed(const std::filesystem::path& path, std::int64_t frames, std::int64_t startsAt) {
        AudioFile file(path);
        EXPECT_EQ(file.length(), frames);
        const Planes read = readToEnd(file);
        EXPECT_EQ(frameCount(read), frames);
        EXPECT_EQ(bestLag(slice(read, 9600, 4096), source, 9600 + startsAt, 1500), 0);
    }
};

TEST_F(ContainerTrim, CafPacketTableCutsPrimingAndRemainder) {
    ffmpeg(dir / "source.wav", "-c:a aac -b:a 160k -f adts", dir / "s.aac");
    // FFmpeg's encoder primes with one packet; 1024 frames of priming is what the table says.
    writeAACCaf(dir / "s.aac", dir / "s.caf", 1024, kFrames);
    expectTrimmed(dir / "s.caf", kFrames, 0);

    // A seek lands on the same audio as the sequential read.
    AudioFile file(dir / "s.caf");
    const Planes whole = readToEnd(file);
    file.setFramePosition(100000);
    auto buffer = AudioPCMBuffer::make(2, 2048);
    file.read(*buffer, 2048);
    ASSERT_EQ(buffer->frameLength(), 2048u);
    Planes block(2);
    for (int c = 0; c < 2; ++c) block[std::size_t(c)].assign(buffer->floatChannelData()[c], buffer->floatChannelData()[c] + 2048);
    EXPECT_EQ(bestLag(block, whole, 100000), 0);

    // A table that promises more than the packets hold: the audio really there.
    writeAACCaf(dir / "s.aac", dir / "long.caf", 1024, 10 * kFrames);
    EXPECT_EQ(AudioFile(dir / "long.caf").length(), AudioFile(dir / "s.aac").length() - 1024);
}

TEST_F(ContainerTrim, MP4EditListAndGaplessTag) {
    ffmpeg(dir / "source.wav", "-c:a aac -b:a 160k", dir / "s.m4a");
    expectTrimmed(dir / "s.m4a", kFrames, 0);

    // An edit that starts 0.1 s into the media and plays 2 s of it.
    auto mp4 = readBytes(dir / "s.m4a");
    const std::size_t elst = find(mp4, "elst");
    ASSERT_EQ(readBE32(mp4, elst + 8), 1u); // one entry: duration (movie ticks), media time
    const std::uint32_t ticksPerSecond = readBE32(mp4, find(mp4, "mvhd") + 16);
    writeBE32(mp4, elst + 12, 2 * ticksPerSecond);
    writeBE32(mp4, elst + 16, readBE32(mp4, elst + 16) + 4800);
    writeBytes(dir / "edited.m4a", mp4);
    expectTrimmed(dir / "edited.m4a", 96000, 4800);

    // Without an edit list, an iTunes gapless tag gives the priming and the end.
    mp4 = readBytes(dir / "s.m4a");
    std::copy_n("free", 4, mp4.begin() + std::ptrdiff_t(find(mp4, "edts")));
    addGaplessTag(mp4, 1024, kFrames - 4800);
    writeBytes(dir / "tagged.m4a", mp4);
    expectTrimmed(dir / "tagged.m4a", kFrames - 4800, 0);
}

} // namespace
} // namespace vaun::test
