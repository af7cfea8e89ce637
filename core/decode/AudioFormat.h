#pragma once
// Stream formats and channel layouts in the three forms Core Audio uses: a layout tag,
// a speaker bitmap (tag 0x10000) or per-channel descriptions (tag 0).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

// Four-character codes, packed big-endian like Core Audio's ('lpcm' == 0x6C70636D).
constexpr std::uint32_t fourCC(const char (&s)[5]) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}
std::string fourCCString(std::uint32_t code);

namespace FormatID {
inline constexpr std::uint32_t LinearPCM = fourCC("lpcm");
inline constexpr std::uint32_t ALaw = fourCC("alaw");
inline constexpr std::uint32_t ULaw = fourCC("ulaw");
inline constexpr std::uint32_t MPEGLayer3 = fourCC(".mp3");
inline constexpr std::uint32_t MPEG4AAC = fourCC("aac ");
inline constexpr std::uint32_t AppleLossless = fourCC("alac");
inline constexpr std::uint32_t FLAC = fourCC("flac");
} // namespace FormatID

struct AudioChannelDescription {
    std::uint32_t channelLabel = 0;
    std::uint32_t channelFlags = 0;
    std::array<float, 3> coordinates{};
    bool operator==(const AudioChannelDescription&) const = default;
};

struct AudioChannelLayout {
    static constexpr std::uint32_t kUseChannelDescriptions = 0;
    static constexpr std::uint32_t kUseChannelBitmap = 0x10000;
    static constexpr std::uint32_t kMono = 0x640001;
    static constexpr std::uint32_t kStereo = 0x650002;
    static constexpr std::uint32_t kStereoHeadphones = 0x660002;
    static constexpr std::uint32_t kDiscreteInOrder = 0x930000; // | channel count
    static constexpr std::uint32_t kUnknown = 0xFFFF0000;

    std::uint32_t layoutTag = 0;
    std::uint32_t channelBitmap = 0;
    std::vector<AudioChannelDescription> channelDescriptions;

    bool operator==(const AudioChannelLayout&) const = default;
};

struct AudioFormat {
    double sampleRateHz = 0;
    std::uint32_t channelCount = 0;
    // Absent when the codec has no four-character code.
    std::optional<std::uint32_t> formatID;
    // 0 where it does not apply (lossy codecs).
    std::uint32_t bitsPerChannel = 0;
    std::optional<AudioChannelLayout> channelLayout;

    bool operator==(const AudioFormat&) const = default;
};

} // namespace vaun
