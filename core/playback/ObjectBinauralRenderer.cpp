#include "playback/ObjectBinauralRenderer.h"

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

// Transformed filters kept; a 1° grid of one moving source stays far below this.
constexpr std::size_t kMaxFilters = 2048;

double lerp(double a, double b, double f) { return a + (b - a) * f; }

SourcePosition between(const SourcePosition& from, const SourcePosition& to, double f) {
    // Azimuth along the shorter arc, so 170° → −170° passes behind, not through the front.
    double delta = std::fmod(to.azimuthDegrees - from.azimuthDegrees, 360.0);
    if (delta > 180.0) delta -= 360.0;
    if (delta < -180.0) delta += 360.0;
    return {from.azimuthDegrees + delta * f, lerp(from.elevationDegrees, to.elevationDegrees, f),
            lerp(from.distance, to.distance, f)};
}

float distanceGain(double distance) {
    if (!std::isfinite(distance)) return 1.0f;
    return float(1.0 / std::clamp(distance, 0.5, 100.0));
}

} // namespace

SourceTrack SourceTrack::fixed(SourcePosition position) {
    SourceTrack t;
    t.blocks.push_back({0.0, 0.0, position});
    return t;
}

SourceTrack SourceTrack::lfe() {
    SourceTrack t;
    t.lowFrequency = true;
    return t;
}

SourcePosition SourceTrack::at(double seconds) const {
    if (blocks.empty()) return {};
    const auto next = std::upper_bound(blocks.begin(), blocks.end(), seconds,
                                       [](double t, const Block& b) { return t < b.rtimeSeconds; });
    if (next == blocks.begin()) return blocks.front().position;
    const Block& b = *(next - 1);
    const double into = seconds - b.rtimeSeconds;
    if (!(b.durationSeconds > 0) || into >= b.durationSeconds || next - 1 == blocks.begin()) return b.position;
    return between((next - 2)->position, b.position, into / b.durationSeconds);
}

ObjectBinauralRenderer::ObjectBinauralRenderer(std::vector<SourceTrack> tracks, double sampleRateHz,
                                               std::uint32_t deviceChannels, const std::filesystem::path& sofaFile,
                                               std::optional<float> sourceGain)
    : tracks_(std::move(tracks)),
      rate_(sampleRateHz),
      deviceChannels_(std::max<std::uint32_t>(deviceChannels, 1)),
      gain_(sourceGain ? *sourceGain : tracks_.empty() ? 1.0f : float(1.0 / std::sqrt(double(tracks_.size())))),
      hrtf_(sofaFile, sampleRateHz),
      convolver_(kBlockFrames, hrtf_.filterFrames()) {
    if (tracks_.empty() || tracks_.size() > kMaxSources)
        throw Error("VaunPlayback", kRendererSetupError, "Binaural playback takes 1 to " + std::to_string(kMaxSources) + " sources, not " +
                                        std::to_string(tracks_.size()));
    voices_.resize(tracks_.size());
    for (std::size_t i = 0; i < tracks_.size(); ++i)
        if (!tracks_[i].lowFrequency) voices_[i].source = convolver_.makeSource();
    input_.assign(tracks_.size(), std::vector<float>(kBlockFrames, 0.0f));
    scaled_.assign(kBlockFrames, 0.0f);
    for (auto& ear : ears_) ear.assign(kBlockFrames, 0.0f);
}

void ObjectBinauralRenderer::restart(std::int64_t startFrame) { restartAt(double(startFrame) / rate_); }

void ObjectBinauralRenderer::restartAt(double startSeconds) {
    startSeconds_ = std::isfinite(startSeconds) ? startSeconds : 0.0;
    fed_ = 0;
    gathered_ = 0;
    blockIndex_ = 0;
    for (std::size_t i = 0; i < voices_.size(); ++i) {
        if (tracks_[i].lowFrequency) continue;
        PartitionedConvolver::clear(voices_[i].source);
        voices_[i].direction = -1;
    }
}

