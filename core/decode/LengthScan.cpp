#include "decode/LengthScan.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <array>
#include <limits>

namespace vaun::ffmpeg {
namespace {

// A scan decodes its first and last packets for real, where decoders and containers
// have their quirks (Vorbis's first packet gives no samples, priming packets are
// dropped, the last packet is cut), and only models the regular packets between.
constexpr int kHeadPackets = 32;
constexpr int kTailPackets = 8;
constexpr int kTailWarmup = 2;

// Decodes the packets handed to it and counts the frames that come out.
class FrameCounter {
public:
    FrameCounter(const AVStream& stream, bool trim)
        : stream_(stream), codec_(openCodec(stream, avcodec_find_decoder(stream.codecpar->codec_id))), trim_(trim) {}

    // Null drains. False on a decode error: reads end at the same damage.
    bool add(const AVPacket* packet) {
        const int sent = avcodec_send_packet(codec_.get(), packet);
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) return false;
        for (;;) {
            const int got = avcodec_receive_frame(codec_.get(), frame_.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
            if (got < 0) return false;
            if (trim_) trimToPacketDuration(frame_.get(), stream_.time_base);
            frames_ += frame_->nb_samples;
        }
    }
    std::int64_t frames() const { return frames_; }
    void forget() { frames_ = 0; }

private:
    const AVStream& stream_;
    CodecPtr codec_;
    FramePtr frame_ = makeFrame();
    bool trim_;
    std::int64_t frames_ = 0;
};

// Where the FLAC frames near the end of the file stop, from their timestamps: what a
// truncated file still holds. A cut-off last frame does not decode and does not count.
// The payload runs from the first frame to the end of the last whole one.
Scan flacTail(const Source& source, int index, int rate) {
    constexpr std::int64_t kTailBytes = 256 * 1024;
    const FormatPtr format = openInput(source);
    if (unsigned(index) >= format->nb_streams) return {};
    keepOnlyStream(format.get(), index);
    const PacketPtr packet = makePacket();
    std::int64_t firstPos = -1;
    while (firstPos < 0 && av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) firstPos = packet->pos;
        av_packet_unref(packet.get());
    }
    const std::int64_t size = avio_size(format->pb);
    if (size < 0 || av_seek_frame(format.get(), -1, std::max<std::int64_t>(0, size - kTailBytes), AVSEEK_FLAG_BYTE) < 0)
        return {};
    const AVRational timeBase = format->streams[index]->time_base;
    const PacketPtr last = makePacket();
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->pts != AV_NOPTS_VALUE && packet->duration > 0) {
            av_packet_unref(last.get());
            av_packet_move_ref(last.get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
    if (last->duration <= 0) return {};
    FrameCounter check(*format->streams[index], false);
    const bool whole = check.add(last.get()) && check.add(nullptr) && check.frames() > 0;
    Scan tail;
    tail.length = toFrames(whole ? last->pts + last->duration : last->pts, timeBase, rate);
    const std::int64_t end = whole ? last->pos + last->size : last->pos;
    if (firstPos >= 0 && last->pos >= 0 && end > firstPos) tail.payloadBytes = end - firstPos;
    return tail;
}

} // namespace

std::int64_t headerPCMLength(const ContainerLayout& container, const AVCodecParameters& par) {
    if (!container.sampleData) return kUnknownLength;
    const int bits = av_get_bits_per_sample(par.codec_id);
    if (bits <= 0 || bits % 8 != 0) return kUnknownLength;
    const std::uint64_t bytesPerFrame = std::uint64_t(bits / 8) * std::uint64_t(par.ch_layout.nb_channels);
    std::uint64_t frames = container.sampleData->byteCount / bytesPerFrame;
    if (container.sampleData->frameCount) frames = std::min(frames, *container.sampleData->frameCount);
    return std::int64_t(std::min<std::uint64_t>(frames, std::numeric_limits<std::int64_t>::max()));
}

Scan streamInfoLength(const Source& source, int index, const AVCodecParameters& par) {
    if (par.extradata_size < 18) return {};
    const std::uint8_t* s = par.extradata;
    const std::int64_t total = (std::int64_t(s[13] & 0x0F) << 32) | std::int64_t(AV_RB32(s + 14));
    if (total <= 0) return {};
    Scan tail = flacTail(source, index, par.sample_rate);
    tail.length = tail.length > 0 ? std::min(total, tail.length) : total;
    return tail;
}

std::int64_t PacketModel::frames(const AVPacket* packet) {
    const int rate = par_->sample_rate;
    std::int64_t decoded = av_get_audio_frame_duration2(par_, packet->size);
    std::int64_t duration = packet->duration > 0 ? toFrames(packet->duration, timeBase_, rate) : 0;
    // Durations in a time base coarser than the sample rate (Matroska's milliseconds)
    // are rounded and cannot count frames.
    const bool exactDuration = std::int64_t(timeBase_.num) * rate <= std::int64_t(timeBase_.den);
    if (decoded <= 0) {
        if (!exactDuration) return packet->size == 0 ? 0 : kUnknownLength;
        decoded = duration;
    }
    std::int64_t padding = 0;
    std::size_t sideSize = 0;
    if (const std::uint8_t* side = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &sideSize);
        side && sideSize >= 10) {
        skip_ = AV_RL32(side);
        padding = AV_RL32(side + 4);
    }
    if (decoded <= 0) return packet->size == 0 ? 0 : kUnknownLength;
    if (packet->flags & AV_PKT_FLAG_DISCARD) {
        skip_ = std::max<std::int64_t>(0, skip_ - decoded);
        return 0;
    }
    const std::int64_t cut = std::min(skip_, decoded);
    decoded -= cut;
    duration = std::max<std::int64_t>(0, duration - cut);
    skip_ -= cut;
    if (decoded > 0 && padding > 0 && padding <= decoded) {
        decoded -= padding;
        duration = decoded;
    }
    if (trim_ && exactDuration && duration > 0) decoded = std::min(decoded, duration);
    return decoded;
}

