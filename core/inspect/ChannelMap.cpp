#include "inspect/ChannelMap.h"

#include "inspect/CoreAudioLayouts.h"

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <string_view>

namespace vaun {
namespace {

// More descriptions than this are never read as a speaker layout.
constexpr int kMaxDescribedChannels = 64;

struct Vocabulary {
    std::uint32_t channelLabel;
    std::string_view label;
};

// Core Audio channel label numbers we name. The top-rear speakers have two numbers each
// (TopBackLeft/Right and the later LeftTopRear/RightTopRear); both read the same.
constexpr Vocabulary kVocabulary[] = {
    {1, "L"},    {2, "R"},     {3, "C"},    {4, "LFE"},  {5, "Ls"},   {6, "Rs"},   {9, "Cs"},
    {10, "Lss"}, {11, "Rss"},  {13, "Ltf"}, {15, "Rtf"}, {16, "Ltr"}, {18, "Rtr"}, {33, "Lrs"},
    {34, "Rrs"}, {37, "LFE2"}, {42, "M"},   {49, "Ltm"}, {51, "Rtm"}, {52, "Ltr"}, {54, "Rtr"},
};

constexpr std::string_view kHeightLabels[] = {"Ltf", "Rtf", "Ltr", "Rtr", "Ltm", "Rtm"};
constexpr std::string_view kSurroundLabels[] = {"Ls", "Rs", "Lss", "Rss", "Lrs", "Rrs", "Cs"};

bool isDecimalInteger(std::string_view s) {
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int countOf(const AudioFormat& format) {
    return format.channelCount > std::uint32_t(INT_MAX) ? INT_MAX : int(format.channelCount);
}

std::vector<std::string> labelList(std::initializer_list<const char*> labels) {
    return {labels.begin(), labels.end()};
}

} // namespace

ChannelMap ChannelMap::resolve(const AudioFormat& format) {
    const int count = countOf(format);
    std::optional<std::vector<std::string>> fromLayout;
    if (format.channelLayout) fromLayout = labelsFromLayout(*format.channelLayout, count);
    ChannelMap map;
    map.labels = fromLayout ? std::move(*fromLayout) : defaultLabels(count);
    map.weights.reserve(map.labels.size());
    for (const auto& l : map.labels) map.weights.push_back(weight(l));
    return map;
}

std::optional<std::vector<std::string>> ChannelMap::fileLabels(const AudioFormat& format) {
    if (!format.channelLayout) return std::nullopt;
    return labelsFromLayout(*format.channelLayout, countOf(format));
}

std::optional<std::string> ChannelMap::formatName(const std::vector<std::string>& labels) {
    if (labels.empty()) return std::nullopt;
    // Numbered or unknown channels are no speaker layout; an empty label is let through.
    for (const auto& l : labels)
        if (l == "?" || isDecimalInteger(l)) return std::nullopt;
    if (labels == std::vector<std::string>{"M"}) return "Mono";
    if (labels == std::vector<std::string>{"L", "R"}) return "Stereo";

    std::size_t lfe = 0, height = 0;
    for (const auto& l : labels) {
        if (std::string_view(l).substr(0, 3) == "LFE") ++lfe;
        else if (std::find(std::begin(kHeightLabels), std::end(kHeightLabels), l) != std::end(kHeightLabels)) ++height;
    }
    const std::size_t main = labels.size() - lfe - height;
    std::string name = std::to_string(main);
    name += '.';
    name += std::to_string(lfe);
    if (height > 0) {
        name += '.';
        name += std::to_string(height);
    }
    return name;
}

std::vector<std::string> ChannelMap::defaultLabels(int count) {
    switch (count) {
    case 1: return labelList({"M"});
    case 2: return labelList({"L", "R"});
    case 3: return labelList({"L", "R", "C"});
    case 4: return labelList({"L", "R", "Ls", "Rs"});
    case 6: return labelList({"L", "R", "C", "LFE", "Ls", "Rs"});
    case 8: return labelList({"L", "R", "C", "LFE", "Lrs", "Rrs", "Lss", "Rss"});
    case 10: return labelList({"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltm", "Rtm"});
    case 12: return labelList({"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltf", "Rtf", "Ltr", "Rtr"});
    default: break;
    }
    std::vector<std::string> numbered;
    const int n = std::max(count, 1);
    numbered.reserve(std::size_t(n));
    for (int i = 1; i <= n; ++i) numbered.push_back(std::to_string(i));
    return numbered;
}

double ChannelMap::weight(const std::string& label) {
    if (label == "LFE" || label == "LFE2") return 0.0;
    if (std::find(std::begin(kSurroundLabels), std::end(kSurroundLabels), label) != std::end(kSurroundLabels))
        return 1.41;
    return 1.0;
}

std::string ChannelMap::label(std::uint32_t channelLabel) {
    for (const auto& v : kVocabulary)
        if (v.channelLabel == channelLabel) return std::string(v.label);
    return "?";
}

std::optional<std::vector<std::string>> ChannelMap::labelsFromLayout(const AudioChannelLayout& layout, int count) {
    switch (layout.layoutTag) {
    case AudioChannelLayout::kStereo:
    case AudioChannelLayout::kStereoHeadphones:
        if (count == 2) return labelList({"L", "R"});
        return std::nullopt;
    case AudioChannelLayout::kMono:
        if (count == 1) return labelList({"M"});
        return std::nullopt;
    case AudioChannelLayout::kUseChannelDescriptions:
        return describedLabels(layout, count);
    case AudioChannelLayout::kUseChannelBitmap:
        return expanded(Expansion::ForBitmap, layout.channelBitmap, count);
    default:
        return expanded(Expansion::ForTag, layout.layoutTag, count);
    }
}

std::optional<std::vector<std::string>> ChannelMap::expanded(Expansion property, std::uint32_t specifier, int count) {
    // Only 1…64 channels are ever described, and a tag states its channel count in its low
    // 16 bits: checking first spares expanding a hostile discrete tag to 65,535 channels.
    if (count < 1 || count > kMaxDescribedChannels) return std::nullopt;
    if (property == Expansion::ForTag && int(specifier & 0xFFFF) != count) return std::nullopt;
    const auto layout = property == Expansion::ForTag ? CoreAudioLayouts::expandTag(specifier)
                                                      : CoreAudioLayouts::expandBitmap(specifier);
    if (!layout) return std::nullopt;
    return describedLabels(*layout, count);
}

std::optional<std::vector<std::string>> ChannelMap::describedLabels(const AudioChannelLayout& layout, int count) {
    const auto& descriptions = layout.channelDescriptions;
    if (count < 1 || count > kMaxDescribedChannels || descriptions.size() != std::size_t(count)) return std::nullopt;
    std::vector<std::string> labels;
    labels.reserve(descriptions.size());
    for (const auto& d : descriptions) {
        auto l = label(d.channelLabel);
        if (l == "?") return std::nullopt; // used only when every channel is recognised
        labels.push_back(std::move(l));
    }
    return labels;
}

} // namespace vaun
