#include "inspect/Artwork.h"

#include "decode/ContainerLayout.h"
#include "decode/FFmpegInput.h"

#include <algorithm>
#include <memory>

namespace vaun {
namespace {

struct DictionaryFreer {
    void operator()(AVDictionary* d) const noexcept { av_dict_free(&d); }
};

// FFmpeg polls this during blocking I/O; an answer of 1 aborts the open.
int interrupted(void* opaque) noexcept {
    const auto* test = static_cast<const CancellationTest*>(opaque);
    try {
        return *test && (*test)() ? 1 : 0;
    } catch (...) {
        return 1;
    }
}

ffmpeg::FormatPtr openForMetadata(const std::string& url, const CancellationTest& isCancelled) {
    const ffmpeg::Source source = ffmpeg::probe(url);
    throwIfCancelled(isCancelled);
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) ffmpeg::fail(AVERROR(ENOMEM));
    raw->interrupt_callback.callback = interrupted;
    raw->interrupt_callback.opaque = const_cast<CancellationTest*>(&isCancelled);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // The pictures are read with the header; no stream information is needed.
    const int err = avformat_open_input(&raw, url.c_str(), source.format, &options);
    const std::unique_ptr<AVDictionary, DictionaryFreer> left(options);
    if (err < 0) {
        throwIfCancelled(isCancelled);
        ffmpeg::fail(err);
    }
    return ffmpeg::FormatPtr(raw);
}

// FFmpeg 5.1 refuses some RIFX and WAVE files that the decoder reads raw; a raw reader
// has no pictures.
bool isReadRaw(const std::filesystem::path& path, const std::string& url) {
    const ContainerLayout container = readContainerLayout(path);
    return ffmpeg::rifxSource(container, url) || ffmpeg::rawWaveSource(container, url);
}

} // namespace

std::optional<std::vector<std::uint8_t>> Artwork::find(const std::filesystem::path& path,
                                                       const CancellationTest& isCancelled) {
    ffmpeg::silenceFFmpeg();
    throwIfCancelled(isCancelled);
    const std::string url = "file:" + path.string();
    ffmpeg::FormatPtr format;
    try {
        format = openForMetadata(url, isCancelled);
    } catch (const DecoderError&) {
        if (isReadRaw(path, url)) return std::nullopt;
        throw;
    }
    const unsigned items = std::min(format->nb_streams, maxItems);
    for (unsigned i = 0; i < items; ++i) {
        throwIfCancelled(isCancelled);
        const AVStream* stream = format->streams[i];
        if (!(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        const AVPacket& picture = stream->attached_pic;
        if (!picture.data || picture.size <= 0 || std::size_t(picture.size) > maxBytes) continue;
        return std::vector<std::uint8_t>(picture.data, picture.data + picture.size);
    }
    return std::nullopt;
}

} // namespace vaun
