#pragma once
// What a WAVE, CAF or AIFF header says about its audio, read with bounded reads: the
// channel layout the container stores (the WAVE_FORMAT_EXTENSIBLE channel mask of
// RIFF/RIFX/RF64, the 'chan' chunk of CAF, the 'CHAN' chunk of AIFF/AIFF-C) and where the
// sample bytes lie. FFmpeg folds the layout into its own and loses the original tag and
// descriptions, and trusts sizes the file may not hold, so both are read here.
#include "decode/AudioFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>

struct AVChannelLayout;

namespace vaun {

enum class ContainerKind { Other, WAVE, CAF, AIFF };

// Where a WAVE, CAF or AIFF file keeps its sample bytes, as its header says, cut to the
// bytes the file really holds. Lets the length of uncompressed audio come from the
// container rather than from a demuxer's estimate.
struct SampleDataRegion {
    std::uint64_t offset = 0;
    std::uint64_t byteCount = 0;
    // True when the header claims more bytes than the file holds.
    bool truncated = false;
    // AIFF's own frame count (COMM numSampleFrames); absent for WAVE and CAF.
    std::optional<std::uint64_t> frameCount;

    bool operator==(const SampleDataRegion&) const = default;
};

// The 'fmt ' chunk of a WAVE file.
struct WaveFormat {
    // For WAVE_FORMAT_EXTENSIBLE the tag inside the sub-format GUID.
    std::uint16_t formatTag = 0;
    std::uint16_t channelCount = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;

    bool operator==(const WaveFormat&) const = default;
};

// The header of a CAF packet table ('pakt'): the frames the packets really carry, after the
// encoder's priming frames at the start and before its remainder frames at the end.
struct PacketTableTrim {
    std::int64_t validFrames = 0;
    std::int64_t primingFrames = 0;
    std::int64_t remainderFrames = 0;

    bool operator==(const PacketTableTrim&) const = default;
};

struct ContainerLayout {
    ContainerKind kind = ContainerKind::Other;
    // RIFX: every field and sample is big-endian.
    bool bigEndian = false;
    // For WAVE: the format chunk, absent when there is none.
    std::optional<WaveFormat> waveFormat;
    // For WAVE, CAF and AIFF: the layout the file stores, or absent when it says nothing.
    std::optional<AudioChannelLayout> layout;
    // For WAVE, CAF and AIFF: the sample data, absent when no data chunk was found.
    std::optional<SampleDataRegion> sampleData;
    // For CAF: the packet table's trimming, absent without a sound 'pakt' chunk.
    std::optional<PacketTableTrim> packetTable;
};

// Never throws on bad content; an unreadable file gives kind Other.
ContainerLayout readContainerLayout(const std::filesystem::path& path);

// FFmpeg's layout in Core Audio's forms, for files whose container keeps none of its own:
// a native mask within the bitmap bits as a bitmap (mono and stereo as their tags), other
// native or custom orders as channel descriptions with Core Audio's labels (unknown
// channels as kAudioChannelLabel_Unknown); absent when FFmpeg knows no order either.
std::optional<AudioChannelLayout> layoutFromFFmpeg(const AVChannelLayout& layout);

// A WAVE_FORMAT_EXTENSIBLE mask as Core Audio reports it: mono and stereo masks as their
// tags, anything else as a speaker bitmap.
AudioChannelLayout layoutFromWaveChannelMask(std::uint32_t mask);

} // namespace vaun
