#include "playback/BinauralRenderer.h"

#include "common/Errors.h"
#include "decode/FFmpegInput.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <string_view>

namespace vaun {
namespace {

using ffmpeg::FramePtr;

// sofalizer takes its input in blocks of this many frames (its default frame size).
constexpr std::uint32_t kBlockFrames = 1024;

[[noreturn]] void failSetup(int err, const std::string& what) {
    throw DecoderError(err, "The binaural renderer could not be set up (" + what + "): " + ffmpeg::ffmpegMessage(err));
}

void check(int err, const std::string& what) {
    if (err < 0) failSetup(err, what);
}

std::string channelName(AVChannel channel) {
    std::array<char, 32> name{};
    av_channel_name(name.data(), name.size(), channel);
    return name.data();
}

std::string decimal(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f", value);
    return text.data();
}

// The filter's inputs, in FFmpeg's channel order, and where each speaker stands.
//
// FFmpeg 5.1's sofalizer reads a position given in its `speakers` option by the input's
// index in the layout, though the option names it by channel number. Both agree when every
// directional input's channel number equals its index: so the directional speakers take
// channels 0, 1, 2, 4, 5, … in bed order, and channel 3 (the one the filter treats as LFE)
// carries the bed's LFE channels summed, or silence when a bed without LFE needs the slot.
struct Inputs {
    std::uint64_t mask = 0;
    std::vector<std::vector<std::uint32_t>> sources; // bed channels feeding each input
    std::string speakers;
};

Inputs planInputs(const std::vector<SpeakerPlacement>& placed) {
    std::vector<std::uint32_t> directional, lowFrequency;
    for (std::uint32_t i = 0; i < placed.size(); ++i) (placed[i].lowFrequency ? lowFrequency : directional).push_back(i);
    if (directional.size() > std::size_t(kMaxDirectionalSpeakers)) throw noSpeakerLayout(int(placed.size()));
    Inputs in;
    const bool needsLowFrequency = !lowFrequency.empty() || directional.size() > 3;
    std::size_t next = 0;
    for (int channel = 0; next < directional.size() || (needsLowFrequency && channel <= AV_CHAN_LOW_FREQUENCY); ++channel) {
        if (channel == AV_CHAN_LOW_FREQUENCY) {
            if (!needsLowFrequency) continue;
            in.mask |= std::uint64_t(1) << channel;
            in.sources.push_back(lowFrequency);
            continue;
        }
        if (next == directional.size()) continue; // the LFE slot is still to come
        in.mask |= std::uint64_t(1) << channel;
        const SpeakerPlacement& p = placed[directional[next]];
        in.sources.push_back({directional[next++]});
        if (!in.speakers.empty()) in.speakers += '|';
        in.speakers += channelName(AVChannel(channel)) + " " + decimal(p.azimuthDegrees) + " " + decimal(p.elevationDegrees);
    }
    return in;
}

} // namespace

std::filesystem::path defaultHrtfPath() { return "/usr/share/libmysofa/default.sofa"; }

std::string hrtfDisplayName(const std::filesystem::path& sofaFile) {
    const auto name = sofaFile.filename().string();
    if (name == "default.sofa" || name == "MIT_KEMAR_normal_pinna.sofa") return "MIT KEMAR HRTF";
    return sofaFile.stem().string();
}

struct BinauralRenderer::Graph {
    struct GraphFreer {
        void operator()(AVFilterGraph* g) const noexcept { avfilter_graph_free(&g); }
    };
    std::unique_ptr<AVFilterGraph, GraphFreer> graph{avfilter_graph_alloc()};
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    FramePtr in = ffmpeg::makeFrame();
    FramePtr out = ffmpeg::makeFrame();
    AVChannelLayout layout{};
    int rate = 0;

    ~Graph() { av_channel_layout_uninit(&layout); }

    AVFilterContext* add(const char* filterName, const char* instance) {
        const AVFilter* filter = avfilter_get_by_name(filterName);
        if (!filter) failSetup(AVERROR_FILTER_NOT_FOUND, std::string("no ") + filterName + " filter in this FFmpeg");
        AVFilterContext* c = avfilter_graph_alloc_filter(graph.get(), filter, instance);
        if (!c) failSetup(AVERROR(ENOMEM), instance);
        return c;
    }
};

BinauralRenderer::BinauralRenderer(const SpeakerBed& bed, double sampleRateHz, std::uint32_t deviceChannels,
                                   const std::filesystem::path& sofaFile)
    : graph_(std::make_unique<Graph>()), deviceChannels_(std::max<std::uint32_t>(deviceChannels, 1)) {
    ffmpeg::silenceFFmpeg();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(sofaFile, ec))
        throw SystemError(ENOENT, "No HRTF set at " + sofaFile.string() + " for binaural playback (libmysofa1 installs it)");
    const auto placed = speakerPlacement(bed.labels);
    const std::size_t n = bed.labels.size();
    if (!placed || n == 0) throw noSpeakerLayout(int(n));
    Inputs inputs = planInputs(*placed);
    sources_ = std::move(inputs.sources);
    const std::uint64_t mask = inputs.mask;

    Graph& g = *graph_;
    if (!g.graph || !g.in || !g.out) failSetup(AVERROR(ENOMEM), "graph");
    g.graph->nb_threads = 1; // the feeder thread is the only one
    g.rate = int(std::lround(sampleRateHz));
    check(av_channel_layout_from_mask(&g.layout, mask), "channel layout");

