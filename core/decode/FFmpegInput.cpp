#include "decode/FFmpegInput.h"

#include "common/Errors.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <mutex>
#include <string_view>

namespace vaun::ffmpeg {
namespace {

struct IOCloser {
    void operator()(AVIOContext* io) const noexcept { avio_closep(&io); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* d) const noexcept { av_dict_free(&d); }
};

// Demuxers that open further resources named inside the file.
bool opensOtherResources(const AVInputFormat* format) {
    for (std::string_view name : {"hls", "concat", "dash", "tee"})
        if (name == format->name) return true;
    return false;
}

bool seeksExactly(const AVInputFormat* format) {
    for (std::string_view name : {"wav", "w64", "aiff", "caf", "flac"})
        if (name == format->name) return true;
    return isMP4Family(format);
}

// Local files only: a playlist or reference file must not reach the network or devices.
std::unique_ptr<AVDictionary, DictionaryFreer> openOptions(const Source& source) {
    AVDictionary* d = nullptr;
    av_dict_set(&d, "protocol_whitelist", "file", 0);
    // Bigger packets than the raw (1 KiB) and WAVE (4 KiB) readers' defaults: the same
    // samples through far fewer allocations and parser calls.
    av_dict_set(&d, "raw_packet_size", "65536", 0);
    if (source.format && std::string_view(source.format->name) == "wav") av_dict_set(&d, "max_size", "65536", 0);
    for (const auto& [key, value] : source.options) av_dict_set(&d, key.c_str(), value.c_str(), 0);
    return std::unique_ptr<AVDictionary, DictionaryFreer>(d);
}

bool isLinearPCM(AVCodecID id) {
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT && id != AV_CODEC_ID_PCM_ALAW &&
           id != AV_CODEC_ID_PCM_MULAW && id != AV_CODEC_ID_PCM_VIDC;
}

// A raw PCM demuxer on the sample data our own header walk found.
Source rawSource(const ContainerLayout& container, const std::string& url, const char* name) {
    const AVInputFormat* format = name ? av_find_input_format(name) : nullptr;
    if (!format) return {};
    const WaveFormat& w = *container.waveFormat;
    return Source{url,
                  format,
                  {{"sample_rate", std::to_string(w.sampleRate)},
                   {"channels", std::to_string(w.channelCount)},
                   {"skip_initial_bytes", std::to_string(container.sampleData->offset)}},
                  true};
}

// Bytes per sample of a WAVE format a raw reader can take, or 0.
int sampleBytes(const ContainerLayout& container) {
    if (container.kind != ContainerKind::WAVE || !container.waveFormat || !container.sampleData) return 0;
    const WaveFormat& w = *container.waveFormat;
    if (w.channelCount == 0 || w.sampleRate == 0 || w.sampleRate > std::uint32_t(std::numeric_limits<int>::max()) ||
        w.blockAlign % w.channelCount != 0)
        return 0;
    return w.blockAlign / w.channelCount;
}

} // namespace

void silenceFFmpeg() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string ffmpegMessage(int err) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(err, text.data(), text.size());
    return text.data();
}

void fail(int err) { throw DecoderError(err, ffmpegMessage(err)); }

PacketPtr makePacket() {
    PacketPtr p(av_packet_alloc());
    if (!p) fail(AVERROR(ENOMEM));
    return p;
}

FramePtr makeFrame() {
    FramePtr f(av_frame_alloc());
    if (!f) fail(AVERROR(ENOMEM));
    return f;
}

bool isMP4Family(const AVInputFormat* format) { return std::string_view(format->name).starts_with("mov,"); }

