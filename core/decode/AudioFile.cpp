#include "decode/AudioFile.h"

#include "common/Errors.h"
#include "decode/ContainerLayout.h"
#include "decode/FFmpegFacts.h"
#include "decode/FFmpegInput.h"
#include "decode/LengthScan.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>

namespace vaun {

using namespace ffmpeg;

// ---------------------------------------------------------------------------------------
// AudioPCMBuffer

std::unique_ptr<AudioPCMBuffer> AudioPCMBuffer::make(std::uint32_t channelCount, std::uint32_t frameCapacity) {
    if (channelCount == 0 || frameCapacity == 0) return nullptr;
    try {
        return std::make_unique<AudioPCMBuffer>(channelCount, frameCapacity);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
}

AudioPCMBuffer::AudioPCMBuffer(std::uint32_t channelCount, std::uint32_t frameCapacity)
    : storage_(std::size_t(channelCount) * frameCapacity), planes_(channelCount), frameCapacity_(frameCapacity) {
    for (std::size_t c = 0; c < planes_.size(); ++c) planes_[c] = storage_.data() + c * frameCapacity;
}

void AudioPCMBuffer::setFrameLength(std::uint32_t frames) { frameLength_ = std::min(frames, frameCapacity_); }


namespace {

// libswresample's channel limit (SWR_CH_MAX).
constexpr int kResamplerChannels = 64;

[[noreturn]] void failSystem(std::errc code, const std::filesystem::path& path) {
    const int err = int(code);
    throw SystemError(err, std::generic_category().message(err) + ": " + path.string());
}

struct Opened {
    Source source;
    std::unique_ptr<Decoder> decoder;
    // Read raw from the sample data the container walk found, not by FFmpeg's demuxer.
    bool raw = false;
    bool fallback = false;
};

Opened openDecoder(const ContainerLayout& container, const std::string& url) {
    if (std::optional<Source> rifx = rifxSource(container, url)) {
        auto decoder = std::make_unique<Decoder>(*rifx, -1);
        return {std::move(*rifx), std::move(decoder), true, false};
    }
    try {
        Source source = probe(url);
        auto decoder = std::make_unique<Decoder>(source, -1);
        return {std::move(source), std::move(decoder), false, false};
    } catch (const DecoderError&) {
        // FFmpeg's WAV reader gives up on some damage outside the audio; the audio itself
        // may still be whole. Any failure of the raw reader reports FFmpeg's refusal.
        const std::exception_ptr refused = std::current_exception();
        std::optional<Source> raw = rawWaveSource(container, url);
        if (!raw) throw;
        try {
            auto decoder = std::make_unique<Decoder>(*raw, -1);
            return {std::move(*raw), std::move(decoder), true, true};
        } catch (const DecoderError&) {
        }
        std::rethrow_exception(refused);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// AudioFile

struct AudioFile::Impl {
    Source source;
    std::unique_ptr<Decoder> decoder;
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    // Frames of `frame` already delivered; the rest waits for the next read.
    int frameOffset = 0;
    bool frameReady = false;
    // True while decoding runs from the first frame (no seek since the last open).
    bool fromStart = true;
    bool firstTimestampTaken = false;
    std::optional<std::int64_t> firstTimestamp; // in frames
    SwrPtr converter;
    int converterFormat = AV_SAMPLE_FMT_NONE;
    std::vector<const std::uint8_t*> sourcePlanes;
    std::vector<std::uint8_t*> targetPlanes;

    AudioFormat fileFormat;
    AudioFormat processingFormat;
    StreamFacts facts;
    // Frames of encoder priming the container states and FFmpeg's demuxer keeps.
    std::int64_t priming = 0;
    int channels = 0;
    int rate = 0;
    std::int64_t length = 0;
    std::int64_t position = 0;
    std::int64_t preroll = 0;
    std::vector<SeekPoint> seekPoints;

    bool pull(bool tolerateDamage) {
        frameReady = false;
        frameOffset = 0;
        if (!decoder->next(packet.get(), frame.get(), tolerateDamage)) return false;
        if (fromStart && !firstTimestampTaken) {
            firstTimestampTaken = true;
            if (const std::int64_t ts = timestampOf(*frame); ts != AV_NOPTS_VALUE)
                firstTimestamp = toFrames(ts, decoder->stream()->time_base, rate);
        }
        // A stream that changes its shape midway cannot go on into the same buffer.
        if (frame->ch_layout.nb_channels != channels || frame->sample_rate != rate) {
            decoder->finish();
            return false;
        }
        frameReady = true;
        return true;
    }

    static std::int64_t timestampOf(const AVFrame& f) {
        return f.pts != AV_NOPTS_VALUE ? f.pts : f.best_effort_timestamp;
    }

    void convert(int from, int count, AudioPCMBuffer& buffer, std::uint32_t at) {
        const auto format = AVSampleFormat(frame->format);
        float* const* planes = buffer.floatChannelData();
        if (format == AV_SAMPLE_FMT_FLTP) {
            for (int c = 0; c < channels; ++c)
                std::memcpy(planes[c] + at, reinterpret_cast<const float*>(frame->extended_data[c]) + from,
                            std::size_t(count) * sizeof(float));
            return;
        }
        const int bytes = av_get_bytes_per_sample(format);
        if (channels > kResamplerChannels) {
            convertPlainly(format, from, count, planes, at);
            return;
        }
        if (!converter || converterFormat != format) makeConverter(format);
        if (av_sample_fmt_is_planar(format)) {
            for (int c = 0; c < channels; ++c) sourcePlanes[std::size_t(c)] = frame->extended_data[c] + from * bytes;
        } else {
            sourcePlanes[0] = frame->extended_data[0] + std::size_t(from) * std::size_t(bytes) * std::size_t(channels);
        }
        for (int c = 0; c < channels; ++c) targetPlanes[std::size_t(c)] = reinterpret_cast<std::uint8_t*>(planes[c] + at);
        const int done = swr_convert(converter.get(), targetPlanes.data(), count, sourcePlanes.data(), count);
        if (done != count) fail(done < 0 ? done : AVERROR_BUG);
    }

    // libswresample's own scale factors, for files with more channels than it takes.
    void convertPlainly(AVSampleFormat format, int from, int count, float* const* planes, std::uint32_t at) const {
        const bool planar = av_sample_fmt_is_planar(format);
        const AVSampleFormat packed = av_get_packed_sample_fmt(format);
        const std::size_t bytes = std::size_t(av_get_bytes_per_sample(format));
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < count; ++i) {
                const std::size_t index = planar ? std::size_t(from + i) : std::size_t(from + i) * std::size_t(channels) + std::size_t(c);
                const std::uint8_t* p = frame->extended_data[planar ? c : 0] + index * bytes;
                float v = 0;
                switch (packed) {
                case AV_SAMPLE_FMT_U8: v = float(*p - 0x80) * (1.0f / (1 << 7)); break;
                case AV_SAMPLE_FMT_S16: v = float(load<std::int16_t>(p)) * (1.0f / (1 << 15)); break;
                case AV_SAMPLE_FMT_S32: v = float(load<std::int32_t>(p)) * (1.0f / (1U << 31)); break;
                case AV_SAMPLE_FMT_S64: v = float(double(load<std::int64_t>(p)) * (1.0 / double(std::uint64_t(1) << 63))); break;
                case AV_SAMPLE_FMT_FLT: v = load<float>(p); break;
                case AV_SAMPLE_FMT_DBL: v = float(load<double>(p)); break;
                default: break;
                }
                planes[c][at + std::uint32_t(i)] = v;
            }
        }
    }

    template <typename T>
    static T load(const std::uint8_t* p) {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }

    // Sample-format conversion only: same channels in and out (unspecified order, so no
    // remix is ever planned) and the same rate.
    void makeConverter(AVSampleFormat format) {
        AVChannelLayout layout{};
        layout.order = AV_CHANNEL_ORDER_UNSPEC;
        layout.nb_channels = channels;
        SwrContext* raw = nullptr;
        int err = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLTP, rate, &layout, format, rate, 0, nullptr);
        SwrPtr swr(raw);
        if (err >= 0) err = swr_init(swr.get());
        if (err < 0) fail(err);
        converter = std::move(swr);
        converterFormat = format;
    }

    void restart() {
        decoder = std::make_unique<Decoder>(source, decoder->index());
        decoder->skipAtStart(priming);
        frameReady = false;
        frameOffset = 0;
        fromStart = true;
        position = 0;
    }

    // Decodes forward and drops `frames` frames.
    void skip(std::int64_t frames) {
        const std::int64_t target = position + frames;
        while (position < target) {
            if (!frameReady || frameOffset >= frame->nb_samples) {
                if (!pull(false)) break;
            }
            const int take = int(std::min<std::int64_t>(frame->nb_samples - frameOffset, target - position));
            frameOffset += take;
            position += take;
        }
        position = target;
    }

    // Seeks to a byte position the scan noted a little before `target`, then places the
    // frames by their packets. False when they cannot be placed.
    bool seekByPoint(std::int64_t target) {
        const auto after = std::upper_bound(seekPoints.begin(), seekPoints.end(), target - preroll,
                                            [](std::int64_t f, const SeekPoint& p) { return f < p.frame; });
        if (after == seekPoints.begin() || !decoder->seekToByte(std::prev(after)->pos)) return false;
        AVStream* stream = decoder->stream();
        PacketTrail trail(PacketModel(stream->codecpar, stream->time_base, false), *std::prev(after));
        decoder->observe(&trail);
        fromStart = false;
        bool placed = false;
        while (!placed && pull(true)) {
            const std::optional<std::int64_t> start = trail.place(*frame);
            if (!start || *start > target) break;
            if (*start + frame->nb_samples > target) {
                frameOffset = int(target - *start);
                position = target;
                placed = true;
            }
        }
        decoder->observe(nullptr);
        return placed;
    }

    // Seeks the demuxer a little before `target`, then finds the frame from the decoded
    // timestamps. False when the timestamps cannot place it.
    bool seekByTimestamp(std::int64_t target) {
        if (!firstTimestamp) return false;
        const AVRational timeBase = decoder->stream()->time_base;
        const std::int64_t from = std::max<std::int64_t>(0, target - preroll);
        if (!decoder->seek(av_rescale_q(*firstTimestamp + from, AVRational{1, rate}, timeBase))) return false;
        fromStart = false;
        frameReady = false;
        std::optional<std::int64_t> next;
        for (;;) {
            if (!pull(true)) {
                if (!next) return false;
                position = target; // the stream ends before the target
                return true;
            }
            std::int64_t start = 0;
            if (const std::int64_t ts = timestampOf(*frame); ts != AV_NOPTS_VALUE)
                start = toFrames(ts, timeBase, rate) - *firstTimestamp;
            else if (next)
                start = *next;
            else
                continue;
            // Landing after the target, or timestamps that jump past it: not trustworthy.
            if (start > target) return false;
            next = start + frame->nb_samples;
            if (*next > target) {
                frameOffset = int(target - start);
                position = target;
                return true;
            }
        }
    }
};

AudioFile::AudioFile(const std::filesystem::path& path) : impl_(std::make_unique<Impl>()) {
    silenceFFmpeg();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) failSystem(std::errc::no_such_file_or_directory, path);
    if (std::filesystem::is_directory(status)) failSystem(std::errc::is_a_directory, path);
    if (!std::filesystem::is_regular_file(status)) failSystem(std::errc::invalid_argument, path);

    Impl& m = *impl_;
    const std::string url = "file:" + path.string();
    const ContainerLayout container = readContainerLayout(path);
    Opened opened = openDecoder(container, url);
    m.source = std::move(opened.source);
    m.decoder = std::move(opened.decoder);
    AVCodecParameters* par = m.decoder->stream()->codecpar;
    m.channels = par->ch_layout.nb_channels;
    m.rate = par->sample_rate;
    m.sourcePlanes.resize(std::size_t(m.channels));
    m.targetPlanes.resize(std::size_t(m.channels));

    // For WAVE, AIFF and CAF the container's own bytes decide layout and PCM length;
    // FFmpeg's guessed default layout must not stand in for "the file says nothing".
    const bool containerDecides = opened.raw || containerMatches(container.kind, m.source.format);

    AudioFormat& native = m.fileFormat;
    native.sampleRateHz = m.rate;
    native.channelCount = std::uint32_t(m.channels);
    native.formatID = formatIDOf(*par);
    native.bitsPerChannel = bitsPerChannelOf(*par, *m.decoder->codec());
    // The raw reader knows only the slot size; FFmpeg's WAV reader reports the stored bits.
    if (opened.fallback) native.bitsPerChannel = container.waveFormat->bitsPerSample;
    native.channelLayout = containerDecides ? container.layout : layoutFromFFmpeg(par->ch_layout);
    m.processingFormat = native;
    m.processingFormat.formatID = FormatID::LinearPCM;
    m.processingFormat.bitsPerChannel = 32;

    // The container's own trimming where FFmpeg's demuxer leaves it out: a CAF packet
    // table's priming and end, an iTunes gapless tag's end (FFmpeg applies its priming).
    std::optional<std::int64_t> validFrames;
    if (containerDecides && container.packetTable) {
        m.priming = container.packetTable->primingFrames;
        if (container.packetTable->validFrames > 0) validFrames = container.packetTable->validFrames;
    } else if (!opened.raw && isMP4Family(m.source.format)) {
        validFrames = iTunesValidFrames(*m.decoder->format());
    }
    m.decoder->skipAtStart(m.priming);

    std::int64_t length = kUnknownLength;
    std::optional<std::int64_t> payloadBytes;
    if (containerDecides && av_get_bits_per_sample(par->codec_id) > 0) {
        length = headerPCMLength(container, *par);
    } else if (par->codec_id == AV_CODEC_ID_FLAC && std::string_view(m.source.format->name) == "flac") {
        const Scan extent = streamInfoLength(m.source, m.decoder->index(), *par);
        length = extent.length;
        payloadBytes = extent.payloadBytes;
    }
    if (length == kUnknownLength) {
        Scan scan = scanLength(m.source, m.decoder->index(), par);
        length = scan.length;
        payloadBytes = scan.payloadBytes;
        m.seekPoints = std::move(scan.points);
        // Scanned frames count the priming the reads drop.
        std::erase_if(m.seekPoints, [&](SeekPoint& p) { return (p.frame -= m.priming) < 0; });
    }
    // Counted without the priming skip: that comes off here, and the stated end caps the rest.
    if (length == kUnknownLength) length = decodeLength(m.source, m.decoder->index());
    length = std::max<std::int64_t>(0, length - m.priming);
    if (validFrames) length = std::min(length, *validFrames);
    m.length = length;

    m.facts = describeStream(*m.decoder->format(), *m.decoder->stream());
    m.facts.bitRate = averageBitRate(*m.decoder->format(), *par, payloadBytes, length);

    const bool intraOnly = av_get_bits_per_sample(par->codec_id) > 0;
    m.preroll = intraOnly ? 0 : std::max<std::int64_t>({8192, 4 * std::int64_t(par->frame_size), par->seek_preroll});
}

AudioFile::~AudioFile() = default;
AudioFile::AudioFile(AudioFile&&) noexcept = default;
AudioFile& AudioFile::operator=(AudioFile&&) noexcept = default;

const AudioFormat& AudioFile::fileFormat() const { return impl_->fileFormat; }
const AudioFormat& AudioFile::processingFormat() const { return impl_->processingFormat; }
std::int64_t AudioFile::length() const { return impl_->length; }
const StreamFacts& AudioFile::streamFacts() const { return impl_->facts; }
std::int64_t AudioFile::framePosition() const { return impl_->position; }

void AudioFile::read(AudioPCMBuffer& buffer, std::uint32_t frameCount) {
    Impl& m = *impl_;
    buffer.setFrameLength(0);
    if (buffer.channelCount() != std::uint32_t(m.channels)) fail(AVERROR(EINVAL));
    const auto wanted = std::uint32_t(
        std::min<std::int64_t>({frameCount, buffer.frameCapacity(), std::max<std::int64_t>(0, m.length - m.position)}));
    std::uint32_t done = 0;
    while (done < wanted) {
        if (!m.frameReady || m.frameOffset >= m.frame->nb_samples) {
            if (!m.pull(false)) break;
        }
        if (m.frameOffset < 0) break; // never read outside the frame, whatever the file did
        const int take = int(std::min<std::int64_t>(m.frame->nb_samples - m.frameOffset, wanted - done));
        m.convert(m.frameOffset, take, buffer, done);
        m.frameOffset += take;
        done += std::uint32_t(take);
    }
    buffer.setFrameLength(done);
    m.position += done;
}

void AudioFile::setFramePosition(std::int64_t frame) {
    Impl& m = *impl_;
    const std::int64_t target = std::clamp<std::int64_t>(frame, 0, m.length);
    if (target == m.position) return;
    // Short steps forward are cheapest decoded through.
    const std::int64_t forwardWindow = std::max<std::int64_t>(2 * m.preroll, 65536);
    if (target > m.position && target - m.position <= forwardWindow) {
        m.skip(target - m.position);
        return;
    }
    if (m.source.seeksExactly && target > m.preroll) {
        // The first frame's timestamp anchors the others; decode it if nothing has been read.
        if (!m.firstTimestampTaken && m.position == 0 && !m.frameReady) m.pull(false);
        if (m.seekByTimestamp(target)) return;
        m.restart();
    } else if (!m.seekPoints.empty() && target > m.preroll) {
        if (m.seekByPoint(target)) return;
        m.restart();
    }
    if (target < m.position) m.restart();
    m.skip(target - m.position);
}

} // namespace vaun
