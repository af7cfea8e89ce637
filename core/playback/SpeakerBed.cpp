#include "playback/SpeakerBed.h"

#include "inspect/ChannelMap.h"
#include "inspect/CoreAudioLayouts.h"

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

// Every loudspeaker a Core Audio channel label (or a WAVE speaker bit) can name. Labels the
// metadata record knows keep its spelling, so a speaker it labels keeps its place; the
// others are the player's own. Where two labels name one speaker they share a spelling.
// Comments give the BS.2051 loudspeaker; its upper layer may sit at 30° to 45°, and 45° it is.
struct Speaker {
    std::uint32_t channelLabel;
    std::string_view label;
    double azimuth;
    double elevation;
    bool lowFrequency = false;
};

constexpr Speaker kSpeakers[] = {
    {1, "L", 30, 0},      {2, "R", 330, 0},      // M±030
    {3, "C", 0, 0},       {42, "M", 0, 0},       // M+000
    {5, "Ls", 110, 0},    {6, "Rs", 250, 0},     // M±110 (BS.775 surrounds)
    {7, "Lc", 15, 0},     {8, "Rc", 345, 0},     // M±SC, between L and C
    {65, "Leos", 15, 0},  {66, "Reos", 345, 0},  // M±SC, the screen's edges
    {35, "Lw", 60, 0},    {36, "Rw", 300, 0},    // M±060
    {10, "Lss", 90, 0},   {11, "Rss", 270, 0},   // M±090
    {55, "Lss", 90, 0},   {56, "Rss", 270, 0},
    {33, "Lrs", 135, 0},  {34, "Rrs", 225, 0},   // M±135
    {63, "Lbs", 135, 0},  {64, "Rbs", 225, 0},
    {9, "Cs", 180, 0},    {44, "Csd", 180, 0},   // M+180
    {13, "Ltf", 45, 45},  {15, "Rtf", 315, 45},  // U±045
    {14, "Ctf", 0, 45},                          // U+000
    {49, "Ltm", 90, 45},  {51, "Rtm", 270, 45},  // U±090
    {60, "Lts", 110, 45}, {61, "Rts", 250, 45},  // U±110
    {16, "Ltr", 135, 45}, {18, "Rtr", 225, 45},  // U±135
    {52, "Ltr", 135, 45}, {54, "Rtr", 225, 45},
    {17, "Ctr", 180, 45}, {53, "Ctr", 180, 45},  // U+180
    {12, "Ts", 0, 90},                           // T+000
    {57, "Lb", 45, -30},  {58, "Rb", 315, -30},  // B±045
    {59, "Cb", 0, -30},                          // B+000
    {4, "LFE", 0, 0, true}, {37, "LFE2", 0, 0, true}, {62, "LFE3", 0, 0, true},
};

bool isProperTag(std::uint32_t tag) {
    return tag != AudioChannelLayout::kUnknown && (tag & 0xFFFF0000) != AudioChannelLayout::kDiscreteInOrder;
}

// The speaker label of every channel of a file layout for `count` channels; absent when the
// layout does not expand to that many channels or one of them names no loudspeaker.
std::optional<std::vector<std::string>> speakerLabels(const AudioChannelLayout& layout, int count) {
    std::optional<AudioChannelLayout> expanded;
    switch (layout.layoutTag) {
    case AudioChannelLayout::kUseChannelDescriptions: expanded = layout; break;
    case AudioChannelLayout::kUseChannelBitmap: expanded = CoreAudioLayouts::expandBitmap(layout.channelBitmap); break;
    default: expanded = CoreAudioLayouts::expandTag(layout.layoutTag); break;
    }
    if (!expanded || expanded->channelDescriptions.size() != std::size_t(count)) return std::nullopt;
    std::vector<std::string> labels;
    labels.reserve(std::size_t(count));
    for (const auto& d : expanded->channelDescriptions) {
        const auto* s = std::find_if(std::begin(kSpeakers), std::end(kSpeakers),
                                     [&](const Speaker& k) { return k.channelLabel == d.channelLabel; });
        if (s == std::end(kSpeakers)) return std::nullopt;
        labels.emplace_back(s->label);
    }
    return labels;
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
        if (auto labels = speakerLabels(*fileLayout, channelCount); labels && speakerPlacement(*labels))
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
        const auto* s = std::find_if(std::begin(kSpeakers), std::end(kSpeakers), [&](const Speaker& k) { return k.label == label; });
        if (s == std::end(kSpeakers)) return std::nullopt;
        if (s->lowFrequency) {
            placed.push_back({0, 0, true});
            continue;
        }
        if (++directional > kMaxDirectionalSpeakers) return std::nullopt;
        // Next to side speakers the plain surrounds are the rear pair.
        if (hasSides && label == "Ls") placed.push_back({135, 0, false});
        else if (hasSides && label == "Rs") placed.push_back({225, 0, false});
        else placed.push_back({s->azimuth, s->elevation, false});
    }
    return placed;
}

} // namespace vaun