Source probe(const std::string& url) {
    AVIOContext* raw = nullptr;
    Source source{url, nullptr, {}, false};
    AVDictionary* opts = openOptions(source).release();
    const int err = avio_open2(&raw, url.c_str(), AVIO_FLAG_READ, nullptr, &opts);
    av_dict_free(&opts);
    if (err < 0) fail(err);
    const std::unique_ptr<AVIOContext, IOCloser> io(raw);
    const int score = av_probe_input_buffer2(io.get(), &source.format, url.c_str(), nullptr, 0, 0);
    if (score < 0) fail(score);
    if (!source.format || opensOtherResources(source.format)) fail(AVERROR_INVALIDDATA);
    source.seeksExactly = seeksExactly(source.format);
    return source;
}

// FFmpeg 5.1 reads RIFX PCM with a little-endian codec and refuses RIFX with an extended
// format chunk (float, 24-bit extensible).
std::optional<Source> rifxSource(const ContainerLayout& container, const std::string& url) {
    const int bytes = sampleBytes(container);
    if (bytes == 0 || !container.bigEndian) return std::nullopt;
    const std::uint16_t tag = container.waveFormat->formatTag;
    const char* name = nullptr;
    if (tag == 1) name = bytes == 1 ? "u8" : bytes == 2 ? "s16be" : bytes == 3 ? "s24be" : bytes == 4 ? "s32be" : nullptr;
    else if (tag == 3) name = bytes == 4 ? "f32be" : bytes == 8 ? "f64be" : nullptr;
    else if (tag == 6 && bytes == 1) name = "alaw";
    else if (tag == 7 && bytes == 1) name = "mulaw";
    Source source = rawSource(container, url, name);
    if (!source.format) return std::nullopt;
    return source;
}

// Only where the stored bits fill the sample slot as FFmpeg's WAV reader would take them,
// so the raw reader decodes the same samples that reader would.
std::optional<Source> rawWaveSource(const ContainerLayout& container, const std::string& url) {
    const int bytes = sampleBytes(container);
    if (bytes == 0 || container.bigEndian) return std::nullopt;
    const WaveFormat& w = *container.waveFormat;
    const char* name = nullptr;
    if (w.formatTag == 1 && w.bitsPerSample > 8 * (bytes - 1) && w.bitsPerSample <= 8 * bytes)
        name = bytes == 1 ? "u8" : bytes == 2 ? "s16le" : bytes == 3 ? "s24le" : bytes == 4 ? "s32le" : nullptr;
    else if (w.formatTag == 3 && w.bitsPerSample == 8 * bytes)
        name = bytes == 4 ? "f32le" : bytes == 8 ? "f64le" : nullptr;
    Source source = rawSource(container, url, name);
    if (!source.format) return std::nullopt;
    return source;
}

FormatPtr openInput(const Source& source) {
    AVFormatContext* raw = nullptr;
    AVDictionary* opts = openOptions(source).release();
    const int opened = avformat_open_input(&raw, source.url.c_str(), source.format, &opts);
    av_dict_free(&opts);
    if (opened < 0) fail(opened);
    FormatPtr format(raw);
    // A failure here still leaves the streams found in the header usable.
    if (const int info = avformat_find_stream_info(format.get(), nullptr);
        info < 0 && format->pb && format->pb->error < 0 && format->pb->error != AVERROR_EOF)
        fail(info);
    return format;
}

void keepOnlyStream(AVFormatContext* format, int index) {
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
}

CodecPtr openCodec(const AVStream& stream, const AVCodec* codec) {
    if (!codec) fail(AVERROR_DECODER_NOT_FOUND);
    CodecPtr context(avcodec_alloc_context3(codec));
    if (!context) fail(AVERROR(ENOMEM));
    if (const int err = avcodec_parameters_to_context(context.get(), stream.codecpar); err < 0) fail(err);
    // Needed for the timestamps of frames cut by skip-samples side data.
    context->pkt_timebase = stream.time_base;
    if (const int err = avcodec_open2(context.get(), codec, nullptr); err < 0) fail(err);
    return context;
}

bool isHardError(int err, const AVFormatContext* format) {
    if (err == AVERROR(ENOMEM)) return true;
    return format->pb && format->pb->error < 0 && format->pb->error != AVERROR_EOF;
}

