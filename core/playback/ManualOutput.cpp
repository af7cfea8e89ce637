#include "playback/ManualOutput.h"

namespace vaun {

ManualOutput::ManualOutput(OutputFormat format) : format_(format) {}

void ManualOutput::start(Render render) {
    render_ = std::move(render);
    running_ = true;
    played_ = 0;
}

void ManualOutput::stop() {
    running_ = false;
    render_ = nullptr;
}

std::vector<float> ManualOutput::render(std::uint32_t frames) {
    std::vector<float> out(std::size_t(frames) * format_.channelCount, 0.0f);
    if (running_ && render_) render_(out.data(), frames);
    played_ += frames;
    return out;
}

} // namespace vaun
