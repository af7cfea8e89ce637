#include "inspect/CoreAudioLayouts.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace vaun;
using Numbers = std::vector<std::uint32_t>;

namespace {

// Channel label numbers of an expansion, or an empty list when there is none.
Numbers labelsOf(const std::optional<AudioChannelLayout>& layout) {
    Numbers n;
    if (layout)
        for (const auto& d : layout->channelDescriptions) n.push_back(d.channelLabel);
    return n;
}

Numbers tag(std::uint32_t t) { return labelsOf(CoreAudioLayouts::expandTag(t)); }
Numbers bits(std::uint32_t b) { return labelsOf(CoreAudioLayouts::expandBitmap(b)); }

} // namespace

TEST(CoreAudioLayoutTags, TagsTheRestOfTheCoreNames) {
    EXPECT_EQ(tag(0x640001), Numbers{42});                              // Mono
    EXPECT_EQ(tag(0x650002), (Numbers{1, 2}));                          // Stereo
    EXPECT_EQ(tag(0x660002), (Numbers{1, 2}));                          // StereoHeadphones
    EXPECT_EQ(tag(0x710003), (Numbers{1, 2, 3}));                       // MPEG_3_0_A
    EXPECT_EQ(tag(0x6C0004), (Numbers{1, 2, 5, 6}));                    // Quadraphonic
    EXPECT_EQ(tag(0x790006), (Numbers{1, 2, 3, 4, 5, 6}));              // MPEG_5_1_A
    EXPECT_EQ(tag(0xBD0008), (Numbers{1, 2, 3, 4, 33, 34, 5, 6}));      // WAVE_7_1
    EXPECT_EQ(tag(0xC4000A), (Numbers{1, 2, 3, 4, 5, 6, 33, 34, 49, 51})); // Atmos_7_1_2
    EXPECT_EQ(tag(0xC0000C), (Numbers{1, 2, 3, 4, 5, 6, 33, 34, 13, 15, 52, 54})); // Atmos_7_1_4
}

TEST(CoreAudioLayoutTags, ExpansionIsPlainDescriptions) {
    const auto layout = CoreAudioLayouts::expandTag(0x790006);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->layoutTag, AudioChannelLayout::kUseChannelDescriptions);
    EXPECT_EQ(layout->channelBitmap, 0u);
    for (const auto& d : layout->channelDescriptions) {
        EXPECT_EQ(d.channelFlags, 0u);
        EXPECT_EQ(d.coordinates, (std::array<float, 3>{}));
    }
}

TEST(CoreAudioLayoutTags, FamiliesKeepTheirPublishedOrders) {
    EXPECT_EQ(tag(0x670002), (Numbers{38, 39}));                        // MatrixStereo
    EXPECT_EQ(tag(0x680002), (Numbers{204, 205}));                      // MidSide
    EXPECT_EQ(tag(0x690002), (Numbers{206, 207}));                      // XY
    EXPECT_EQ(tag(0x6A0002), (Numbers{208, 209}));                      // Binaural
    EXPECT_EQ(tag(0x6B0004), (Numbers{200, 201, 202, 203}));            // Ambisonic_B_Format
    EXPECT_EQ(tag(0x6F0008), (Numbers{1, 2, 5, 6, 3, 9, 35, 36}));      // Octagonal
    EXPECT_EQ(tag(0x7F0008), (Numbers{3, 7, 8, 1, 2, 5, 6, 4}));        // MPEG_7_1_B
    EXPECT_EQ(tag(0x800008), (Numbers{1, 2, 3, 4, 5, 6, 33, 34}));      // MPEG_7_1_C
    EXPECT_EQ(tag(0x830003), (Numbers{1, 2, 9}));                       // ITU_2_1
    EXPECT_EQ(tag(0x8A0005), (Numbers{1, 2, 5, 6, 4}));                 // DVD_18
    EXPECT_EQ(tag(0x940007), (Numbers{1, 2, 5, 6, 3, 7, 8}));           // AudioUnit_7_0_Front
    EXPECT_EQ(tag(0xB80008), (Numbers{3, 1, 2, 5, 6, 4, 13, 15}));      // AAC_7_1_C
    EXPECT_EQ(tag(0x950002), (Numbers{3, 4}));                          // AC3_1_0_1
    EXPECT_EQ(tag(0x9C0007), (Numbers{1, 3, 2, 5, 6, 33, 34}));         // EAC_7_0_A
    EXPECT_EQ(tag(0xA70008), (Numbers{1, 3, 2, 5, 6, 4, 12, 14}));      // EAC3_7_1_H
    EXPECT_EQ(tag(0xB50009), (Numbers{7, 3, 8, 1, 2, 5, 9, 6, 4}));     // DTS_8_1_B
    EXPECT_EQ(tag(0xBC0007), (Numbers{1, 2, 3, 4, 9, 5, 6}));           // WAVE_6_1
    EXPECT_EQ(tag(0xC10010), (Numbers{1, 2, 3, 4, 5, 6, 33, 34, 35, 36, 13, 15, 49, 51, 52, 54})); // Atmos_9_1_6
    EXPECT_EQ(tag(0xCB000E), (Numbers{1, 2, 33, 34, 5, 6, 3, 4, 13, 15, 49, 51, 52, 54})); // Logic_Atmos_7_1_6
    EXPECT_EQ(tag(0xDB0008), (Numbers{1, 2, 33, 34, 5, 6, 3, 4}));      // MPEG_7_1_D
    EXPECT_EQ(tag(0x920015).size(), 21u);                               // TMH_10_2_full
    EXPECT_EQ(tag(0x920015).back(), 45u);
}

