#pragma once
// Which loudspeaker each channel feeds and how much it counts in a BS.1770 loudness sum.
#include "decode/AudioFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct ChannelMap {
    std::vector<std::string> labels;
    std::vector<double> weights;

    bool operator==(const ChannelMap&) const = default;

    // Labels from the format's layout when every channel is recognised, else the default
    // list for its channel count; weights by `weight`.
    static ChannelMap resolve(const AudioFormat& format);
    // Labels from the format's own layout, or absent (no layout, or not fully recognised).
    static std::optional<std::vector<std::string>> fileLabels(const AudioFormat& format);
    // "Mono", "Stereo", or main.lfe[.height]; absent when the labels are no speaker layout.
    static std::optional<std::string> formatName(const std::vector<std::string>& labels);
    static std::vector<std::string> defaultLabels(int count);
    static double weight(const std::string& label);

    // The speaker label for a Core Audio channel label number, "?" when outside the vocabulary.
    static std::string label(std::uint32_t channelLabel);

private:
    // Which of Core Audio's two expansions to apply to a specifier.
    enum class Expansion { ForTag, ForBitmap };

    static std::optional<std::vector<std::string>> labelsFromLayout(const AudioChannelLayout& layout, int count);
    static std::optional<std::vector<std::string>> expanded(Expansion property, std::uint32_t specifier, int count);
    static std::optional<std::vector<std::string>> describedLabels(const AudioChannelLayout& layout, int count);
};

} // namespace vaun
