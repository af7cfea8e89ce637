#include "inspect/ChannelMap.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace vaun;
using Labels = std::vector<std::string>;

namespace {

AudioFormat format(std::uint32_t channels, std::optional<AudioChannelLayout> layout = std::nullopt) {
    AudioFormat f;
    f.sampleRateHz = 48000;
    f.channelCount = channels;
    f.formatID = FormatID::LinearPCM;
    f.bitsPerChannel = 24;
    f.channelLayout = std::move(layout);
    return f;
}

AudioChannelLayout described(std::initializer_list<std::uint32_t> channelLabels) {
    AudioChannelLayout layout;
    layout.layoutTag = AudioChannelLayout::kUseChannelDescriptions;
    for (auto n : channelLabels) layout.channelDescriptions.push_back({n, 0, {}});
    return layout;
}

AudioChannelLayout tagged(std::uint32_t tag) {
    AudioChannelLayout layout;
    layout.layoutTag = tag;
    return layout;
}

AudioChannelLayout bitmap(std::uint32_t bits) {
    AudioChannelLayout layout;
    layout.layoutTag = AudioChannelLayout::kUseChannelBitmap;
    layout.channelBitmap = bits;
    return layout;
}

const Labels k51 = {"L", "R", "C", "LFE", "Ls", "Rs"};

} // namespace

// --- Channel descriptions ------------------------------------------------------------------

