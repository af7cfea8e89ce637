#include "inspect/CoreAudioLayouts.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace vaun::CoreAudioLayouts {
namespace {

// Channel label numbers (kAudioChannelLabel_*) under the abbreviations the layout-tag
// comments use, so each tag's order below reads exactly like its published comment.
struct Abbreviation {
    std::string_view name;
    std::uint32_t label;
};

constexpr Abbreviation kAbbreviations[] = {
    {"L", 1},      {"R", 2},       {"C", 3},      {"LFE", 4},    {"Ls", 5},     {"Rs", 6},
    {"Lc", 7},     {"Rc", 8},      {"Cs", 9},     {"Lsd", 10},   {"Rsd", 11},   {"Ts", 12},
    {"Vhl", 13},   {"Vhc", 14},    {"Vhr", 15},   {"Tbl", 16},   {"Tbc", 17},   {"Tbr", 18},
    {"Rls", 33},   {"Rrs", 34},    {"Lw", 35},    {"Rw", 36},    {"LFE2", 37},  {"Lt", 38},
    {"Rt", 39},    {"HI", 40},     {"VI", 41},    {"M", 42},     {"Csd", 44},   {"Haptic", 45},
    {"Ltm", 49},   {"Rtm", 51},    {"Ltr", 52},   {"Ctr", 53},   {"Rtr", 54},   {"Lss", 55},
    {"Rss", 56},   {"Lb", 57},     {"Rb", 58},    {"Cb", 59},    {"Lts", 60},   {"Rts", 61},
    {"LFE3", 62},  {"Lbs", 63},    {"Rbs", 64},   {"Leos", 65},  {"Reos", 66},  {"W", 200},
    {"X", 201},    {"Y", 202},     {"Z", 203},    {"Mid", 204},  {"Side", 205}, {"XYx", 206},
    {"XYy", 207},  {"BinL", 208},  {"BinR", 209},
};

// One entry per tag value (aliases share a value), ascending. The low 16 bits of a tag
// are its channel count; the table is checked against that at compile time.
struct TagOrder {
    std::uint32_t tag;
    std::string_view order;
};

constexpr std::uint32_t tag(std::uint32_t layout, std::uint32_t channels) { return (layout << 16) | channels; }

constexpr TagOrder kTagOrders[] = {
    // General and symmetrical layouts
    {tag(100, 1), "M"},                        // Mono (MPEG_1_0, ITU_1_0, DVD_0)
    {tag(101, 2), "L R"},                      // Stereo (MPEG_2_0, ITU_2_0, DVD_1)
    {tag(102, 2), "L R"},                      // StereoHeadphones
    {tag(103, 2), "Lt Rt"},                    // MatrixStereo
    {tag(104, 2), "Mid Side"},                 // MidSide
    {tag(105, 2), "XYx XYy"},                  // XY
    {tag(106, 2), "BinL BinR"},                // Binaural
    {tag(107, 4), "W X Y Z"},                  // Ambisonic_B_Format
    {tag(108, 4), "L R Ls Rs"},                // Quadraphonic (AudioUnit_4, AAC_Quadraphonic)
    {tag(109, 5), "L R Ls Rs C"},              // Pentagonal (AudioUnit_5)
    {tag(110, 6), "L R Ls Rs C Cs"},           // Hexagonal (AudioUnit_6)
    {tag(111, 8), "L R Ls Rs C Cs Lw Rw"},     // Octagonal (AudioUnit_8)
    {tag(112, 8), "L R Ls Rs Vhl Vhr Tbl Tbr"}, // Cube: the lower square, then the upper one
    // MPEG
    {tag(113, 3), "L R C"},                    // MPEG_3_0_A (ITU_3_0, DVD_7, WAVE_3_0)
    {tag(114, 3), "C L R"},                    // MPEG_3_0_B (AAC_3_0)
    {tag(115, 4), "L R C Cs"},                 // MPEG_4_0_A (ITU_3_1, DVD_8, DVD_13)
    {tag(116, 4), "C L R Cs"},                 // MPEG_4_0_B (AAC_4_0)
    {tag(117, 5), "L R C Ls Rs"},              // MPEG_5_0_A (ITU_3_2, DVD_9, DVD_14, WAVE_5_0_A)
    {tag(118, 5), "L R Ls Rs C"},              // MPEG_5_0_B (DVD_19, AudioUnit_5_0)
    {tag(119, 5), "L C R Ls Rs"},              // MPEG_5_0_C
    {tag(120, 5), "C L R Ls Rs"},              // MPEG_5_0_D (AAC_5_0)
    {tag(121, 6), "L R C LFE Ls Rs"},          // MPEG_5_1_A (ITU_3_2_1, DVD_12, DVD_17, WAVE_5_1_A)
    {tag(122, 6), "L R Ls Rs C LFE"},          // MPEG_5_1_B (DVD_20)
    {tag(123, 6), "L C R Ls Rs LFE"},          // MPEG_5_1_C
    {tag(124, 6), "C L R Ls Rs LFE"},          // MPEG_5_1_D (AAC_5_1)
    {tag(125, 7), "L R C LFE Ls Rs Cs"},       // MPEG_6_1_A (AudioUnit_6_1)
    {tag(126, 8), "L R C LFE Ls Rs Lc Rc"},    // MPEG_7_1_A (AudioUnit_7_1_Front)
    {tag(127, 8), "C Lc Rc L R Ls Rs LFE"},    // MPEG_7_1_B (AAC_7_1)
    {tag(128, 8), "L R C LFE Ls Rs Rls Rrs"},  // MPEG_7_1_C (ITU_3_4_1, AudioUnit_7_1)
    {tag(129, 8), "L R Ls Rs C LFE Lc Rc"},    // Emagic_Default_7_1
    {tag(130, 8), "L R C LFE Ls Rs Lt Rt"},    // SMPTE_DTV
    // ITU and DVD
    {tag(131, 3), "L R Cs"},                   // ITU_2_1 (DVD_2)
    {tag(132, 4), "L R Ls Rs"},                // ITU_2_2 (DVD_3, WAVE_4_0_A)
    {tag(133, 3), "L R LFE"},                  // DVD_4 (WAVE_2_1)
    {tag(134, 4), "L R LFE Cs"},               // DVD_5
    {tag(135, 5), "L R LFE Ls Rs"},            // DVD_6
    {tag(136, 4), "L R C LFE"},                // DVD_10 (DVD_15)
    {tag(137, 5), "L R C LFE Cs"},             // DVD_11 (DVD_16)
    {tag(138, 5), "L R Ls Rs LFE"},            // DVD_18
    // AudioUnit and AAC
    {tag(139, 6), "L R Ls Rs C Cs"},           // AudioUnit_6_0
    {tag(140, 7), "L R Ls Rs C Rls Rrs"},      // AudioUnit_7_0
    {tag(141, 6), "C L R Ls Rs Cs"},           // AAC_6_0
    {tag(142, 7), "C L R Ls Rs Cs LFE"},       // AAC_6_1
    {tag(143, 7), "C L R Ls Rs Rls Rrs"},      // AAC_7_0
    {tag(144, 8), "C L R Ls Rs Rls Rrs Cs"},   // AAC_Octagonal
    {tag(145, 16), "L R C Vhc Lsd Rsd Ls Rs Vhl Vhr Lw Rw Csd Cs LFE LFE2"}, // TMH_10_2_std
    {tag(146, 21), "L R C Vhc Lsd Rsd Ls Rs Vhl Vhr Lw Rw Csd Cs LFE LFE2 Lc Rc HI VI Haptic"}, // TMH_10_2_full
    {tag(148, 7), "L R Ls Rs C Lc Rc"},        // AudioUnit_7_0_Front
    // AC-3, E-AC-3
    {tag(149, 2), "C LFE"},                    // AC3_1_0_1
    {tag(150, 3), "L C R"},                    // AC3_3_0 (Ogg_3_0)
    {tag(151, 4), "L C R Cs"},                 // AC3_3_1
    {tag(152, 4), "L C R LFE"},                // AC3_3_0_1
    {tag(153, 4), "L R Cs LFE"},               // AC3_2_1_1
    {tag(154, 5), "L C R Cs LFE"},             // AC3_3_1_1
    {tag(155, 6), "L C R Ls Rs Cs"},           // EAC_6_0_A
    {tag(156, 7), "L C R Ls Rs Rls Rrs"},      // EAC_7_0_A
    {tag(157, 7), "L C R Ls Rs LFE Cs"},       // EAC3_6_1_A
    {tag(158, 7), "L C R Ls Rs LFE Ts"},       // EAC3_6_1_B
    {tag(159, 7), "L C R Ls Rs LFE Vhc"},      // EAC3_6_1_C
    {tag(160, 8), "L C R Ls Rs LFE Rls Rrs"},  // EAC3_7_1_A
    {tag(161, 8), "L C R Ls Rs LFE Lc Rc"},    // EAC3_7_1_B
    {tag(162, 8), "L C R Ls Rs LFE Lsd Rsd"},  // EAC3_7_1_C
    {tag(163, 8), "L C R Ls Rs LFE Lw Rw"},    // EAC3_7_1_D
    {tag(164, 8), "L C R Ls Rs LFE Vhl Vhr"},  // EAC3_7_1_E
    {tag(165, 8), "L C R Ls Rs LFE Cs Ts"},    // EAC3_7_1_F
    {tag(166, 8), "L C R Ls Rs LFE Cs Vhc"},   // EAC3_7_1_G
    {tag(167, 8), "L C R Ls Rs LFE Ts Vhc"},   // EAC3_7_1_H
    // DTS
    {tag(168, 4), "C L R LFE"},                // DTS_3_1
    {tag(169, 5), "C L R Cs LFE"},             // DTS_4_1
    {tag(170, 6), "Lc Rc L R Ls Rs"},          // DTS_6_0_A
    {tag(171, 6), "C L R Rls Rrs Ts"},         // DTS_6_0_B
    {tag(172, 6), "C Cs L R Rls Rrs"},         // DTS_6_0_C
    {tag(173, 7), "Lc Rc L R Ls Rs LFE"},      // DTS_6_1_A
    {tag(174, 7), "C L R Rls Rrs Ts LFE"},     // DTS_6_1_B
    {tag(175, 7), "C Cs L R Rls Rrs LFE"},     // DTS_6_1_C
    {tag(176, 7), "Lc C Rc L R Ls Rs"},        // DTS_7_0
    {tag(177, 8), "Lc C Rc L R Ls Rs LFE"},    // DTS_7_1
    {tag(178, 8), "Lc Rc L R Ls Rs Rls Rrs"},  // DTS_8_0_A
    {tag(179, 8), "Lc C Rc L R Ls Cs Rs"},     // DTS_8_0_B
    {tag(180, 9), "Lc Rc L R Ls Rs Rls Rrs LFE"}, // DTS_8_1_A
    {tag(181, 9), "Lc C Rc L R Ls Cs Rs LFE"}, // DTS_8_1_B
    {tag(182, 7), "C L R Ls Rs LFE Cs"},       // DTS_6_1_D
    {tag(183, 8), "C L R Ls Rs Rls Rrs LFE"},  // AAC_7_1_B
    {tag(184, 8), "C L R Ls Rs LFE Vhl Vhr"},  // AAC_7_1_C
    // WAVE (WAVEFORMATEXTENSIBLE orders)
    {tag(185, 4), "L R Rls Rrs"},              // WAVE_4_0_B (Ogg_4_0)
    {tag(186, 5), "L R C Rls Rrs"},            // WAVE_5_0_B
    {tag(187, 6), "L R C LFE Rls Rrs"},        // WAVE_5_1_B
    {tag(188, 7), "L R C LFE Cs Ls Rs"},       // WAVE_6_1
    {tag(189, 8), "L R C LFE Rls Rrs Ls Rs"},  // WAVE_7_1
    // Atmos
    {tag(192, 12), "L R C LFE Ls Rs Rls Rrs Vhl Vhr Ltr Rtr"},                 // Atmos_7_1_4
    {tag(193, 16), "L R C LFE Ls Rs Rls Rrs Lw Rw Vhl Vhr Ltm Rtm Ltr Rtr"},   // Atmos_9_1_6
    {tag(194, 8), "L R C LFE Ls Rs Ltm Rtm"},                                  // Atmos_5_1_2
    {tag(195, 10), "L R C LFE Ls Rs Vhl Vhr Ltr Rtr"},                         // Atmos_5_1_4
    {tag(196, 10), "L R C LFE Ls Rs Rls Rrs Ltm Rtm"},                         // Atmos_7_1_2
    // Logic
    {tag(197, 4), "L R Cs C"},                                                 // Logic_4_0_C
    {tag(198, 6), "L R Ls Rs Cs C"},                                           // Logic_6_0_B
    {tag(199, 7), "L R Ls Rs Cs C LFE"},                                       // Logic_6_1_B
    {tag(200, 7), "L C R Ls Cs Rs LFE"},                                       // Logic_6_1_D
    {tag(201, 8), "L R Ls Rs Rls Rrs C LFE"},                                  // Logic_7_1_B
    {tag(202, 12), "L R Rls Rrs Ls Rs C LFE Vhl Vhr Ltr Rtr"},                 // Logic_Atmos_7_1_4_B
    {tag(203, 14), "L R Rls Rrs Ls Rs C LFE Vhl Vhr Ltm Rtm Ltr Rtr"},         // Logic_Atmos_7_1_6
    // CICP (ISO/IEC 23091-3)
    {tag(204, 24), "Lc Rc C LFE2 Rls Rrs L R Cs LFE3 Lss Rss Vhl Vhr Vhc Ts Ltr Rtr Ltm Rtm Ctr Cb Lb Rb"}, // CICP_13
    {tag(205, 8), "L R C LFE Ls Rs Vhl Vhr"},                                  // CICP_14
    {tag(206, 12), "L R C LFE2 Rls Rrs LFE3 Lss Rss Vhl Vhr Ctr"},             // CICP_15
    {tag(207, 10), "L R C LFE Ls Rs Vhl Vhr Lts Rts"},                         // CICP_16
    {tag(208, 12), "L R C LFE Ls Rs Vhl Vhr Vhc Lts Rts Ts"},                  // CICP_17
    {tag(209, 14), "L R C LFE Ls Rs Lbs Rbs Vhl Vhr Vhc Lts Rts Ts"},          // CICP_18
    {tag(210, 12), "L R C LFE Rls Rrs Lss Rss Vhl Vhr Ltr Rtr"},               // CICP_19
    {tag(211, 14), "L R C LFE Rls Rrs Lss Rss Vhl Vhr Ltr Rtr Leos Reos"},     // CICP_20
    // Ogg Vorbis orders
    {tag(212, 5), "L C R Rls Rrs"},                                            // Ogg_5_0
    {tag(213, 6), "L C R Rls Rrs LFE"},                                        // Ogg_5_1
    {tag(214, 7), "L C R Ls Rs Cs LFE"},                                       // Ogg_6_1
    {tag(215, 8), "L C R Ls Rs Rls Rrs LFE"},                                  // Ogg_7_1
    // Later MPEG orders
    {tag(216, 5), "L R Rls Rrs C"},                                            // MPEG_5_0_E
    {tag(217, 6), "L R Rls Rrs C LFE"},                                        // MPEG_5_1_E
    {tag(218, 7), "L R Ls Rs C Cs LFE"},                                       // MPEG_6_1_B
    {tag(219, 8), "L R Rls Rrs Ls Rs C LFE"},                                  // MPEG_7_1_D
};

// Families whose tag is ORed with any channel count.
constexpr std::uint32_t kDiscreteInOrder = 147;
constexpr std::uint32_t kHOA_ACN_SN3D = 190;
constexpr std::uint32_t kHOA_ACN_N3D = 191;
constexpr std::uint32_t kDiscreteLabelBase = 1u << 16; // kAudioChannelLabel_Discrete_0
constexpr std::uint32_t kHOALabelBase = 2u << 16;      // kAudioChannelLabel_HOA_ACN_0

constexpr std::optional<std::uint32_t> labelFor(std::string_view name) {
    for (const auto& a : kAbbreviations)
        if (a.name == name) return a.label;
    return std::nullopt;
}

// Calls visit(label) for each abbreviation of a space-separated order; false when one is unknown.
template <typename Visit>
constexpr bool forEachLabel(std::string_view order, Visit&& visit) {
    while (!order.empty()) {
        const auto space = order.find(' ');
        const auto name = order.substr(0, space);
        const auto label = labelFor(name);
        if (!label) return false;
        visit(*label);
        order = space == std::string_view::npos ? std::string_view{} : order.substr(space + 1);
    }
    return true;
}

constexpr bool tableIsConsistent() {
    std::uint32_t previous = 0;
    for (const auto& entry : kTagOrders) {
        if (entry.tag <= previous) return false; // ascending, one entry per value
        previous = entry.tag;
        std::uint32_t channels = 0;
        if (!forEachLabel(entry.order, [&](std::uint32_t) { ++channels; })) return false;
        if (channels == 0 || channels != (entry.tag & 0xFFFF)) return false;
        const auto family = entry.tag >> 16;
        if (family == kDiscreteInOrder || family == kHOA_ACN_SN3D || family == kHOA_ACN_N3D) return false;
    }
    return true;
}
static_assert(tableIsConsistent(), "layout-tag table: unknown abbreviation, wrong count or order");

AudioChannelLayout withLabels(const std::vector<std::uint32_t>& labels) {
    AudioChannelLayout layout;
    layout.layoutTag = AudioChannelLayout::kUseChannelDescriptions;
    layout.channelDescriptions.reserve(labels.size());
    for (auto label : labels) {
        AudioChannelDescription d;
        d.channelLabel = label;
        layout.channelDescriptions.push_back(d);
    }
    return layout;
}

AudioChannelLayout numbered(std::uint32_t firstLabel, std::uint32_t channels) {
    std::vector<std::uint32_t> labels(channels);
    for (std::uint32_t i = 0; i < channels; ++i) labels[i] = firstLabel + i;
    return withLabels(labels);
}

// Bitmap bits in bit order and the labels they stand for (kAudioChannelBit_*).
struct BitLabel {
    int bit;
    std::uint32_t label;
};
constexpr BitLabel kBitLabels[] = {
    {0, 1},   {1, 2},   {2, 3},   {3, 4},   {4, 5},   {5, 6},   {6, 7},   {7, 8},   {8, 9},
    {9, 10},  {10, 11}, {11, 12}, {12, 13}, {13, 14}, {14, 15}, {15, 16}, {16, 17}, {17, 18},
    {21, 49}, {23, 51}, {24, 52}, {25, 53}, {26, 54},
};

} // namespace