std::int64_t toFrames(std::int64_t ts, AVRational timeBase, int rate) {
    return av_rescale_q(ts, timeBase, AVRational{1, rate});
}

std::optional<std::uint32_t> formatIDOf(const AVCodecParameters& p) {
    switch (p.codec_id) {
    case AV_CODEC_ID_PCM_ALAW: return FormatID::ALaw;
    case AV_CODEC_ID_PCM_MULAW: return FormatID::ULaw;
    case AV_CODEC_ID_MP3: return FormatID::MPEGLayer3;
    case AV_CODEC_ID_MP2: return fourCC(".mp2");
    case AV_CODEC_ID_MP1: return fourCC(".mp1");
    case AV_CODEC_ID_AAC:
        switch (p.profile) {
        case FF_PROFILE_AAC_HE: return fourCC("aach");
        case FF_PROFILE_AAC_HE_V2: return fourCC("aacp");
        case FF_PROFILE_AAC_LD: return fourCC("aacl");
        case FF_PROFILE_AAC_ELD: return fourCC("aace");
        default: return FormatID::MPEG4AAC;
        }
    case AV_CODEC_ID_ALAC: return FormatID::AppleLossless;
    case AV_CODEC_ID_FLAC: return FormatID::FLAC;
    case AV_CODEC_ID_AC3: return fourCC("ac-3");
    case AV_CODEC_ID_EAC3: return fourCC("ec-3");
    case AV_CODEC_ID_OPUS: return fourCC("opus");
    case AV_CODEC_ID_ADPCM_IMA_QT: return fourCC("ima4");
    case AV_CODEC_ID_ADPCM_IMA_WAV: return 0x6D730011; // DVI/Intel IMA
    case AV_CODEC_ID_ADPCM_MS: return 0x6D730002;
    case AV_CODEC_ID_GSM_MS: return 0x6D730031;
    case AV_CODEC_ID_AMR_NB: return fourCC("samr");
    case AV_CODEC_ID_AMR_WB: return fourCC("sawb");
    case AV_CODEC_ID_ILBC: return fourCC("ilbc");
    case AV_CODEC_ID_QDMC: return fourCC("QDMC");
    case AV_CODEC_ID_QDM2: return fourCC("QDM2");
    case AV_CODEC_ID_QCELP: return fourCC("Qclp");
    case AV_CODEC_ID_MACE3: return fourCC("MAC3");
    case AV_CODEC_ID_MACE6: return fourCC("MAC6");
    default: break;
    }
    if (isLinearPCM(p.codec_id)) return FormatID::LinearPCM;
    return std::nullopt;
}

std::uint32_t bitsPerChannelOf(const AVCodecParameters& p, const AVCodecContext& codec) {
    if (p.codec_id == AV_CODEC_ID_PCM_ALAW || p.codec_id == AV_CODEC_ID_PCM_MULAW) return 8;
    if (isLinearPCM(p.codec_id)) {
        const int stored = p.bits_per_coded_sample > 0 ? p.bits_per_coded_sample : av_get_bits_per_sample(p.codec_id);
        return std::uint32_t(std::max(stored, 0));
    }
    if (p.codec_id == AV_CODEC_ID_ALAC || p.codec_id == AV_CODEC_ID_FLAC) {
        for (int bits : {codec.bits_per_raw_sample, p.bits_per_raw_sample, p.bits_per_coded_sample})
            if (bits > 0) return std::uint32_t(bits);
    }
    return 0;
}

bool containerMatches(ContainerKind kind, const AVInputFormat* format) {
    const std::string_view name = format->name;
    switch (kind) {
    case ContainerKind::WAVE: return name == "wav";
    case ContainerKind::AIFF: return name == "aiff";
    case ContainerKind::CAF: return name == "caf";
    case ContainerKind::Other: return false;
    }
    return false;
}

