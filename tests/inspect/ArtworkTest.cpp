// Embedded cover art as FFmpeg exposes it: the first picture within the size cap, among
// the first 256 items, cancellable.
#include "TestAudio.h"
#include "inspect/Artwork.h"
#include "inspect/MetadataAssembler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace vaun::test {
namespace {

std::vector<std::uint8_t> slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ArtworkFiles : public ::testing::Test {
protected:
    TempDir dir;

    std::filesystem::path tone() {
        const auto path = dir / "tone.wav";
        if (!std::filesystem::exists(path)) writeWav(path, {sine(440, 0.3, 44100, 22050)}, 44100);
        return path;
    }

    // A PNG of random pixels: incompressible, so its size follows the pixel count.
    std::filesystem::path noisePNG(const std::string& name, int width, int height) {
        const auto raw = dir / (name + ".rgb");
        std::vector<char> pixels(std::size_t(width) * std::size_t(height) * 3);
        std::mt19937 random(std::uint32_t(width * 31 + height));
        for (auto& p : pixels) p = char(random());
        std::ofstream(raw, std::ios::binary).write(pixels.data(), std::streamsize(pixels.size()));
        const auto png = dir / (name + ".png");
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const std::string cmd = "ffmpeg -y -loglevel error -f rawvideo -pix_fmt rgb24 -s " + size + " -i " +
                                shellQuote(raw.string()) + " -frames:v 1 " + shellQuote(png.string());
        if (run(cmd) != 0) throw std::runtime_error("cannot make " + png.string());
        return png;
    }

    // Audio plus the pictures as attached-picture streams, in the given order.
    std::filesystem::path withPictures(const std::string& name, const std::string& audioCodec,
                                       const std::vector<std::filesystem::path>& pictures) {
        const auto out = dir / name;
        std::string cmd = "ffmpeg -y -loglevel error -i " + shellQuote(tone().string());
        for (const auto& p : pictures) cmd += " -i " + shellQuote(p.string());
        cmd += " -map 0:a";
        for (std::size_t i = 0; i < pictures.size(); ++i) cmd += " -map " + std::to_string(i + 1);
        cmd += " -c:a " + audioCodec + " -c:v copy -disposition:v attached_pic " + shellQuote(out.string());
        if (run(cmd) != 0) throw std::runtime_error("cannot make " + out.string());
        return out;
    }
};

TEST_F(ArtworkFiles, PassesOverPicturesAboveFourMebibytes) {
    const auto big = noisePNG("big", 1400, 1400);
    const auto small = noisePNG("small", 400, 250);
    ASSERT_GT(std::filesystem::file_size(big), Artwork::maxBytes);
    ASSERT_GT(std::filesystem::file_size(small), 250000u);
    const auto m4a = withPictures("two.m4a", "aac", {big, small});

    AudioMetadata record = MetadataAssembler::assemble(m4a);
    EXPECT_EQ(record.artworkData, std::nullopt);
    MetadataAssembler::addArtwork(record, m4a);
    EXPECT_EQ(record.artworkData, slurp(small));
    EXPECT_TRUE(record.hasArtwork);

    // Smaller first: the first one is taken.
    EXPECT_EQ(Artwork::find(withPictures("order.m4a", "aac", {small, noisePNG("other", 64, 64)})), slurp(small));
}

TEST_F(ArtworkFiles, PicturesOfOtherContainers) {
    const auto cover = noisePNG("cover", 32, 32);
    EXPECT_EQ(Artwork::find(withPictures("id3.mp3", "libmp3lame", {cover})), slurp(cover));
    EXPECT_EQ(Artwork::find(withPictures("picture.flac", "flac", {cover})), slurp(cover));
    EXPECT_EQ(Artwork::find(tone()), std::nullopt);

    // A file without a picture leaves a record's artwork as it was.
    AudioMetadata record;
    record.artworkData = std::vector<std::uint8_t>{1, 2, 3};
    MetadataAssembler::addArtwork(record, tone());
    EXPECT_EQ(record.artworkData, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(ArtworkFiles, BigEndianWaveHasNoArtworkRatherThanAnError) {
    // FFmpeg's own demuxer refuses extensible RIFX; the decoder reads it raw, without pictures.
    const auto rifx = dir / "rifx.wav";
    ASSERT_EQ(run("sox -n -B -b 24 -c 6 " + shellQuote(rifx.string()) + " synth 0.2 sine 440"), 0);
    AudioMetadata record = MetadataAssembler::assemble(rifx);
    EXPECT_EQ(record.channels, 6);
    MetadataAssembler::addArtwork(record, rifx);
    EXPECT_EQ(record.artworkData, std::nullopt);
}

TEST_F(ArtworkFiles, OnlyTheFirst256ItemsAreExamined) {
    // Matroska lists its tracks first and attachments after them.
    const auto cover = noisePNG("cover", 16, 16);
    const auto mka = [&](int tracks) {
        const auto out = dir / ("tracks" + std::to_string(tracks) + ".mka");
        std::string cmd = "ffmpeg -y -loglevel error -f lavfi -i anullsrc=r=8000:cl=mono -t 0.01";
        for (int i = 0; i < tracks; ++i) cmd += " -map 0:a";
        cmd += " -c:a pcm_s16le -attach " + shellQuote(cover.string()) +
               " -metadata:s:t mimetype=image/png " + shellQuote(out.string());
        if (run(cmd) != 0) throw std::runtime_error("cannot make " + out.string());
        return out;
    };
    EXPECT_EQ(Artwork::find(mka(255)), slurp(cover));
    EXPECT_EQ(Artwork::find(mka(256)), std::nullopt);
}

TEST_F(ArtworkFiles, ErrorsAndCancellation) {
    EXPECT_THROW(Artwork::find(dir / "missing.m4a"), DecoderError);
    const auto text = dir / "words.mp3";
    std::ofstream(text) << "These are not audio samples, just words.\n";
    EXPECT_THROW(Artwork::find(text), DecoderError);

    const auto m4a = withPictures("one.m4a", "aac", {noisePNG("c", 16, 16)});
    AudioMetadata record;
    EXPECT_THROW(MetadataAssembler::addArtwork(record, m4a, [] { return true; }), CancellationError);
    int polls = 0;
    MetadataAssembler::addArtwork(record, m4a, [&] {
        ++polls;
        return false;
    });
    ASSERT_TRUE(record.artworkData.has_value());
    for (int cancelAt = 1; cancelAt <= polls; ++cancelAt) {
        AudioMetadata fresh;
        int seen = 0;
        EXPECT_THROW(MetadataAssembler::addArtwork(fresh, m4a, [&] { return ++seen >= cancelAt; }), CancellationError)
            << "cancelled at poll " << cancelAt;
        EXPECT_EQ(fresh.artworkData, std::nullopt);
    }
}

} // namespace
} // namespace vaun::test