std::optional<AudioChannelLayout> expandTag(std::uint32_t layoutTag) {
    const std::uint32_t family = layoutTag >> 16;
    const std::uint32_t channels = layoutTag & 0xFFFF;
    if (family == kDiscreteInOrder || family == kHOA_ACN_SN3D || family == kHOA_ACN_N3D) {
        if (channels == 0) return std::nullopt;
        return numbered(family == kDiscreteInOrder ? kDiscreteLabelBase : kHOALabelBase, channels);
    }
    const auto it = std::lower_bound(std::begin(kTagOrders), std::end(kTagOrders), layoutTag,
                                     [](const TagOrder& e, std::uint32_t t) { return e.tag < t; });
    if (it == std::end(kTagOrders) || it->tag != layoutTag) return std::nullopt;
    std::vector<std::uint32_t> labels;
    labels.reserve(channels);
    forEachLabel(it->order, [&](std::uint32_t label) { labels.push_back(label); });
    return withLabels(labels);
}

std::optional<AudioChannelLayout> expandBitmap(std::uint32_t channelBitmap) {
    if (channelBitmap == 0) return std::nullopt;
    std::vector<std::uint32_t> labels;
    std::uint32_t covered = 0;
    for (const auto& b : kBitLabels) {
        const std::uint32_t mask = 1u << b.bit;
        covered |= mask;
        if (channelBitmap & mask) labels.push_back(b.label);
    }
    if (channelBitmap & ~covered) return std::nullopt; // a bit Core Audio gives no speaker
    return withLabels(labels);
}

} // namespace vaun::CoreAudioLayouts
