#pragma once
// The pieces of `vaun-thumbnailer -s SIZE INPUT OUTPUT`: its command line, the input given as
// a path or a file URI, and the picture: the preview's waveform on a transparent background.
#include "analysis/WaveformGenerator.h"

#include <QByteArray>
#include <QImage>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vaun::thumbnail {

inline constexpr int minimumSize = 2;
inline constexpr int maximumSize = 4096;

struct Arguments {
    int size = 0; // width in pixels; the height is half of it
    std::string input;
    std::filesystem::path output;
};

// `-s SIZE INPUT OUTPUT` with SIZE a decimal number of pixels within the limits; nothing
// for any other command line.
std::optional<Arguments> parseArguments(std::span<const char* const> args);

// A plain path as given, or the local path a file URI names (file:///… or
// file://localhost/…, percent-encoded bytes decoded as they are). Throws vaun::Error for
// another scheme, a remote host, a bad escape or an embedded NUL.
std::filesystem::path localPath(std::string_view input);

// The file's waveform as the preview reduces it: 512 buckets per channel for at most 24
// channels, merged. The decoder's errors pass unchanged.
WaveformGenerator::Buckets previewWaveform(const std::filesystem::path& file);

// `waveform` drawn as the preview's bars in the light appearance into size × size/2 pixels,
// transparent around the bars.
QImage draw(const WaveformGenerator::Buckets& waveform, int size);

// `image` as PNG bytes; throws vaun::Error when it cannot be encoded.
QByteArray encodePNG(const QImage& image);

} // namespace vaun::thumbnail
