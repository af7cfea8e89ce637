#pragma once
// Expansion of Core Audio layout tags and speaker bitmaps into one channel description
// per channel, after Core Audio's published layout-tag and channel-bitmap definitions.
#include "decode/AudioFormat.h"

#include <cstdint>
#include <optional>

namespace vaun::CoreAudioLayouts {

// The layout for a tag, with one description per channel; absent for tags not supplied
// (including 0, 0x10000 and the unknown tag).
std::optional<AudioChannelLayout> expandTag(std::uint32_t layoutTag);
// The layout for a speaker bitmap, one description per set bit in bit order; absent when a
// set bit has no channel label or the bitmap is empty.
std::optional<AudioChannelLayout> expandBitmap(std::uint32_t channelBitmap);

} // namespace vaun::CoreAudioLayouts
