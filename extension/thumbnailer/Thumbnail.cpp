#include "Thumbnail.h"

#include "PreviewViews/WaveformBars.h"
#include "common/Errors.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <charconv>

namespace vaun::thumbnail {
namespace {

constexpr int previewBuckets = 512;
constexpr int previewChannels = 24;

[[noreturn]] void fail(const std::string& description) { throw Error("VaunThumbnailer", 1, description); }

bool startsWithFileScheme(std::string_view s) {
    if (s.size() < 5 || s[4] != ':') return false;
    for (std::size_t i = 0; i < 4; ++i)
        if ((s[i] | 0x20) != "file"[i]) return false;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return (c | 0x20) - 'a' + 10;
    return -1;
}

std::string percentDecoded(std::string_view s) {
    std::string bytes;
    bytes.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            bytes.push_back(s[i]);
            continue;
        }
        const int high = i + 2 < s.size() ? hexDigit(s[i + 1]) : -1;
        const int low = i + 2 < s.size() ? hexDigit(s[i + 2]) : -1;
        if (high < 0 || low < 0) fail("Bad escape in the file URI.");
        bytes.push_back(char(high * 16 + low));
        i += 2;
    }
    if (bytes.find('\0') != std::string::npos) fail("The file URI names no valid path.");
    return bytes;
}

} // namespace

std::optional<Arguments> parseArguments(std::span<const char* const> args) {
    if (args.size() != 5 || std::string_view(args[1]) != "-s") return std::nullopt;
    const std::string_view sizeText = args[2];
    int size = 0;
    const auto [end, error] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
    if (error != std::errc() || end != sizeText.data() + sizeText.size()) return std::nullopt;
    if (size < minimumSize || size > maximumSize) return std::nullopt;
    const std::string_view input = args[3], output = args[4];
    if (input.empty() || output.empty()) return std::nullopt;
    return Arguments{size, std::string(input), std::filesystem::path(std::string(output))};
}

std::filesystem::path localPath(std::string_view input) {
    if (!startsWithFileScheme(input)) return std::filesystem::path(std::string(input));
    std::string_view rest = input.substr(5);
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") fail("The file URI names another host.");
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (!rest.starts_with('/')) fail("The file URI names no absolute path.");
    return std::filesystem::path(percentDecoded(rest));
}

WaveformGenerator::Buckets previewWaveform(const std::filesystem::path& file) {
    return WaveformGenerator::combine(WaveformGenerator{}.generateChannels(file, previewBuckets, previewChannels));
}

QImage draw(const WaveformGenerator::Buckets& waveform, int size) {
    QImage image(size, size / 2, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) fail("No memory for the picture.");
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // The played copy: the full-strength blue reads on light and dark file views alike.
    const WaveformBars bars{waveform.values, 1, true};
    bars.paint(painter, QSizeF(image.size()), ColorScheme::light);
    return image;
}

QByteArray encodePNG(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) fail("Cannot encode the picture: " + writer.errorString().toStdString());
    return bytes;
}

} // namespace vaun::thumbnail
