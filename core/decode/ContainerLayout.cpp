#include "decode/ContainerLayout.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <iterator>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vaun {
namespace {

// Headers sit before the audio; a few thousand chunks is far more than any real file has.
constexpr int kMaxChunks = 4096;
// A channel layout describes at most this many channels (20 KiB of descriptions).
constexpr std::uint32_t kMaxDescriptions = 1024;
constexpr std::uint32_t kDescriptionBytes = 20;

// Reads exact byte ranges of one regular file; the size is taken once, at open.
class FileReader {
public:
    explicit FileReader(const std::filesystem::path& path) {
        // Non-blocking so that a FIFO handed in by mistake cannot stall the open.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        size_ = std::uint64_t(st.st_size);
    }
    ~FileReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    std::uint64_t size() const { return size_; }

    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const {
        if (offset > size_ || out.size() > size_ - offset) return false;
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, off_t(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += std::size_t(n);
        }
        return true;
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

bool checkedAdd(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
    if (a > std::numeric_limits<std::uint64_t>::max() - b) return false;
    out = a + b;
    return true;
}

// Fixed-width integers from a byte span in either byte order; the caller checks the length.
struct ByteView {
    std::span<const std::uint8_t> bytes;
    bool bigEndian;

    std::uint64_t uint(std::size_t at, int width) const {
        std::uint64_t v = 0;
        for (int i = 0; i < width; ++i) {
            const int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
            v |= std::uint64_t(bytes[at + std::size_t(i)]) << shift;
        }
        return v;
    }
    std::uint16_t u16(std::size_t at) const { return std::uint16_t(uint(at, 2)); }
    std::uint32_t u32(std::size_t at) const { return std::uint32_t(uint(at, 4)); }
    std::uint64_t u64(std::size_t at) const { return uint(at, 8); }
};

bool idIs(const std::array<std::uint8_t, 4>& id, const char (&s)[5]) { return std::memcmp(id.data(), s, 4) == 0; }

struct ChunkStyle {
    std::uint64_t headerBytes; // 8 (RIFF, AIFF) or 12 (CAF)
    bool bigEndian;
    bool sizeIs64;
    bool padToEven;
};

// What a visitor wants after seeing one chunk: stop, or step over `skipBytes` of payload.
struct Step {
    bool stop = false;
    std::uint64_t skipBytes = 0;
    static Step halt() { return {true, 0}; }
    static Step skip(std::uint64_t n) { return {false, n}; }
};

// Walks chunk headers from `start` to the end of the file. Never reads payloads itself.
template <typename Visit>
void walkChunks(const FileReader& file, std::uint64_t start, const ChunkStyle& style, Visit&& visit) {
    std::uint64_t offset = start;
    const std::uint64_t end = file.size();
    std::array<std::uint8_t, 12> header{};
    for (int i = 0; i < kMaxChunks && offset <= end && end - offset >= style.headerBytes; ++i) {
        if (!file.read(offset, std::span(header.data(), std::size_t(style.headerBytes)))) return;
        std::array<std::uint8_t, 4> id{};
        std::copy_n(header.begin(), 4, id.begin());
        const ByteView view{std::span<const std::uint8_t>(header).subspan(4), style.bigEndian};
        const std::uint64_t size = style.sizeIs64 ? view.u64(0) : view.u32(0);
        const std::uint64_t payload = offset + style.headerBytes;
        const Step step = visit(id, payload, size);
        if (step.stop) return;
        std::uint64_t next = 0;
        if (!checkedAdd(payload, step.skipBytes, next)) return;
        if (style.padToEven && (step.skipBytes & 1) && !checkedAdd(next, 1, next)) return;
        if (next > end) return;
        offset = next;
    }
}

float floatFromBits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

// A CAF 'chan' or AIFF 'CHAN' payload (Core Audio's AudioChannelLayout, big-endian).
std::optional<AudioChannelLayout> readLayoutChunk(const FileReader& file, std::uint64_t offset, std::uint64_t size) {
    if (size < 12) return std::nullopt;
    std::array<std::uint8_t, 12> head{};
    if (!file.read(offset, head)) return std::nullopt;
    const ByteView h{head, true};
    AudioChannelLayout layout;
    layout.layoutTag = h.u32(0);
    layout.channelBitmap = h.u32(4);
    const std::uint32_t count = h.u32(8);
    if (count > kMaxDescriptions || std::uint64_t(count) * kDescriptionBytes > size - 12) return std::nullopt;
    std::vector<std::uint8_t> bytes(std::size_t(count) * kDescriptionBytes);
    if (!file.read(offset + 12, bytes)) return std::nullopt;
    const ByteView d{bytes, true};
    layout.channelDescriptions.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = i * kDescriptionBytes;
        AudioChannelDescription desc;
        desc.channelLabel = d.u32(at);
        desc.channelFlags = d.u32(at + 4);
        for (std::size_t k = 0; k < 3; ++k) desc.coordinates[k] = floatFromBits(d.u32(at + 8 + 4 * k));
        layout.channelDescriptions.push_back(desc);
    }
    return layout;
}

// The sample bytes from `offset`, as many as claimed but no more than the file holds.
SampleDataRegion regionOf(const FileReader& file, std::uint64_t offset, std::optional<std::uint64_t> claimed) {
    SampleDataRegion region;
    region.offset = std::min(offset, file.size());
    const std::uint64_t available = file.size() - region.offset;
    region.byteCount = claimed ? std::min(*claimed, available) : available;
    region.truncated = claimed && *claimed > available;
    return region;
}

void readWave(const FileReader& file, bool bigEndian, bool sizesInDs64, ContainerLayout& out) {
    std::optional<std::uint64_t> ds64DataSize;
    bool haveFormat = false;
    walkChunks(file, 12, {8, bigEndian, false, true}, [&](const auto& id, std::uint64_t payload, std::uint64_t size) {
        if (idIs(id, "ds64") && sizesInDs64 && size >= 16) {
            std::array<std::uint8_t, 16> b{};
            if (file.read(payload, b)) ds64DataSize = ByteView{b, bigEndian}.u64(8);
        } else if (idIs(id, "fmt ") && !haveFormat && size >= 16) {
            haveFormat = true;
            std::array<std::uint8_t, 40> b{};
            const auto n = std::size_t(std::min<std::uint64_t>(size, b.size()));
            if (!file.read(payload, std::span(b.data(), n))) return Step::halt();
            const ByteView f{b, bigEndian};
            WaveFormat format;
            format.formatTag = f.u16(0);
            format.channelCount = f.u16(2);
            format.sampleRate = f.u32(4);
            format.blockAlign = f.u16(12);
            format.bitsPerSample = f.u16(14);
            // WAVE_FORMAT_EXTENSIBLE: cbSize >= 22, then valid bits, channel mask and the
            // sub-format GUID, whose first field is the actual format tag.
            if (format.formatTag == 0xFFFE && n >= 40 && f.u16(16) >= 22) {
                const std::uint32_t mask = f.u32(20);
                if (mask != 0) out.layout = layoutFromWaveChannelMask(mask);
                // Some RIFX writers swap only the leading 16 bits of the GUID.
                const std::uint32_t data1 = f.u32(24);
                format.formatTag = std::uint16_t(data1 <= 0xFFFF ? data1 : data1 >> 16);
                // The B-format sub-formats ({0000000x-0721-11D3-8644-C8C1CA000000}): a FuMa sound field.
                static constexpr std::uint8_t kBFormat[12] = {0x21, 0x07, 0xD3, 0x11, 0x86, 0x44, 0xC8, 0xC1, 0xCA, 0, 0, 0};
                if (!bigEndian && std::equal(std::begin(kBFormat), std::end(kBFormat), b.begin() + 28))
                    out.layout = AudioChannelLayout{(107u << 16) | format.channelCount, 0, {}};
            }
            out.waveFormat = format;
        } else if (idIs(id, "data") && !out.sampleData) {
            std::optional<std::uint64_t> claimed = size;
            if (size == 0xFFFFFFFF) claimed = sizesInDs64 ? ds64DataSize : std::nullopt;
            out.sampleData = regionOf(file, payload, claimed);
            if (!claimed) return Step::halt(); // runs to the end of the file
            if (haveFormat) return Step::halt();
            return Step::skip(*claimed);
        }
        return Step::skip(size);
    });
}

void readCaf(const FileReader& file, ContainerLayout& out) {
    walkChunks(file, 8, {12, true, true, false}, [&](const auto& id, std::uint64_t payload, std::uint64_t size) {
        constexpr std::uint64_t kToEnd = std::numeric_limits<std::uint64_t>::max(); // size -1
        if (idIs(id, "chan") && !out.layout && size != kToEnd) {
            out.layout = readLayoutChunk(file, payload, size);
        } else if (idIs(id, "pakt") && !out.packetTable && size >= 24 && size != kToEnd) {
            std::array<std::uint8_t, 24> b{};
            const ByteView p{b, true};
            // Negative counts are not a trim anyone can apply.
            if (file.read(payload, b) && std::int64_t(p.u64(8)) >= 0 && std::int32_t(p.u32(16)) >= 0 &&
                std::int32_t(p.u32(20)) >= 0)
                out.packetTable = PacketTableTrim{std::int64_t(p.u64(8)), std::int32_t(p.u32(16)), std::int32_t(p.u32(20))};
        } else if (idIs(id, "data") && !out.sampleData) {
            // The payload opens with a 4-byte edit count.
            std::optional<std::uint64_t> claimed;
            if (size != kToEnd) claimed = size >= 4 ? size - 4 : 0;
            out.sampleData = regionOf(file, payload + 4, claimed);
            if (size == kToEnd) return Step::halt();
        }
        return Step::skip(size);
    });
}

void readAiff(const FileReader& file, ContainerLayout& out) {
    std::optional<std::uint64_t> frameCount;
    walkChunks(file, 12, {8, true, false, true}, [&](const auto& id, std::uint64_t payload, std::uint64_t size) {
        if (idIs(id, "COMM") && !frameCount && size >= 8) {
            std::array<std::uint8_t, 8> b{};
            if (file.read(payload, b)) frameCount = ByteView{b, true}.u32(2);
        } else if (idIs(id, "CHAN") && !out.layout) {
            out.layout = readLayoutChunk(file, payload, size);
        } else if (idIs(id, "SSND") && !out.sampleData && size >= 8) {
            std::array<std::uint8_t, 8> b{};
            if (file.read(payload, b)) {
                // Sample data starts `offset` bytes after the offset and block-size fields.
                const std::uint64_t skip = ByteView{b, true}.u32(0);
                const std::uint64_t claimed = size - 8 >= skip ? size - 8 - skip : 0;
                out.sampleData = regionOf(file, payload + 8 + std::min(skip, size - 8), claimed);
            }
        }
        return Step::skip(size);
    });
    if (out.sampleData) out.sampleData->frameCount = frameCount;
}

constexpr std::uint32_t kLabelUnknown = 0xFFFFFFFF;
constexpr std::uint32_t kLabelUnused = 0;
// Core Audio's channel bitmap bits 0..17 are the WAVE speaker bits, which FFmpeg shares.
constexpr std::uint64_t kBitmapBits = 0x3FFFF;

std::uint32_t coreAudioLabel(AVChannel channel) {
    switch (channel) {
    case AV_CHAN_FRONT_LEFT: return 1;
    case AV_CHAN_FRONT_RIGHT: return 2;
    case AV_CHAN_FRONT_CENTER: return 3;
    case AV_CHAN_LOW_FREQUENCY: return 4;
    case AV_CHAN_BACK_LEFT: return 5;
    case AV_CHAN_BACK_RIGHT: return 6;
    case AV_CHAN_FRONT_LEFT_OF_CENTER: return 7;
    case AV_CHAN_FRONT_RIGHT_OF_CENTER: return 8;
    case AV_CHAN_BACK_CENTER: return 9;
    case AV_CHAN_SIDE_LEFT: return 10;
    case AV_CHAN_SIDE_RIGHT: return 11;
    case AV_CHAN_TOP_CENTER: return 12;
    case AV_CHAN_TOP_FRONT_LEFT: return 13;
    case AV_CHAN_TOP_FRONT_CENTER: return 14;
    case AV_CHAN_TOP_FRONT_RIGHT: return 15;
    case AV_CHAN_TOP_BACK_LEFT: return 16;
    case AV_CHAN_TOP_BACK_CENTER: return 17;
    case AV_CHAN_TOP_BACK_RIGHT: return 18;
    case AV_CHAN_WIDE_LEFT: return 35;
    case AV_CHAN_WIDE_RIGHT: return 36;
    case AV_CHAN_LOW_FREQUENCY_2: return 37;
    case AV_CHAN_STEREO_LEFT: return 38;
    case AV_CHAN_STEREO_RIGHT: return 39;
    case AV_CHAN_TOP_SIDE_LEFT: return 49;
    case AV_CHAN_TOP_SIDE_RIGHT: return 51;
    case AV_CHAN_UNUSED: return kLabelUnused;
    default: return kLabelUnknown;
    }
}

} // namespace

std::optional<AudioChannelLayout> layoutFromFFmpeg(const AVChannelLayout& in) {
    AudioChannelLayout out;
    if (in.order == AV_CHANNEL_ORDER_NATIVE) {
        const std::uint64_t mask = in.u.mask;
        if (mask == AV_CH_FRONT_CENTER && in.nb_channels == 1) {
            out.layoutTag = AudioChannelLayout::kMono;
            return out;
        }
        if (mask == (AV_CH_FRONT_LEFT | AV_CH_FRONT_RIGHT) && in.nb_channels == 2) {
            out.layoutTag = AudioChannelLayout::kStereo;
            return out;
        }
        if (mask != 0 && (mask & ~kBitmapBits) == 0) {
            out.layoutTag = AudioChannelLayout::kUseChannelBitmap;
            out.channelBitmap = std::uint32_t(mask);
            return out;
        }
    } else if (in.order != AV_CHANNEL_ORDER_CUSTOM) {
        return std::nullopt;
    }
    if (in.nb_channels <= 0) return std::nullopt;
    out.layoutTag = AudioChannelLayout::kUseChannelDescriptions;
    for (int i = 0; i < in.nb_channels; ++i) {
        AudioChannelDescription d;
        d.channelLabel = coreAudioLabel(av_channel_layout_channel_from_index(&in, unsigned(i)));
        out.channelDescriptions.push_back(d);
    }
    return out;
}

AudioChannelLayout layoutFromWaveChannelMask(std::uint32_t mask) {
    AudioChannelLayout layout;
    if (mask == 0x4) {
        layout.layoutTag = AudioChannelLayout::kMono;
    } else if (mask == 0x3) {
        layout.layoutTag = AudioChannelLayout::kStereo;
    } else {
        layout.layoutTag = AudioChannelLayout::kUseChannelBitmap;
        layout.channelBitmap = mask;
    }
    return layout;
}

ContainerLayout readContainerLayout(const std::filesystem::path& path) {
    ContainerLayout out;
    try {
        const FileReader file(path);
        if (!file.isOpen()) return out;
        std::array<std::uint8_t, 12> head{};
        if (!file.read(0, std::span(head.data(), 8))) return out;
        const auto is = [&](std::size_t at, const char(&s)[5]) { return std::memcmp(head.data() + at, s, 4) == 0; };
        if (is(0, "caff")) {
            out.kind = ContainerKind::CAF;
            readCaf(file, out);
            return out;
        }
        if (!file.read(0, head)) return out;
        if ((is(0, "RIFF") || is(0, "RIFX") || is(0, "RF64") || is(0, "BW64")) && is(8, "WAVE")) {
            out.kind = ContainerKind::WAVE;
            out.bigEndian = is(0, "RIFX");
            readWave(file, is(0, "RIFX"), is(0, "RF64") || is(0, "BW64"), out);
        } else if (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC"))) {
            out.kind = ContainerKind::AIFF;
            readAiff(file, out);
        }
    } catch (const std::bad_alloc&) {
        // Allocation is bounded above; should it fail anyway, report what was found.
    }
    return out;
}

} // namespace vaun
