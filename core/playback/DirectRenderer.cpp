#include "playback/RouteRenderer.h"

#include <algorithm>

namespace vaun {

DirectRenderer DirectRenderer::inOrder(std::uint32_t fileChannels, std::uint32_t deviceChannels) {
    std::vector<Feed> feeds;
    for (std::uint32_t c = 0; c < std::min(fileChannels, deviceChannels); ++c) feeds.push_back({c, c, 1.0f});
    return DirectRenderer(deviceChannels, std::move(feeds));
}

DirectRenderer DirectRenderer::centred(std::uint32_t fileChannels, std::uint32_t deviceChannels) {
    if (fileChannels == 1 && deviceChannels >= 2) return DirectRenderer(deviceChannels, {{0, 0, 1.0f}, {0, 1, 1.0f}});
    if (fileChannels == 2 && deviceChannels == 1) return DirectRenderer(1, {{0, 0, 0.5f}, {1, 0, 0.5f}});
    return inOrder(fileChannels, deviceChannels);
}

void DirectRenderer::render(const float* const* planes, std::uint32_t frames, std::vector<float>& out) {
    const std::size_t base = out.size();
    out.resize(base + std::size_t(frames) * deviceChannels_, 0.0f);
    float* frame = out.data() + base;
    for (const Feed& f : feeds_) {
        const float* in = planes[f.input];
        float* o = frame + f.output;
        for (std::uint32_t i = 0; i < frames; ++i) o[std::size_t(i) * deviceChannels_] += f.gain * in[i];
    }
}

} // namespace vaun
