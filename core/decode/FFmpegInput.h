#pragma once
// FFmpeg plumbing behind AudioFile: owned FFmpeg objects, opening a local file with the
// right demuxer, and one demuxer-plus-decoder over a stream from its start.
#include "decode/AudioFormat.h"
#include "decode/ContainerLayout.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vaun::ffmpeg {

// FFmpeg writes no log of ours.
void silenceFFmpeg();
std::string ffmpegMessage(int err);
// Throws DecoderError with FFmpeg's message.
[[noreturn]] void fail(int err);

struct FormatCloser {
    void operator()(AVFormatContext* c) const noexcept { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const noexcept { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const noexcept { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const noexcept { av_frame_free(&f); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const noexcept { swr_free(&s); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;

PacketPtr makePacket();
FramePtr makeFrame();

// How to open the file: FFmpeg's own probe result, or a raw PCM reader placed on the
// sample data where FFmpeg's demuxer would misread the container.
struct Source {
    std::string url;
    const AVInputFormat* format = nullptr;
    std::vector<std::pair<std::string, std::string>> options;
    // Timestamps after a seek are exact sample positions.
    bool seeksExactly = false;
};

bool isMP4Family(const AVInputFormat* format);
// FFmpeg's probe of a local file; playlist-style demuxers are refused.
Source probe(const std::string& url);
// RIFX PCM, which FFmpeg 5.1 misreads, as a raw reader on its sample data.
std::optional<Source> rifxSource(const ContainerLayout& container, const std::string& url);
// Little-endian WAVE (RIFF, RF64, BW64) integer or float PCM as a raw reader on its sample
// data, for files FFmpeg's WAV reader refuses although their 'fmt ' and 'data' are sound
// (FFmpeg 5.1 refuses a short 'bext' after the data, for one). Absent when the format
// chunk does not describe such PCM.
std::optional<Source> rawWaveSource(const ContainerLayout& container, const std::string& url);
FormatPtr openInput(const Source& source);
void keepOnlyStream(AVFormatContext* format, int index);
CodecPtr openCodec(const AVStream& stream, const AVCodec* codec);
// A hard I/O failure, as opposed to the end of the data or damage inside it.
bool isHardError(int err, const AVFormatContext* format);
std::int64_t toFrames(std::int64_t ts, AVRational timeBase, int rate);

// The native format as Core Audio would describe it.
std::optional<std::uint32_t> formatIDOf(const AVCodecParameters& p);
std::uint32_t bitsPerChannelOf(const AVCodecParameters& p, const AVCodecContext& codec);
// FFmpeg's demuxer is the one for the container we parsed ourselves.
bool containerMatches(ContainerKind kind, const AVInputFormat* format);

// MP4 records the true length of the last packet only in its duration, not as
// skip-samples side data; cut the decoder's padding to it.
void trimToPacketDuration(AVFrame* frame, AVRational timeBase);

// Sees each packet of the stream on its way into the decoder.
class PacketObserver {
public:
    virtual ~PacketObserver() = default;
    virtual void packet(AVPacket& packet) = 0;
};

// One demuxer and decoder over the file, from its start.
class Decoder {
public:
    // streamIndex -1 picks the best audio stream.
    Decoder(const Source& source, int streamIndex);

    AVFormatContext* format() const { return format_.get(); }
    AVCodecContext* codec() const { return codec_.get(); }
    AVStream* stream() const { return stream_; }
    int index() const { return index_; }
    void finish() { finished_ = true; }
    // Drops this many frames from the start of the stream, where the container states an
    // encoder's priming that FFmpeg's demuxer leaves in. Only before the first read.
    void skipAtStart(std::int64_t frames) { primingFrames_ = frames; }

    // The next frame with samples, or false at the end. Damage ends the stream unless
    // `tolerateDamage` (used while decoding up to a seek target); I/O failures throw.
    bool next(AVPacket* packet, AVFrame* frame, bool tolerateDamage);
    // Seeks the demuxer so that the next packet starts at or before `ts`.
    bool seek(std::int64_t ts);
    // Seeks the demuxer to the packet that starts at byte `pos`.
    bool seekToByte(std::int64_t pos);

    void observe(PacketObserver* observer) { observer_ = observer; }

private:
    bool restartAfter(int seekResult);
    void feed(AVPacket* packet, bool tolerateDamage);

    FormatPtr format_;
    CodecPtr codec_;
    AVStream* stream_ = nullptr;
    int index_ = -1;
    PacketObserver* observer_ = nullptr;
    std::int64_t primingFrames_ = 0;
    bool trim_ = false;
    bool drained_ = false;
    bool finished_ = false;
};

} // namespace vaun::ffmpeg