TEST(CoreAudioLayoutTags, DiscreteInOrderNumbersItsChannels) {
    EXPECT_EQ(tag(0x930003), (Numbers{0x10000, 0x10001, 0x10002}));
    EXPECT_EQ(tag(0x930001), Numbers{0x10000});
    EXPECT_EQ(tag(0x93FFFF).size(), 65535u);
    EXPECT_FALSE(CoreAudioLayouts::expandTag(0x930000).has_value());
    EXPECT_EQ(tag(0xBE0004), (Numbers{0x20000, 0x20001, 0x20002, 0x20003})); // HOA_ACN_SN3D
}

TEST(CoreAudioLayoutTags, TagsWithoutAFixedOrderAreAbsent) {
    for (std::uint32_t t : {0x0u, 0x10000u, 0xFFFF0000u, 0xFFFF0006u, 0x790005u, 0x790007u, 0x930000u, 0xDC0002u,
                            0x00000002u, 0xF0000002u})
        EXPECT_FALSE(CoreAudioLayouts::expandTag(t).has_value()) << std::hex << t;
}

TEST(CoreAudioLayoutTags, EveryExpansionHasTheTagsChannelCount) {
    int known = 0;
    for (std::uint32_t layout = 0; layout <= 0xFFFF; ++layout) {
        if (layout == 147) continue; // discrete, checked above and too large to sweep
        for (std::uint32_t channels = 0; channels <= 24; ++channels) {
            const std::uint32_t t = (layout << 16) | channels;
            const auto expansion = CoreAudioLayouts::expandTag(t);
            if (!expansion) continue;
            ++known;
            EXPECT_EQ(expansion->channelDescriptions.size(), channels) << std::hex << t;
            EXPECT_GT(channels, 0u) << std::hex << t;
        }
    }
    // 117 fixed orders plus the two ambisonic families' 24 counts each.
    EXPECT_EQ(known, 117 + 2 * 24);
}

TEST(CoreAudioLayoutBitmaps, BitsExpandInBitOrder) {
    EXPECT_EQ(bits(0x3F), (Numbers{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(bits(0x3FFFF), (Numbers{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_EQ(bits((1u << 21) | (1u << 23) | (1u << 24) | (1u << 25) | (1u << 26)), (Numbers{49, 51, 52, 53, 54}));
    EXPECT_EQ(bits((1u << 26) | 1u), (Numbers{1, 54}));
    const auto layout = CoreAudioLayouts::expandBitmap(0x3);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->layoutTag, AudioChannelLayout::kUseChannelDescriptions);
}

TEST(CoreAudioLayoutBitmaps, UndefinedBitsAndEmptyBitmapsAreAbsent) {
    EXPECT_FALSE(CoreAudioLayouts::expandBitmap(0).has_value());
    for (int bit : {18, 19, 20, 22, 27, 28, 29, 30, 31})
        EXPECT_FALSE(CoreAudioLayouts::expandBitmap(0x3u | (1u << bit)).has_value()) << bit;
}