void ObjectBinauralRenderer::render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) {
    for (std::uint32_t done = 0; done < frames;) {
        const auto n = std::uint32_t(std::min<std::size_t>(kBlockFrames - gathered_, frames - done));
        for (std::size_t t = 0; t < tracks_.size(); ++t)
            std::copy(planes[t] + done, planes[t] + done + n, input_[t].begin() + std::ptrdiff_t(gathered_));
        gathered_ += n;
        fed_ += n;
        done += n;
        if (gathered_ == kBlockFrames) {
            processBlock();
            emit(out, kBlockFrames);
            gathered_ = 0;
        }
    }
}

void ObjectBinauralRenderer::drain(std::vector<float>& out) {
    if (gathered_ == 0) return;
    for (auto& in : input_) std::fill(in.begin() + std::ptrdiff_t(gathered_), in.end(), 0.0f);
    processBlock();
    emit(out, gathered_);
    gathered_ = 0;
}

const PartitionedConvolver::Filter& ObjectBinauralRenderer::filterFor(int key) {
    if (auto it = filters_.find(key); it != filters_.end()) return it->second;
    const Hrir& h = hrtf_.filter(key);
    return filters_.emplace(key, convolver_.transform(h.left.data(), h.right.data())).first->second;
}

void ObjectBinauralRenderer::processBlock() {
    if (filters_.size() > kMaxFilters) {
        // Keep what the voices play now: their filters fade out during this block.
        std::unordered_map<int, PartitionedConvolver::Filter> kept;
        for (const Voice& v : voices_)
            if (auto it = filters_.find(v.direction); it != filters_.end()) kept.emplace(it->first, std::move(it->second));
        filters_ = std::move(kept);
    }
    for (auto& ear : ears_) std::fill(ear.begin(), ear.end(), 0.0f);
    // The filter of a block is the one for where the source is at its end; the crossfade
    // from the previous block's filter covers the way there.
    const double end = startSeconds_ + double((blockIndex_ + 1) * kBlockFrames) / rate_;
    const double begin = end - double(kBlockFrames) / rate_;
    convolver_.begin();
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
        const float* in = input_[t].data();
        const bool sounding = tracks_[t].soundsWithin(begin, end);
        if (tracks_[t].lowFrequency) {
            if (!sounding) continue;
            for (std::size_t i = 0; i < kBlockFrames; ++i) {
                ears_[0][i] += gain_ * in[i];
                ears_[1][i] += gain_ * in[i];
            }
            continue;
        }
        Voice& v = voices_[t];
        const SourcePosition p = tracks_[t].at(end);
        const int key = HrtfSet::directionKey(p.azimuthDegrees, p.elevationDegrees);
        // Outside its span the source fades to silence over one block, as a move does.
        const float g = sounding ? gain_ * distanceGain(p.distance) : 0.0f;
        const float g0 = v.direction < 0 ? g : v.lastGain;
        const float step = (g - g0) / float(kBlockFrames);
        for (std::size_t i = 0; i < kBlockFrames; ++i) scaled_[i] = in[i] * (g0 + step * float(i + 1));
        const PartitionedConvolver::Filter& now = filterFor(key);
        const PartitionedConvolver::Filter* before = nullptr;
        if (v.direction >= 0 && v.direction != key) before = &filterFor(v.direction);
        convolver_.add(v.source, scaled_.data(), now, before);
        v.direction = key;
        v.lastGain = g;
    }
    convolver_.finish(ears_[0].data(), ears_[1].data());
    ++blockIndex_;
}

void ObjectBinauralRenderer::emit(std::vector<float>& out, std::size_t frames) {
    const std::size_t base = out.size();
    out.resize(base + frames * deviceChannels_, 0.0f);
    float* o = out.data() + base;
    for (std::size_t i = 0; i < frames; ++i, o += deviceChannels_) {
        if (deviceChannels_ == 1) {
            o[0] = 0.5f * (ears_[0][i] + ears_[1][i]);
        } else {
            o[0] = ears_[0][i];
            o[1] = ears_[1][i];
        }
    }
}

} // namespace vaun