    AVFilterContext* source = g.add("abuffer", "bed");
    std::array<char, 64> layoutText{};
    std::snprintf(layoutText.data(), layoutText.size(), "0x%llx", static_cast<unsigned long long>(mask));
    check(av_opt_set(source, "channel_layout", layoutText.data(), AV_OPT_SEARCH_CHILDREN), "bed layout");
    check(av_opt_set_sample_fmt(source, "sample_fmt", AV_SAMPLE_FMT_FLT, AV_OPT_SEARCH_CHILDREN), "bed format");
    check(av_opt_set_int(source, "sample_rate", g.rate, AV_OPT_SEARCH_CHILDREN), "bed rate");
    check(av_opt_set_q(source, "time_base", AVRational{1, g.rate}, AV_OPT_SEARCH_CHILDREN), "bed time base");
    check(avfilter_init_str(source, nullptr), "bed source");

    AVFilterContext* sofalizer = g.add("sofalizer", "hrtf");
    check(av_opt_set(sofalizer, "sofa", sofaFile.c_str(), AV_OPT_SEARCH_CHILDREN), "HRTF set");
    // Frequency-domain convolution: about a fifth of the time-domain cost.
    check(av_opt_set(sofalizer, "type", "freq", AV_OPT_SEARCH_CHILDREN), "type");
    check(av_opt_set(sofalizer, "speakers", inputs.speakers.c_str(), AV_OPT_SEARCH_CHILDREN), "speakers");
    // The filter takes 3 dB off per input against clipping; give back all but the power sum
    // of the bed, so a full bed plays about as loud as one of its channels.
    const double inputCount = double(sources_.size());
    const double gain = std::clamp(3.0 * inputCount - 10.0 * std::log10(double(n)), -20.0, 40.0);
    check(av_opt_set_double(sofalizer, "gain", gain, AV_OPT_SEARCH_CHILDREN), "gain");
    check(avfilter_init_str(sofalizer, nullptr), "loading " + sofaFile.string());

    AVFilterContext* sink = g.add("abuffersink", "ears");
    const AVSampleFormat formats[] = {AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_NONE};
    check(av_opt_set_int_list(sink, "sample_fmts", formats, AV_SAMPLE_FMT_NONE, AV_OPT_SEARCH_CHILDREN), "ear format");
    const int rates[] = {g.rate, -1};
    check(av_opt_set_int_list(sink, "sample_rates", rates, -1, AV_OPT_SEARCH_CHILDREN), "ear rate");
    check(av_opt_set(sink, "ch_layouts", "stereo", AV_OPT_SEARCH_CHILDREN), "ear layout");
    check(avfilter_init_str(sink, nullptr), "ear sink");

    check(avfilter_link(source, 0, sofalizer, 0), "link");
    check(avfilter_link(sofalizer, 0, sink, 0), "link");
    // Resamplers go in where the set's rate differs from the file's.
    check(avfilter_graph_config(g.graph.get(), nullptr), "graph");
    g.source = source;
    g.sink = sink;

    zeros_.assign(kBlockFrames, 0.0f);
    silence_.assign(n, zeros_.data());
}

BinauralRenderer::~BinauralRenderer() = default;

void BinauralRenderer::render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) {
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = std::min(kBlockFrames, frames - done);
        push(planes, done, n);
        pull(out, INT64_MAX);
        done += n;
    }
}

void BinauralRenderer::drain(std::vector<float>& out) {
    const std::int64_t end = fed_;
    // Silence pushes the last frames through the filter's block and the resamplers.
    for (int i = 0; i < 64 && taken_ < end; ++i) {
        push(silence_.data(), 0, kBlockFrames);
        pull(out, end);
    }
    segmentStart_ = fed_;
}

void BinauralRenderer::push(const float* const* planes, std::uint32_t offset, std::uint32_t frames) {
    Graph& g = *graph_;
    AVFrame* f = g.in.get();
    av_frame_unref(f);
    f->format = AV_SAMPLE_FMT_FLT;
    f->sample_rate = g.rate;
    f->nb_samples = int(frames);
    check(av_channel_layout_copy(&f->ch_layout, &g.layout), "frame layout");
    check(av_frame_get_buffer(f, 0), "frame");
    float* interleaved = reinterpret_cast<float*>(f->data[0]);
    const std::size_t inputs = sources_.size();
    for (std::size_t k = 0; k < inputs; ++k) {
        float* o = interleaved + k;
        for (std::uint32_t i = 0; i < frames; ++i) o[std::size_t(i) * inputs] = 0.0f;
        for (const std::uint32_t bedChannel : sources_[k]) {
            const float* in = planes[bedChannel] + offset;
            for (std::uint32_t i = 0; i < frames; ++i) o[std::size_t(i) * inputs] += in[i];
        }
    }
    f->pts = fed_;
    check(av_buffersrc_add_frame_flags(g.source, f, 0), "render");
    fed_ += frames;
}

void BinauralRenderer::pull(std::vector<float>& out, std::int64_t limit) {
    Graph& g = *graph_;
    for (;;) {
        const int err = av_buffersink_get_frame(g.sink, g.out.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
        check(err, "render");
        const auto* ears = reinterpret_cast<const float*>(g.out->data[0]);
        const std::int64_t count = g.out->nb_samples;
        // Frames of an earlier segment, or of the silence that drained this one, are dropped.
        const std::int64_t from = std::clamp(segmentStart_ - taken_, std::int64_t(0), count);
        const std::int64_t to = std::clamp(limit - taken_, from, count);
        const std::size_t base = out.size();
        out.resize(base + std::size_t(to - from) * deviceChannels_, 0.0f);
        float* o = out.data() + base;
        for (std::int64_t i = from; i < to; ++i, o += deviceChannels_) {
            const float left = ears[2 * i], right = ears[2 * i + 1];
            if (deviceChannels_ == 1) {
                o[0] = 0.5f * (left + right);
            } else {
                o[0] = left;
                o[1] = right;
            }
        }
        taken_ += count;
        av_frame_unref(g.out.get());
    }
}

} // namespace vaun
