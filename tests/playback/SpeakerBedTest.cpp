// Speaker beds: which bed a channel count and a file layout give, where its speakers stand,
// and that the binaural renderer puts each channel of each bed on the side it belongs to.
#include "PlaybackFixtures.h"
#include "playback/BinauralRenderer.h"
#include "playback/MultichannelPlayer.h"
#include "playback/Route.h"
#include "playback/SpeakerBed.h"

#include <gtest/gtest.h>

#include <bit>

namespace vaun::test {
namespace {

AudioChannelLayout tagged(std::uint32_t tag) {
    AudioChannelLayout l;
    l.layoutTag = tag;
    return l;
}

AudioChannelLayout bitmap(std::uint32_t bits) {
    AudioChannelLayout l;
    l.layoutTag = AudioChannelLayout::kUseChannelBitmap;
    l.channelBitmap = bits;
    return l;
}

TEST(SpeakerBed, StandardBedsByChannelCount) {
    const struct {
        int channels;
        std::uint32_t tag;
        const char* name;
        std::vector<std::string> labels;
    } beds[] = {
        {3, 0x710003, "3.0", {"L", "R", "C"}},
        {4, 0x6C0004, "Quad", {"L", "R", "Ls", "Rs"}},
        {6, 0x790006, "5.1", {"L", "R", "C", "LFE", "Ls", "Rs"}},
        {8, 0xBD0008, "7.1", {"L", "R", "C", "LFE", "Lrs", "Rrs", "Lss", "Rss"}},
        {10, 0xC4000A, "7.1.2", {"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltm", "Rtm"}},
        {12, 0xC0000C, "7.1.4", {"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltf", "Rtf", "Ltr", "Rtr"}},
    };
    for (const auto& b : beds) {
        const auto bed = bedLayout(b.channels, std::nullopt);
        ASSERT_TRUE(bed) << b.channels;
        EXPECT_EQ(bed->layout.layoutTag, b.tag);
        EXPECT_EQ(bed->name, b.name);
        EXPECT_EQ(bed->labels, b.labels);
    }
    for (int n : {0, 1, 2, 5, 7, 9, 11, 13, 16, 24}) EXPECT_FALSE(bedLayout(n, std::nullopt)) << n;
}

TEST(SpeakerBed, TheFilesOwnProperLayoutWins) {
    const auto own = bedLayout(6, bitmap(0x60F)); // L R C LFE Lss Rss
    ASSERT_TRUE(own);
    EXPECT_EQ(own->name, "6-channel layout from file");
    EXPECT_EQ(own->layout, bitmap(0x60F));
    EXPECT_EQ(own->labels, (std::vector<std::string>{"L", "R", "C", "LFE", "Lss", "Rss"}));
    const auto fiveZero = bedLayout(5, tagged(0x750005)); // L R C Ls Rs: no standard bed has 5 channels
    ASSERT_TRUE(fiveZero);
    EXPECT_EQ(fiveZero->name, "5-channel layout from file");
    EXPECT_EQ(bedLayout(6, tagged(0x7C0006))->labels, (std::vector<std::string>{"C", "L", "R", "Ls", "Rs", "LFE"}));

    // Not proper, or not for this many channels: the standard bed.
    EXPECT_EQ(bedLayout(6, tagged(AudioChannelLayout::kDiscreteInOrder | 6))->name, "5.1");
    EXPECT_EQ(bedLayout(6, tagged(AudioChannelLayout::kUnknown | 6))->name, "5.1");
    EXPECT_EQ(bedLayout(6, bitmap(0x3F | 0x600))->name, "5.1");
    EXPECT_EQ(bedLayout(6, tagged(0x940006))->name, "5.1"); // a tag without a known expansion
    EXPECT_FALSE(bedLayout(16, tagged(AudioChannelLayout::kDiscreteInOrder | 16)));
}

AudioChannelLayout described(const std::vector<std::uint32_t>& channelLabels) {
    AudioChannelLayout l;
    for (auto label : channelLabels) l.channelDescriptions.push_back({label, 0, {}});
    return l;
}

TEST(SpeakerBed, LayoutsNamingSpeakersBeyondTheMetadataLabelsArePlaced) {
    const auto front = bedLayout(7, tagged(0x940007)); // L R Ls Rs C Lc Rc
    ASSERT_TRUE(front);
    EXPECT_EQ(front->name, "7-channel layout from file");
    EXPECT_EQ(front->labels, (std::vector<std::string>{"L", "R", "Ls", "Rs", "C", "Lc", "Rc"}));
    EXPECT_EQ((*speakerPlacement(front->labels))[5], (SpeakerPlacement{15, 0, false}));
    // An 8-channel file with wides is its own layout, not the 7.1 bed.
    const auto wide = bedLayout(8, described({1, 2, 3, 4, 5, 6, 35, 36}));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->name, "8-channel layout from file");
    EXPECT_EQ((*speakerPlacement(wide->labels))[7], (SpeakerPlacement{300, 0, false}));
    const auto top = bedLayout(7, tagged(0x9E0007)); // L C R Ls Rs LFE Ts
    ASSERT_TRUE(top);
    EXPECT_EQ((*speakerPlacement(top->labels))[6], (SpeakerPlacement{0, 90, false}));
    // LFE 2 takes no direction; 17 directional speakers are the most that can be placed.
    EXPECT_TRUE((*speakerPlacement(bedLayout(4, described({1, 2, 4, 37}))->labels))[3].lowFrequency);
    const auto full = bedLayout(18, bitmap(0x3FFFF)); // every WAVE speaker bit
    ASSERT_TRUE(full);
    EXPECT_EQ(full->name, "18-channel layout from file");
    EXPECT_NO_THROW(BinauralRenderer(*full, kRate, 2, defaultHrtfPath()));
    EXPECT_FALSE(bedLayout(19, bitmap(0x23FFFF)));
    // A channel that names no speaker: the standard bed, if the count has one.
    EXPECT_EQ(bedLayout(6, described({1, 2, 3, 4, 5, 0x10005}))->name, "5.1");
    EXPECT_FALSE(bedLayout(7, described({1, 2, 3, 4, 5, 6, 0x10006})));
}

TEST(SpeakerBed, PlacementFollowsTheLabels) {
    const auto fiveOne = speakerPlacement({"L", "R", "C", "LFE", "Ls", "Rs"});
    ASSERT_TRUE(fiveOne);
    EXPECT_EQ((*fiveOne)[0], (SpeakerPlacement{30, 0, false}));
    EXPECT_EQ((*fiveOne)[1], (SpeakerPlacement{330, 0, false}));
    EXPECT_TRUE((*fiveOne)[3].lowFrequency);
    EXPECT_EQ((*fiveOne)[4], (SpeakerPlacement{110, 0, false}));
    // Beside side speakers the plain surrounds are the rear pair.
    EXPECT_EQ((*speakerPlacement({"Ls", "Lss"}))[0].azimuthDegrees, 135);
    EXPECT_EQ((*speakerPlacement({"Rtf"}))[0], (SpeakerPlacement{315, 45, false}));
    EXPECT_FALSE(speakerPlacement({"L", "?"}));
}

TEST(SpeakerBed, RouteSummaries) {
    EXPECT_EQ(PlaybackRoute::discrete(6, 8).summary(), "Direct out \u00B7 6 of 8 outputs");
    EXPECT_EQ(PlaybackRoute::binaural("7.1.4", "MIT KEMAR HRTF").summary(),
              "Spatial (headphones) \u00B7 7.1.4 \u00B7 MIT KEMAR HRTF");
    EXPECT_EQ(hrtfDisplayName("/usr/share/libmysofa/MIT_KEMAR_normal_pinna.sofa"), "MIT KEMAR HRTF");
    EXPECT_EQ(hrtfDisplayName("/x/default.sofa"), "MIT KEMAR HRTF");
    EXPECT_EQ(hrtfDisplayName("/x/ClubFritz1.sofa"), "ClubFritz1");
}

// Each channel alone in turn (noise, 0.25 s each): speakers on the left are louder in the
// left ear, those on the right in the right ear, the centre line and LFE about even.
TEST(BinauralRenderer, EveryBedChannelReachesTheEarOnItsSide) {
    constexpr std::int64_t kTurn = 12000;
    std::vector<SpeakerBed> beds;
    for (int channels : {3, 4, 6, 8, 10, 12}) beds.push_back(*bedLayout(channels, std::nullopt));
    beds.push_back(*bedLayout(8, bitmap(0x63F)));   // L R C LFE Ls Rs Lss Rss, as WAVE masks say 7.1
    beds.push_back(*bedLayout(6, tagged(0x7C0006))); // C L R Ls Rs LFE
    beds.push_back(*bedLayout(3, bitmap(0xB)));      // L R LFE
    for (const auto& bed : beds) {
        const int channels = int(bed.labels.size());
        const auto placed = *speakerPlacement(bed.labels);
        BinauralRenderer renderer(bed, kRate, 2, defaultHrtfPath());
        Planes planes(std::size_t(channels), std::vector<float>(std::size_t(kTurn * channels), 0.0f));
        for (int c = 0; c < channels; ++c) {
            const auto noise = whiteNoise(kTurn, 0.5f, unsigned(c + 7));
            std::copy(noise.begin(), noise.end(), planes[std::size_t(c)].begin() + c * kTurn);
        }
        std::vector<const float*> pointers;
        for (auto& p : planes) pointers.push_back(p.data());
        std::vector<float> out;
        renderer.render(pointers.data(), std::uint32_t(kTurn * channels), out);
        renderer.drain(out);
        ASSERT_EQ(out.size(), std::size_t(2 * kTurn * channels)) << bed.name;
        const auto left = channelOf(out, 2, 0), right = channelOf(out, 2, 1);
        for (int c = 0; c < channels; ++c) {
            const auto from = std::size_t(c * kTurn + 2000), to = std::size_t((c + 1) * kTurn - 2000);
            const double difference = rmsDB(left, from, to) - rmsDB(right, from, to);
            const double azimuth = placed[std::size_t(c)].azimuthDegrees;
            const std::string what = bed.name + " " + bed.labels[std::size_t(c)];
            EXPECT_GT(std::max(rmsDB(left, from, to), rmsDB(right, from, to)), -40.0) << what;
            if (placed[std::size_t(c)].lowFrequency || azimuth == 0 || azimuth == 180)
                EXPECT_NEAR(difference, 0.0, 2.0) << what;
            else if (azimuth < 180)
                EXPECT_GT(difference, 3.0) << what;
            else
                EXPECT_LT(difference, -3.0) << what;
        }
    }
}

// WAVE_FORMAT_EXTENSIBLE files as immersive tools write them, with a tone on one speaker on
// the left alone.
TEST(BinauralRenderer, ImmersiveWavFilesPlayOnHeadphones) {
    constexpr std::uint32_t FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20, FLC = 0x40, FRC = 0x80,
                            SL = 0x200, SR = 0x400, TC = 0x800, TFL = 0x1000, TFC = 0x2000, TFR = 0x4000,
                            TBL = 0x8000, TBR = 0x20000;
    const struct {
        const char* name;
        std::uint32_t mask;
        std::uint32_t toneOn; // the speaker bit carrying the tone
    } files[] = {
        {"9.1.4", FL | FR | FC | LFE | BL | BR | FLC | FRC | SL | SR | TFL | TFR | TBL | TBR, FLC},
        {"7.0 SDDS", 0xF7, FLC},
        {"Auro-3D 13.1", FL | FR | FC | LFE | BL | BR | SL | SR | TC | TFL | TFC | TFR | TBL | TBR, TFL},
    };
    TempDir dir;
    LoopExecutor executor;
    for (const auto& f : files) {
        const int channels = std::popcount(f.mask);
        const int tone = std::popcount(f.mask & (f.toneOn - 1));
        Planes planes(std::size_t(channels), std::vector<float>(24000, 0.0f));
        planes[std::size_t(tone)] = sine(1000, 0.5, kRate, 24000);
        MultichannelPlayer player(writeFloatWav(dir / "immersive.wav", planes, kRate, f.mask), executor,
                                  OutputFormat{kRate, 2});
        EXPECT_EQ(player.route().summary(), "Spatial (headphones) \u00B7 " + std::to_string(channels) +
                                                "-channel layout from file \u00B7 MIT KEMAR HRTF")
            << f.name;
        player.play(0);
        const auto out = player.manualOutput()->render(24000);
        const auto left = channelOf(out, 2, 0), right = channelOf(out, 2, 1);
        EXPECT_GT(rmsDB(left, 4000, 20000), -40.0) << f.name;
        EXPECT_GT(rmsDB(left, 4000, 20000) - rmsDB(right, 4000, 20000), 2.0) << f.name;
    }
}

TEST(BinauralRenderer, OutputKeepsPaceWithInputAcrossRates) {
    const auto bed = *bedLayout(6, std::nullopt);
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        BinauralRenderer renderer(bed, rate, 2, defaultHrtfPath());
        Planes planes(6, std::vector<float>(5000, 0.1f));
        std::vector<const float*> pointers;
        for (auto& p : planes) pointers.push_back(p.data());
        std::vector<float> out;
        for (int i = 0; i < 3; ++i) renderer.render(pointers.data(), 5000, out);
        renderer.drain(out);
        EXPECT_EQ(out.size(), 2u * 15000) << rate;
        // A new segment starts clean: exactly its own frames come out.
        renderer.restart(0);
        out.clear();
        renderer.render(pointers.data(), 777, out);
        renderer.drain(out);
        EXPECT_EQ(out.size(), 2u * 777) << rate;
    }
}

} // namespace
} // namespace vaun::test