TEST(ChannelMapDescriptions, FiveOneResolvesWithWeightsAndName) {
    const auto map = ChannelMap::resolve(format(6, described({1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(map.labels, k51);
    EXPECT_EQ(map.weights, (std::vector<double>{1.0, 1.0, 1.0, 0.0, 1.41, 1.41}));
    EXPECT_EQ(ChannelMap::formatName(map.labels), "5.1");
    EXPECT_EQ(ChannelMap::fileLabels(format(6, described({1, 2, 3, 4, 5, 6}))), k51);
}

TEST(ChannelMapDescriptions, OneUnrecognisedChannelDiscardsTheLayout) {
    // Label 7 (left centre) is outside the vocabulary.
    const auto f = format(6, described({1, 2, 3, 4, 7, 6}));
    EXPECT_EQ(ChannelMap::fileLabels(f), std::nullopt);
    const auto map = ChannelMap::resolve(f);
    EXPECT_EQ(map.labels, ChannelMap::defaultLabels(6));
    EXPECT_EQ(map.weights, (std::vector<double>{1.0, 1.0, 1.0, 0.0, 1.41, 1.41}));
}

TEST(ChannelMapDescriptions, OrderIsTheFilesNotTheDefault) {
    EXPECT_EQ(ChannelMap::fileLabels(format(4, described({6, 5, 2, 1}))), (Labels{"Rs", "Ls", "R", "L"}));
    // Both numbers for the top-rear pair read the same.
    EXPECT_EQ(ChannelMap::fileLabels(format(4, described({16, 18, 52, 54}))), (Labels{"Ltr", "Rtr", "Ltr", "Rtr"}));
}

TEST(ChannelMapDescriptions, CountMustMatchTheFormat) {
    EXPECT_EQ(ChannelMap::fileLabels(format(5, described({1, 2, 3, 4, 5, 6}))), std::nullopt);
    EXPECT_EQ(ChannelMap::fileLabels(format(7, described({1, 2, 3, 4, 5, 6}))), std::nullopt);
    EXPECT_EQ(ChannelMap::fileLabels(format(0, described({}))), std::nullopt);
    EXPECT_EQ(ChannelMap::resolve(format(0, described({}))).labels, Labels{"1"});
}

TEST(ChannelMapDescriptions, AtMostSixtyFourChannelsAreDescribed) {
    AudioChannelLayout layout = described({});
    layout.channelDescriptions.assign(64, {1, 0, {}});
    const auto sixtyFour = ChannelMap::fileLabels(format(64, layout));
    ASSERT_TRUE(sixtyFour.has_value());
    EXPECT_EQ(sixtyFour->size(), 64u);

    layout.channelDescriptions.assign(65, {1, 0, {}});
    EXPECT_EQ(ChannelMap::fileLabels(format(65, layout)), std::nullopt);
    const auto map = ChannelMap::resolve(format(65, layout));
    EXPECT_EQ(map.labels.front(), "1");
    EXPECT_EQ(map.labels.back(), "65");
}

// --- Layout tags ---------------------------------------------------------------------------

TEST(ChannelMapTags, MonoAndStereoTagsNeedTheirChannelCount) {
    EXPECT_EQ(ChannelMap::fileLabels(format(1, tagged(AudioChannelLayout::kMono))), Labels{"M"});
    EXPECT_EQ(ChannelMap::fileLabels(format(2, tagged(AudioChannelLayout::kStereo))), (Labels{"L", "R"}));
    EXPECT_EQ(ChannelMap::fileLabels(format(2, tagged(AudioChannelLayout::kStereoHeadphones))), (Labels{"L", "R"}));

    // A 2-channel file tagged mono falls back to the stereo default.
    const auto monoTagged = format(2, tagged(AudioChannelLayout::kMono));
    EXPECT_EQ(ChannelMap::fileLabels(monoTagged), std::nullopt);
    EXPECT_EQ(ChannelMap::resolve(monoTagged).labels, (Labels{"L", "R"}));

    EXPECT_EQ(ChannelMap::fileLabels(format(1, tagged(AudioChannelLayout::kStereo))), std::nullopt);
    EXPECT_EQ(ChannelMap::resolve(format(1, tagged(AudioChannelLayout::kStereo))).labels, Labels{"M"});
}

TEST(ChannelMapTags, BedTagsExpandInCoreAudioOrder) {
    EXPECT_EQ(ChannelMap::fileLabels(format(3, tagged(0x710003))), (Labels{"L", "R", "C"}));
    EXPECT_EQ(ChannelMap::fileLabels(format(4, tagged(0x6C0004))), (Labels{"L", "R", "Ls", "Rs"}));
    EXPECT_EQ(ChannelMap::fileLabels(format(6, tagged(0x790006))), k51);
    EXPECT_EQ(ChannelMap::fileLabels(format(8, tagged(0xBD0008))),
              (Labels{"L", "R", "C", "LFE", "Lrs", "Rrs", "Ls", "Rs"}));
    EXPECT_EQ(ChannelMap::fileLabels(format(10, tagged(0xC4000A))),
              (Labels{"L", "R", "C", "LFE", "Ls", "Rs", "Lrs", "Rrs", "Ltm", "Rtm"}));
    EXPECT_EQ(ChannelMap::fileLabels(format(12, tagged(0xC0000C))),
              (Labels{"L", "R", "C", "LFE", "Ls", "Rs", "Lrs", "Rrs", "Ltf", "Rtf", "Ltr", "Rtr"}));
}

TEST(ChannelMapTags, ExpandedBedsNameTheirFormat) {
    for (auto [tag, name] : {std::pair{0x710003u, "3.0"}, {0x6C0004u, "4.0"}, {0x790006u, "5.1"},
                             {0xBD0008u, "7.1"}, {0xC4000Au, "7.1.2"}, {0xC0000Cu, "7.1.4"}}) {
        const auto labels = ChannelMap::fileLabels(format(tag & 0xFFFF, tagged(tag)));
        ASSERT_TRUE(labels.has_value()) << std::hex << tag;
        EXPECT_EQ(ChannelMap::formatName(*labels), name) << std::hex << tag;
    }
}

TEST(ChannelMapTags, WeightsFollowTheExpandedLabels) {
    const auto map = ChannelMap::resolve(format(8, tagged(0xBD0008)));
    EXPECT_EQ(map.weights, (std::vector<double>{1.0, 1.0, 1.0, 0.0, 1.41, 1.41, 1.41, 1.41}));
}

TEST(ChannelMapTags, CountDisagreeingWithTheFormatFallsBack) {
    const auto f = format(8, tagged(0x790006)); // a 5.1 tag on an 8-channel file
    EXPECT_EQ(ChannelMap::fileLabels(f), std::nullopt);
    EXPECT_EQ(ChannelMap::resolve(f).labels, ChannelMap::defaultLabels(8));
}

TEST(ChannelMapTags, DiscreteAndUnknownTagsGiveNoLabels) {
    const auto discrete = format(6, tagged(AudioChannelLayout::kDiscreteInOrder | 6));
    EXPECT_EQ(ChannelMap::fileLabels(discrete), std::nullopt);
    EXPECT_EQ(ChannelMap::resolve(discrete).labels, k51);

    EXPECT_EQ(ChannelMap::fileLabels(format(6, tagged(AudioChannelLayout::kUnknown | 6))), std::nullopt);
    EXPECT_EQ(ChannelMap::fileLabels(format(6, tagged(AudioChannelLayout::kUnknown))), std::nullopt);
    EXPECT_EQ(ChannelMap::fileLabels(format(2, tagged(0x12340002))), std::nullopt);
    // The largest discrete tag is turned down without expanding 65,535 channels.
    EXPECT_EQ(ChannelMap::fileLabels(format(65535, tagged(0x93FFFF))), std::nullopt);
}

TEST(ChannelMapTags, ATagWithAnUnnamedSpeakerFallsBack) {
    // MPEG_7_1_A carries Lc and Rc, which have no label.
    const auto f = format(8, tagged(0x7E0008));
    EXPECT_EQ(ChannelMap::fileLabels(f), std::nullopt);
    EXPECT_EQ(ChannelMap::resolve(f).labels, ChannelMap::defaultLabels(8));
}

// --- Speaker bitmaps -----------------------------------------------------------------------

TEST(ChannelMapBitmaps, FirstSixBitsAreFiveOne) {
    EXPECT_EQ(ChannelMap::fileLabels(format(6, bitmap(0x3F))), k51);
    EXPECT_EQ(ChannelMap::resolve(format(6, bitmap(0x3F))).labels, k51);
}

TEST(ChannelMapBitmaps, HeightBitsGiveHeightLabels) {
    // L R C LFE, side pair (bits 9, 10), front-height pair (12, 14), top-rear pair (24, 26).
    const std::uint32_t bits = 0xF | (1u << 9) | (1u << 10) | (1u << 12) | (1u << 14) | (1u << 24) | (1u << 26);
    const auto labels = ChannelMap::fileLabels(format(10, bitmap(bits)));
    EXPECT_EQ(labels, (Labels{"L", "R", "C", "LFE", "Lss", "Rss", "Ltf", "Rtf", "Ltr", "Rtr"}));
    EXPECT_EQ(ChannelMap::formatName(*labels), "5.1.4");
}

TEST(ChannelMapBitmaps, RejectedBitmapsFallBack) {
    EXPECT_EQ(ChannelMap::fileLabels(format(5, bitmap(0x3F))), std::nullopt); // 6 bits, 5 channels
    EXPECT_EQ(ChannelMap::fileLabels(format(3, bitmap(0x3 | (1u << 18)))), std::nullopt); // unmapped bit
    EXPECT_EQ(ChannelMap::fileLabels(format(3, bitmap(0x43))), std::nullopt); // left centre: no label
    EXPECT_EQ(ChannelMap::fileLabels(format(1, bitmap(0))), std::nullopt);
    EXPECT_EQ(ChannelMap::resolve(format(3, bitmap(0x3 | (1u << 18)))).labels, (Labels{"L", "R", "C"}));
}

// --- No layout, defaults -------------------------------------------------------------------

TEST(ChannelMapDefaults, WithoutLayoutChannelsAreNumbered) {
    const auto f = format(5);
    EXPECT_EQ(ChannelMap::fileLabels(f), std::nullopt);
    const auto map = ChannelMap::resolve(f);
    EXPECT_EQ(map.labels, (Labels{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(map.weights, std::vector<double>(5, 1.0));
    EXPECT_EQ(ChannelMap::formatName(map.labels), std::nullopt);
}

TEST(ChannelMapDefaults, ListsByChannelCount) {
    EXPECT_EQ(ChannelMap::defaultLabels(1), Labels{"M"});
    EXPECT_EQ(ChannelMap::defaultLabels(2), (Labels{"L", "R"}));
    EXPECT_EQ(ChannelMap::defaultLabels(3), (Labels{"L", "R", "C"}));
    EXPECT_EQ(ChannelMap::defaultLabels(4), (Labels{"L", "R", "Ls", "Rs"}));
    EXPECT_EQ(ChannelMap::defaultLabels(6), k51);
    EXPECT_EQ(ChannelMap::defaultLabels(8), (Labels{"L", "R", "C", "LFE", "Lrs", "Rrs", "Lss", "Rss"}));
    EXPECT_EQ(ChannelMap::defaultLabels(10), (Labels{"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltm", "Rtm"}));
    EXPECT_EQ(ChannelMap::defaultLabels(12),
              (Labels{"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltf", "Rtf", "Ltr", "Rtr"}));
    EXPECT_EQ(ChannelMap::defaultLabels(7), (Labels{"1", "2", "3", "4", "5", "6", "7"}));
    EXPECT_EQ(ChannelMap::defaultLabels(0), Labels{"1"});
    EXPECT_EQ(ChannelMap::defaultLabels(-3), Labels{"1"});
}

TEST(ChannelMapDefaults, DefaultListsNameTheirFormat) {
    const std::pair<int, const char*> expected[] = {{1, "Mono"}, {2, "Stereo"}, {3, "3.0"}, {4, "4.0"},
                                                    {6, "5.1"},  {8, "7.1"},    {10, "7.1.2"}, {12, "7.1.4"}};
    for (auto [count, name] : expected) EXPECT_EQ(ChannelMap::formatName(ChannelMap::defaultLabels(count)), name) << count;
    EXPECT_EQ(ChannelMap::formatName(ChannelMap::defaultLabels(0)), std::nullopt);
}

// --- Names, weights, vocabulary ------------------------------------------------------------

TEST(ChannelMapFormatName, NumberedOrUnknownLabelsAreNoLayout) {
    EXPECT_EQ(ChannelMap::formatName({}), std::nullopt);
    EXPECT_EQ(ChannelMap::formatName({"L", "+1"}), std::nullopt);
    EXPECT_EQ(ChannelMap::formatName({"L", "-3"}), std::nullopt);
    EXPECT_EQ(ChannelMap::formatName({"L", "?"}), std::nullopt);
    EXPECT_EQ(ChannelMap::formatName({"007"}), std::nullopt);
    // Not integers: a bare sign, digits with a suffix.
    EXPECT_EQ(ChannelMap::formatName({"+", "L"}), "2.0");
    EXPECT_EQ(ChannelMap::formatName({"1a"}), "1.0");
}

TEST(ChannelMapFormatName, CountsMainLfeAndHeight) {
    EXPECT_EQ(ChannelMap::formatName({"M"}), "Mono");
    EXPECT_EQ(ChannelMap::formatName({"L", "R"}), "Stereo");
    EXPECT_EQ(ChannelMap::formatName({"R", "L"}), "2.0");
    EXPECT_EQ(ChannelMap::formatName({"L", "R", "C"}), "3.0");
    EXPECT_EQ(ChannelMap::formatName({"", "L"}), "2.0"); // an empty label passes as a main channel
    EXPECT_EQ(ChannelMap::formatName({"M", "M"}), "2.0");
    EXPECT_EQ(ChannelMap::formatName({"LFE", "LFE2"}), "0.2");
    EXPECT_EQ(ChannelMap::formatName({"L", "R", "LFEx"}), "2.1"); // anything beginning with LFE
    EXPECT_EQ(ChannelMap::formatName({"L", "R", "Ltm", "Rtm", "Ltf", "Rtf", "Ltr", "Rtr"}), "2.0.6");
    EXPECT_EQ(ChannelMap::formatName({"Ltf"}), "0.0.1");
}

TEST(ChannelMapWeight, Bs1770Weights) {
    for (const char* l : {"Ls", "Rs", "Lss", "Rss", "Lrs", "Rrs", "Cs"}) EXPECT_DOUBLE_EQ(ChannelMap::weight(l), 1.41) << l;
    EXPECT_DOUBLE_EQ(ChannelMap::weight("LFE"), 0.0);
    EXPECT_DOUBLE_EQ(ChannelMap::weight("LFE2"), 0.0);
    for (const char* l : {"L", "R", "C", "M", "Ltf", "Rtr", "Ltm", "?", "7", "", "LFE3", "ls"})
        EXPECT_DOUBLE_EQ(ChannelMap::weight(l), 1.0) << l;
}

TEST(ChannelMapVocabulary, ChannelLabelNumbers) {
    const std::pair<std::uint32_t, const char*> named[] = {
        {1, "L"},    {2, "R"},    {3, "C"},    {4, "LFE"},  {5, "Ls"},   {6, "Rs"},  {9, "Cs"},
        {10, "Lss"}, {11, "Rss"}, {13, "Ltf"}, {15, "Rtf"}, {16, "Ltr"}, {18, "Rtr"}, {33, "Lrs"},
        {34, "Rrs"}, {37, "LFE2"}, {42, "M"},  {49, "Ltm"}, {51, "Rtm"}, {52, "Ltr"}, {54, "Rtr"}};
    for (auto [n, l] : named) EXPECT_EQ(ChannelMap::label(n), l) << n;
    for (std::uint32_t n : {0u, 7u, 8u, 12u, 14u, 17u, 35u, 53u, 100u, 0x10000u, 0xFFFFFFFFu})
        EXPECT_EQ(ChannelMap::label(n), "?") << n;
}

TEST(ChannelMapValue, MemberwiseConstructionAndEquality) {
    const ChannelMap a{{"L", "R"}, {1.0, 1.0}};
    EXPECT_EQ(a, ChannelMap::resolve(format(2)));
    EXPECT_NE(a, (ChannelMap{{"L", "R"}, {1.0, 1.41}}));
}