void PacketTrail::packet(AVPacket& packet) {
    // Past the start, skip-samples side data can only come from timestamps the demuxer
    // lost in the byte seek; the end is cut by length() anyway.
    av_packet_shrink_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 0);
    const std::int64_t frames = model_.frames(&packet);
    if (frames < 0 || packet.pos < 0 || (entries_.empty() && packet.pos != expectedPos_)) lost_ = true;
    for (const Entry& e : entries_)
        if (e.pos == packet.pos) lost_ = true; // packets sharing a position cannot be told apart
    if (lost_) return;
    entries_.push_back({packet.pos, next_, frames});
    next_ += frames;
}

std::optional<std::int64_t> PacketTrail::place(const AVFrame& frame) const {
    if (lost_) return std::nullopt;
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e)
        if (e->pos == frame.pkt_pos)
            return e->frames == frame.nb_samples ? std::optional(e->start) : std::nullopt;
    return std::nullopt;
}

Scan scanLength(const Source& source, int index, AVCodecParameters* par) {
    const FormatPtr format = openInput(source);
    if (unsigned(index) >= format->nb_streams) return {};
    const bool wantPoints = !source.seeksExactly && !(format->iformat->flags & AVFMT_NO_BYTE_SEEK);
    Scan scan;
    keepOnlyStream(format.get(), index);
    const AVStream& stream = *format->streams[index];
    const bool trim = isMP4Family(format->iformat);
    const PacketPtr packet = makePacket();
    PacketModel model(par, stream.time_base, trim);
    FrameCounter head(stream, trim);

    // The last packets read, kept to be decoded once the end is known.
    constexpr int kKept = kTailPackets + kTailWarmup;
    std::array<PacketPtr, kKept> kept;
    for (auto& p : kept) p = makePacket();
    std::array<std::int64_t, kKept> keptModel{};

    std::int64_t packets = 0;
    std::int64_t modelled = 0;
    std::int64_t payload = 0;
    const auto counted = [&](std::int64_t length) {
        scan.length = length;
        scan.payloadBytes = payload;
        return std::move(scan);
    };
    for (;; ++packets) {
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            if (isHardError(read, format.get())) fail(read);
            break;
        }
        if (packet->stream_index != index) {
            av_packet_unref(packet.get());
            --packets;
            continue;
        }
        // Packets an edit list leaves out are not part of what plays.
        if (!(packet->flags & AV_PKT_FLAG_DISCARD)) payload += packet->size;
        const bool settled = model.settled();
        const std::int64_t frames = model.frames(packet.get());
        const auto slot = std::size_t(packets % kKept);
        keptModel[slot] = 0;
        if (packets < kHeadPackets) {
            if (!head.add(packet.get())) return counted(head.frames());
        } else if (frames == kUnknownLength) {
            return {};
        } else {
            const std::int64_t start = head.frames() + modelled;
            if (wantPoints && settled && packet->pos >= 0 &&
                (scan.points.empty() || start - scan.points.back().frame >= par->sample_rate))
                scan.points.push_back({packet->pos, start});
            modelled += frames;
            keptModel[slot] = frames;
        }
        av_packet_unref(kept[slot].get());
        av_packet_move_ref(kept[slot].get(), packet.get());
    }
    if (packets <= kHeadPackets) {
        head.add(nullptr);
        scan.points.clear();
        return counted(head.frames());
    }
    // Decode the last packets after the head instead of modelling them, a couple of
    // earlier ones first so that the decoder has its context.
    const std::int64_t tail = std::min<std::int64_t>(kTailPackets, packets - kHeadPackets);
    const std::int64_t first = std::max<std::int64_t>(0, packets - tail - kTailWarmup);
    for (std::int64_t i = packets - tail; i < packets; ++i) modelled -= keptModel[std::size_t(i % kKept)];
    FrameCounter end(stream, trim);
    bool intact = true;
    for (std::int64_t i = first; i < packets && intact; ++i) {
        intact = end.add(kept[std::size_t(i % kKept)].get());
        if (i < packets - tail) end.forget();
    }
    if (intact) end.add(nullptr);
    return counted(head.frames() + modelled + end.frames());
}

std::int64_t decodeLength(const Source& source, int index) {
    Decoder decoder(source, index);
    const PacketPtr packet = makePacket();
    const FramePtr frame = makeFrame();
    std::int64_t total = 0;
    while (decoder.next(packet.get(), frame.get(), false)) total += frame->nb_samples;
    return total;
}

} // namespace vaun::ffmpeg
