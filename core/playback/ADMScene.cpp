#include "playback/ADMScene.h"

#include <algorithm>
#include <cmath>

namespace vaun {
namespace {

bool earlier(const SourceTrack::Block& a, const SourceTrack::Block& b) { return a.rtimeSeconds < b.rtimeSeconds; }

bool isLowFrequency(const ADMModel::Track& track) {
    return ADMModel::speakerLabel(track.label).starts_with("LFE") || track.label.starts_with("LowFrequencyEffects");
}

// An object's span in the file, which its source sounds in.
SourceTrack withSpan(SourceTrack source, const ADMModel::Track& track) {
    if (track.objectStartSeconds && std::isfinite(*track.objectStartSeconds))
        source.activeFromSeconds = std::max(0.0, *track.objectStartSeconds);
    if (track.objectDurationSeconds && std::isfinite(*track.objectDurationSeconds))
        source.activeUntilSeconds = source.activeFromSeconds + std::max(0.0, *track.objectDurationSeconds);
    return source;
}

AmbisonicFormat::Normalization normalizationOf(const std::string& name) {
    if (name == "N3D") return AmbisonicFormat::Normalization::N3D;
    if (name == "FuMa") return AmbisonicFormat::Normalization::FuMa;
    return AmbisonicFormat::Normalization::SN3D;
}

// The HOA tracks of one object as a sound field: every ACN of its order once, one
// normalisation. Absent otherwise.
std::optional<SoundFieldGroup> soundField(const std::vector<const ADMModel::Track*>& tracks, int channelCount) {
    int order = 0;
    while (order <= 3 && (order + 1) * (order + 1) < int(tracks.size())) ++order;
    if (order < 1 || order > 3 || (order + 1) * (order + 1) != int(tracks.size())) return std::nullopt;
    SoundFieldGroup group;
    group.channels.assign(tracks.size(), -1);
    group.format = {order, normalizationOf(tracks.front()->normalization), AmbisonicFormat::Ordering::ACN};
    for (const ADMModel::Track* t : tracks) {
        if (!t->order || !t->degree || t->normalization != tracks.front()->normalization) return std::nullopt;
        const int acn = *t->order * *t->order + *t->order + *t->degree;
        if (*t->degree < -*t->order || *t->degree > *t->order || acn >= int(tracks.size()) ||
            group.channels[std::size_t(acn)] >= 0 || t->index < 1 || t->index > channelCount)
            return std::nullopt;
        group.channels[std::size_t(acn)] = t->index - 1;
    }
    return group;
}

std::optional<SourceTrack> sourceFor(const ADMModel::Track& track) {
    if (track.type == "DirectSpeakers" && isLowFrequency(track)) return withSpan(SourceTrack::lfe(), track);
    if ((track.type != "DirectSpeakers" && track.type != "Objects") || track.blocks.empty()) return std::nullopt;
    // Distance is left out: a mix's cartesian room positions are not distances from the
    // listener, and headphone previews of beds and objects should keep the mix's balance.
    SourceTrack source;
    // Block times count from the object's start; a block without them spans its whole object.
    const double start = track.objectStartSeconds.value_or(0);
    for (const auto& b : track.blocks) {
        const double rtime = b.rtimeSeconds.value_or(0);
        if (!std::isfinite(start + rtime) || !std::isfinite(b.azimuth) || !std::isfinite(b.elevation))
            return std::nullopt;
        const double duration = b.durationSeconds && std::isfinite(*b.durationSeconds) ? *b.durationSeconds : 0.0;
        source.blocks.push_back({start + rtime, std::max(duration, 0.0), {b.azimuth, b.elevation, 1.0}});
    }
    std::stable_sort(source.blocks.begin(), source.blocks.end(), earlier);
    return withSpan(std::move(source), track);
}

} // namespace

std::optional<ADMScene> admScene(const ADMModel& model, int channelCount) {
    if (!model.warnings.empty() || channelCount < 1 || std::size_t(channelCount) > ObjectBinauralRenderer::kMaxSources)
        return std::nullopt;
    ADMScene scene;
    std::vector<std::optional<SourceTrack>> byChannel(static_cast<std::size_t>(channelCount));
    std::vector<std::pair<std::string, std::vector<const ADMModel::Track*>>> hoa; // by object, in file order
    for (const auto& track : model.tracks) {
        if (track.index < 1 || track.index > channelCount) return std::nullopt;
        if (track.type == "HOA") {
            auto it = std::find_if(hoa.begin(), hoa.end(), [&](const auto& g) { return g.first == track.object; });
            if (it == hoa.end()) it = hoa.insert(hoa.end(), {track.object, {}});
            it->second.push_back(&track);
            continue;
        }
        if (track.type == "Objects") scene.spatialOnly = true;
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
        // Several objects over time: the track sounds from the first one's start to the last one's end.
        slot->activeFromSeconds = std::min(slot->activeFromSeconds, source->activeFromSeconds);
        if (!slot->activeUntilSeconds || !source->activeUntilSeconds) slot->activeUntilSeconds.reset();
        else slot->activeUntilSeconds = std::max(*slot->activeUntilSeconds, *source->activeUntilSeconds);
    }
    for (const auto& [object, tracks] : hoa) {
        auto field = soundField(tracks, channelCount);
        if (!field) return std::nullopt;
        for (int channel : field->channels)
            if (byChannel[std::size_t(channel)]) return std::nullopt;
        scene.fields.push_back(std::move(*field));
        scene.spatialOnly = true;
    }
    if (model.tracks.empty()) return std::nullopt;
    scene.content = model.content;
    // Channels the metadata leaves out (spare, usually silent tracks) sound from the front.
    for (auto& slot : byChannel) scene.tracks.push_back(slot ? std::move(*slot) : SourceTrack::fixed({}));
    return scene;
}

} // namespace vaun
