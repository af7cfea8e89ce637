#include "playback/SpeakerBed.h"

#include "inspect/ChannelMap.h"

#include <algorithm>
#include <bit>
#include <string_view>

namespace vaun {
namespace {

struct StandardBed {
    int channels;
    std::uint32_t tag;
    const char* name;
};

// Channel orders are ChannelMap's default labels for the same counts.
constexpr StandardBed kStandardBeds[] = {
    {3, 0x710003, "3.0"}, {4, 0x6C0004, "Quad"},   {6, 0x790006, "5.1"},
    {8, 0xBD0008, "7.1"}, {10, 0xC4000A, "7.1.2"}, {12, 0xC0000C, "7.1.4"},
};

struct Position {
    std::string_view label;
    double azimuth;
    double elevation;
};

constexpr Position kPositions[] = {
    {"L", 30, 0},     {"R", 330, 0},    {"C", 0, 0},      {"M", 0, 0},      {"Ls", 110, 0},   {"Rs", 250, 0},
    {"Lss", 90, 0},   {"Rss", 270, 0},  {"Lrs", 135, 0},  {"Rrs", 225, 0},  {"Cs", 180, 0},   {"Ltf", 45, 45},
    {"Rtf", 315, 45}, {"Ltr", 135, 45}, {"Rtr", 225, 45}, {"Ltm", 90, 45},  {"Rtm", 270, 45},
};

bool isProperTag(std::uint32_t tag) {
    return tag != AudioChannelLayout::kUnknown && (tag & 0xFFFF0000) != AudioChannelLayout::kDiscreteInOrder;
}

} // namespace

VaunError noSpeakerLayout(int channelCount) {
    const auto n = std::to_string(channelCount);
    return VaunError(4, "No speaker layout for " + n + " channels; connect an interface with " + n + " outputs to play it.");
}

int channelCountOf(const AudioChannelLayout& layout) {
    switch (layout.layoutTag) {
    case AudioChannelLayout::kUseChannelDescriptions: return int(layout.channelDescriptions.size());
    case AudioChannelLayout::kUseChannelBitmap: return std::popcount(layout.channelBitmap);
    default: return int(layout.layoutTag & 0xFFFF);
    }
}

std::optional<SpeakerBed> bedLayout(int channelCount, const std::optional<AudioChannelLayout>& fileLayout) {
    if (channelCount < 1) return std::nullopt;
    if (fileLayout && isProperTag(fileLayout->layoutTag) && channelCountOf(*fileLayout) == channelCount) {
        AudioFormat format;
        format.channelCount = std::uint32_t(channelCount);
        format.channelLayout = fileLayout;
        if (auto labels = ChannelMap::fileLabels(format); labels && speakerPlacement(*labels))
            return SpeakerBed{*fileLayout, std::to_string(channelCount) + "-channel layout from file", std::move(*labels)};
    }
    for (const auto& bed : kStandardBeds) {
        if (bed.channels != channelCount) continue;
        AudioChannelLayout layout;
        layout.layoutTag = bed.tag;
        return SpeakerBed{std::move(layout), bed.name, ChannelMap::defaultLabels(channelCount)};
    }
    return std::nullopt;
}

std::optional<std::vector<SpeakerPlacement>> speakerPlacement(const std::vector<std::string>& labels) {
    const bool hasSides = std::any_of(labels.begin(), labels.end(), [](const auto& l) { return l == "Lss" || l == "Rss"; });
    std::vector<SpeakerPlacement> placed;
    placed.reserve(labels.size());
    int directional = 0;
    for (const auto& label : labels) {
        if (label == "LFE" || label == "LFE2") {
            placed.push_back({0, 0, true});
            continue;
        }
        const auto* p = std::find_if(std::begin(kPositions), std::end(kPositions),
                                     [&](const Position& q) { return q.label == label; });
        if (p == std::end(kPositions) || ++directional > kMaxDirectionalSpeakers) return std::nullopt;
        // Next to side speakers the plain surrounds are the rear pair.
        if (hasSides && label == "Ls") placed.push_back({135, 0, false});
        else if (hasSides && label == "Rs") placed.push_back({225, 0, false});
        else placed.push_back({p->azimuth, p->elevation, false});
    }
    return placed;
}

} // namespace vaun
