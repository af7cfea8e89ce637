#pragma once
// The channel layout a container stores itself, read with bounded reads: the
// WAVE_FORMAT_EXTENSIBLE channel mask of RIFF/RIFX/RF64, the 'chan' chunk of CAF and
// the 'CHAN' chunk of AIFF/AIFF-C. FFmpeg folds these into its own layout and loses the
// original tag and descriptions, so they are read here verbatim.
#include "decode/AudioFormat.h"

#include <filesystem>
#include <optional>

namespace vaun {

enum class ContainerKind { Other, WAVE, CAF, AIFF };

struct ContainerLayout {
    ContainerKind kind = ContainerKind::Other;
    // For WAVE, CAF and AIFF: the layout the file stores, or absent when it says nothing.
    std::optional<AudioChannelLayout> layout;
};

// Never throws on bad content; an unreadable file gives kind Other.
ContainerLayout readContainerLayout(const std::filesystem::path& path);

// A WAVE_FORMAT_EXTENSIBLE mask as Core Audio reports it: mono and stereo masks as their
// tags, anything else as a speaker bitmap.
AudioChannelLayout layoutFromWaveChannelMask(std::uint32_t mask);

} // namespace vaun