void trimToPacketDuration(AVFrame* frame, AVRational timeBase) {
    if (frame->pkt_duration <= 0 || frame->sample_rate <= 0) return;
    const std::int64_t frames = toFrames(frame->pkt_duration, timeBase, frame->sample_rate);
    if (frames > 0 && frames < frame->nb_samples) frame->nb_samples = int(frames);
}

Decoder::Decoder(const Source& source, int streamIndex) : format_(openInput(source)) {
    const AVCodec* codec = nullptr;
    if (streamIndex < 0) {
        index_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (index_ < 0) fail(index_);
    } else {
        index_ = streamIndex;
        if (unsigned(index_) >= format_->nb_streams ||
            format_->streams[index_]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            fail(AVERROR_STREAM_NOT_FOUND);
        codec = avcodec_find_decoder(format_->streams[index_]->codecpar->codec_id);
    }
    stream_ = format_->streams[index_];
    keepOnlyStream(format_.get(), index_);
    const AVCodecParameters& par = *stream_->codecpar;
    if (par.ch_layout.nb_channels <= 0 || par.sample_rate <= 0) fail(AVERROR_INVALIDDATA);
    codec_ = openCodec(*stream_, codec);
    trim_ = isMP4Family(format_->iformat);
}

bool Decoder::next(AVPacket* packet, AVFrame* frame, bool tolerateDamage) {
    while (!finished_) {
        const int err = avcodec_receive_frame(codec_.get(), frame);
        if (err >= 0) {
            if (trim_) trimToPacketDuration(frame, stream_->time_base);
            if (frame->nb_samples > 0) return true;
        } else if (err == AVERROR_EOF || drained_) {
            finished_ = true;
        } else if (err == AVERROR(EAGAIN) || tolerateDamage) {
            feed(packet, tolerateDamage);
        } else {
            if (isHardError(err, format_.get())) fail(err);
            finished_ = true;
        }
    }
    return false;
}

bool Decoder::seek(std::int64_t ts) {
    return restartAfter(
        avformat_seek_file(format_.get(), index_, std::numeric_limits<std::int64_t>::min(), ts, ts, 0));
}

bool Decoder::seekToByte(std::int64_t pos) {
    return restartAfter(av_seek_frame(format_.get(), index_, pos, AVSEEK_FLAG_BYTE));
}

bool Decoder::restartAfter(int seekResult) {
    if (seekResult < 0) return false;
    primingFrames_ = 0; // a seek lands past the start
    avcodec_flush_buffers(codec_.get());
    finished_ = drained_ = false;
    return true;
}

void Decoder::feed(AVPacket* packet, bool tolerateDamage) {
    for (;;) {
        const int read = av_read_frame(format_.get(), packet);
        if (read < 0) {
            if (isHardError(read, format_.get())) fail(read);
            break; // end of data, or damage the demuxer cannot get past
        }
        if (packet->stream_index != index_) {
            av_packet_unref(packet);
            continue;
        }
        if (observer_) observer_->packet(*packet);
        if (primingFrames_ > 0) {
            // libavcodec drops skip-samples side data's frames across as many frames as it takes.
            std::uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
            if (!side) fail(AVERROR(ENOMEM));
            AV_WL32(side, std::uint32_t(std::min<std::int64_t>(primingFrames_, std::numeric_limits<std::int32_t>::max())));
            AV_WL32(side + 4, 0);
            side[8] = side[9] = 0;
            primingFrames_ = 0;
        }
        const int sent = avcodec_send_packet(codec_.get(), packet);
        av_packet_unref(packet);
        if (sent >= 0 || sent == AVERROR(EAGAIN)) return;
        if (isHardError(sent, format_.get())) fail(sent);
        if (!tolerateDamage) break;
    }
    // Drain what the decoder still holds.
    avcodec_send_packet(codec_.get(), nullptr);
    drained_ = true;
}

} // namespace vaun::ffmpeg
