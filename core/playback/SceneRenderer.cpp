#include "playback/SceneRenderer.h"

#include "common/Errors.h"
#include "playback/HrtfSet.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vaun {
namespace {

Error badGroup(const std::string& why) {
    return Error("VaunPlayback", kRendererSetupError, "Sound field channels: " + why);
}

} // namespace

SceneRenderer::SceneRenderer(std::vector<SourceTrack> tracks, std::vector<SoundFieldGroup> fields, double sampleRateHz,
                             std::uint32_t deviceChannels, const std::filesystem::path& sofaFile) {
    const std::size_t fileChannels = tracks.size();
    std::vector<bool> inField(fileChannels, false);
    std::size_t speakers = 0;
    for (SoundFieldGroup& group : fields) {
        AmbisonicDecoder decoder(group.format);
        if (group.channels.size() != decoder.channels())
            throw badGroup("order " + std::to_string(group.format.order) + " takes " + std::to_string(decoder.channels()) +
                           ", not " + std::to_string(group.channels.size()));
        for (int c : group.channels) {
            if (c < 0 || std::size_t(c) >= fileChannels)
                throw badGroup("channel " + std::to_string(c + 1) + " is not in the file");
            if (inField[std::size_t(c)]) throw badGroup("channel " + std::to_string(c + 1) + " is in two fields");
            inField[std::size_t(c)] = true;
        }
        fields_.push_back({std::move(decoder), std::move(group.channels), speakers});
        speakers += fields_.back().decoder.speakers().size();
    }

    std::vector<SourceTrack> sources;
    for (std::size_t c = 0; c < fileChannels; ++c) {
        if (inField[c]) continue;
        objectChannels_.push_back(int(c));
        sources.push_back(std::move(tracks[c]));
    }
    for (const Field& f : fields_)
        for (const SourcePosition& p : f.decoder.speakers()) sources.push_back(SourceTrack::fixed(p));
    // The decoder gives a field unit energy over its speakers; the mix weighs it as one source.
    const auto mixed = std::max<std::size_t>(1, objectChannels_.size() + fields_.size());
    binaural_ = std::make_unique<ObjectBinauralRenderer>(std::move(sources), sampleRateHz, deviceChannels, sofaFile,
                                                         float(1.0 / std::sqrt(double(mixed))));

    feeds_.assign(speakers, std::vector<float>(kChunkFrames, 0.0f));
    for (auto& feed : feeds_) feedPlanes_.push_back(feed.data());
    std::size_t widest = 0;
    for (const Field& f : fields_) widest = std::max(widest, f.channels.size());
    fieldPlanes_.assign(widest, nullptr);
    // The speakers' planes stay put when the renderer moves: they point into the feeds' storage.
    sourcePlanes_.assign(objectChannels_.size(), nullptr);
    for (const auto& feed : feeds_) sourcePlanes_.push_back(feed.data());
}

SceneRenderer SceneRenderer::soundField(AmbisonicFormat format, double sampleRateHz, std::uint32_t deviceChannels,
                                        const std::filesystem::path& sofaFile) {
    const int channels = AmbisonicFormat::channelsFor(std::clamp(format.order, 1, 3));
    SoundFieldGroup group{{}, format};
    for (int c = 0; c < channels; ++c) group.channels.push_back(c);
    return SceneRenderer(std::vector<SourceTrack>(std::size_t(channels)), {std::move(group)}, sampleRateHz, deviceChannels,
                         sofaFile);
}

void SceneRenderer::render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) {
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = std::min(kChunkFrames, frames - done);
        for (std::size_t k = 0; k < objectChannels_.size(); ++k) sourcePlanes_[k] = planes[objectChannels_[k]] + done;
        for (const Field& f : fields_) {
            for (std::size_t c = 0; c < f.channels.size(); ++c) fieldPlanes_[c] = planes[f.channels[c]] + done;
            f.decoder.decode(fieldPlanes_.data(), n, feedPlanes_.data() + f.firstFeed);
        }
        binaural_->render(sourcePlanes_.data(), n, out);
        done += n;
    }
}

} // namespace vaun
