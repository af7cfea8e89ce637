#include "decode/FFmpegFacts.h"

extern "C" {
#include <libavcodec/codec_desc.h>
#include <libavutil/dict.h>
}

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

namespace vaun::ffmpeg {
namespace {

// A stated average further than this from the payload's is not believed (an MP3 without a
// VBR header states only its first frame's rate).
constexpr double kStatedTolerance = 0.05;

void collect(const AVDictionary* dict, std::vector<std::pair<std::string, std::string>>& tags) {
    const AVDictionaryEntry* entry = nullptr;
    while (tags.size() < StreamFacts::maxRawTags && (entry = av_dict_get(dict, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        const std::string_view value(entry->value);
        tags.emplace_back(entry->key, std::string(value.substr(0, StreamFacts::maxRawTagBytes)));
    }
}

bool isUncompressed(const AVCodecParameters& par) {
    const auto id = formatIDOf(par);
    return id && (*id == FormatID::LinearPCM || *id == FormatID::ALaw || *id == FormatID::ULaw);
}

bool isLossless(AVCodecID id) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    return descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS);
}

// Demuxers whose bit rate comes from the stream's own header: MP3's Xing/Info/VBRI totals or
// frame rate, MP4's 'esds'/'btrt' average.
bool statesAverage(const AVFormatContext& format) {
    return std::string_view(format.iformat->name) == "mp3" || isMP4Family(format.iformat);
}

} // namespace

StreamFacts describeStream(const AVFormatContext& format, const AVStream& stream) {
    StreamFacts facts;
    const AVCodecParameters& par = *stream.codecpar;
    if (const AVCodecDescriptor* descriptor = avcodec_descriptor_get(par.codec_id)) {
        if (descriptor->name) facts.codecName = descriptor->name;
        if (descriptor->long_name) facts.codecLongName = descriptor->long_name;
    }
    if (const char* profile = avcodec_profile_name(par.codec_id, par.profile)) facts.profile = profile;
    collect(format.metadata, facts.tags);
    collect(stream.metadata, facts.tags);
    const AVRational frames{1, par.sample_rate > 0 ? par.sample_rate : 1};
    for (unsigned i = 0; i < format.nb_chapters && facts.chapters.size() < StreamFacts::maxChapters; ++i) {
        const AVChapter& c = *format.chapters[i];
        if (c.time_base.num <= 0 || c.time_base.den <= 0) continue;
        const AVDictionaryEntry* title = av_dict_get(c.metadata, "title", nullptr, 0);
        facts.chapters.push_back({c.id, av_rescale_q(c.start, c.time_base, frames), av_rescale_q(c.end, c.time_base, frames),
                                  title ? std::string(std::string_view(title->value).substr(0, StreamFacts::maxRawTagBytes))
                                        : std::string()});
    }
    return facts;
}

std::optional<std::int64_t> averageBitRate(const AVFormatContext& format, const AVCodecParameters& par,
                                           std::optional<std::int64_t> payloadBytes, std::int64_t frames) {
    const std::int64_t rate = par.sample_rate;
    if (isUncompressed(par)) {
        const int bits = av_get_bits_per_sample(par.codec_id);
        if (bits > 0 && rate > 0) return rate * par.ch_layout.nb_channels * bits;
    }
    std::optional<std::int64_t> fromPayload;
    if (payloadBytes && *payloadBytes > 0 && frames > 0 && rate > 0)
        fromPayload = std::llround(double(*payloadBytes) * 8.0 * double(rate) / double(frames));
    const std::int64_t stated = par.bit_rate;
    if (!isLossless(par.codec_id) && statesAverage(format) && stated > 0 &&
        (!fromPayload || std::abs(double(stated - *fromPayload)) <= kStatedTolerance * double(*fromPayload)))
        return stated;
    if (fromPayload) return fromPayload;
    if (stated > 0) return stated;
    return std::nullopt;
}

std::optional<std::int64_t> iTunesValidFrames(const AVFormatContext& format) {
    const AVDictionaryEntry* entry = av_dict_get(format.metadata, "iTunSMPB", nullptr, 0);
    if (!entry || !isMP4Family(format.iformat)) return std::nullopt;
    unsigned priming = 0, remainder = 0;
    unsigned long long valid = 0;
    if (std::sscanf(entry->value, " %*x %x %x %llx", &priming, &remainder, &valid) != 3 || valid == 0 ||
        valid > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return std::int64_t(valid);
}

} // namespace vaun::ffmpeg
