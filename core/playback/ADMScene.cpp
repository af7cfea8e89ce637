#include "playback/ADMScene.h"

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

bool earlier(const SourceTrack::Block& a, const SourceTrack::Block& b) { return a.rtimeSeconds < b.rtimeSeconds; }

bool isLowFrequency(const ADMModel::Track& track) {
    return ADMModel::speakerLabel(track.label).starts_with("LFE") || track.label.starts_with("LowFrequencyEffects");
}

std::optional<SourceTrack> sourceFor(const ADMModel::Track& track) {
    if (track.type == "DirectSpeakers" && isLowFrequency(track)) return SourceTrack::lfe();
    if ((track.type != "DirectSpeakers" && track.type != "Objects") || track.blocks.empty()) return std::nullopt;
    // Distance is left out: a mix's cartesian room positions are not distances from the
    // listener, and headphone previews of beds and objects should keep the mix's balance.
    SourceTrack source;
    for (const auto& b : track.blocks) {
        if (!std::isfinite(b.rtimeSeconds) || !std::isfinite(b.azimuth) || !std::isfinite(b.elevation))
            return std::nullopt;
        const double duration = b.durationSeconds && std::isfinite(*b.durationSeconds) ? *b.durationSeconds : 0.0;
        source.blocks.push_back({b.rtimeSeconds, std::max(duration, 0.0), {b.azimuth, b.elevation, 1.0}});
    }
    std::stable_sort(source.blocks.begin(), source.blocks.end(), earlier);
    return source;
}

} // namespace

std::optional<ADMScene> admScene(const ADMModel& model, int channelCount) {
    if (!model.warnings.empty() || channelCount < 1 || std::size_t(channelCount) > ObjectBinauralRenderer::kMaxSources)
        return std::nullopt;
    std::vector<std::optional<SourceTrack>> byChannel(static_cast<std::size_t>(channelCount));
    for (const auto& track : model.tracks) {
        if (track.index < 1 || track.index > channelCount) return std::nullopt;
        auto source = sourceFor(track);
        if (!source) return std::nullopt;
        auto& slot = byChannel[std::size_t(track.index - 1)];
        if (!slot) {
            slot = std::move(source);
            continue;
        }
        // A track shared by objects over time: one position track, in time order.
        if (slot->lowFrequency || source->lowFrequency) return std::nullopt;
        slot->blocks.insert(slot->blocks.end(), source->blocks.begin(), source->blocks.end());
        std::stable_sort(slot->blocks.begin(), slot->blocks.end(), earlier);
    }
    if (model.tracks.empty()) return std::nullopt;
    ADMScene scene;
    scene.content = model.content;
    // Channels the metadata leaves out (spare, usually silent tracks) sound from the front.
    for (auto& slot : byChannel) scene.tracks.push_back(slot ? std::move(*slot) : SourceTrack::fixed({}));
    return scene;
}

} // namespace vaun
