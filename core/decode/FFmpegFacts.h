#pragma once
// StreamFacts from FFmpeg's view of an opened stream, and the container trimming FFmpeg
// does not apply itself.
#include "decode/FFmpegInput.h"
#include "decode/StreamFacts.h"

#include <cstdint>
#include <optional>

namespace vaun::ffmpeg {

// Names, profile and tags; the bit rate is left to `averageBitRate`.
StreamFacts describeStream(const AVFormatContext& format, const AVStream& stream);

// Bits per second of `frames` frames whose packets came to `payloadBytes` (absent when unknown).
std::optional<std::int64_t> averageBitRate(const AVFormatContext& format, const AVCodecParameters& par,
                                           std::optional<std::int64_t> payloadBytes, std::int64_t frames);

// The frames an iTunes gapless tag ("iTunSMPB") says the stream holds after its priming and
// remainder; FFmpeg applies its priming but not its end.
std::optional<std::int64_t> iTunesValidFrames(const AVFormatContext& format);

} // namespace vaun::ffmpeg
