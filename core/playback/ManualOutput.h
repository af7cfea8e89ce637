#pragma once
// An output that renders into memory when asked, for tests and offline rendering: the
// same render path as a device, pulled synchronously by the caller.
#include "playback/AudioOutput.h"

#include <vector>

namespace vaun {

class ManualOutput : public AudioOutput {
public:
    explicit ManualOutput(OutputFormat format);

    OutputFormat format() const override { return format_; }
    void start(Render render) override;
    void stop() override;
    bool isRunning() const override { return running_; }
    std::int64_t framesPlayed() const override { return played_; }
    bool failed() const override { return false; }

    // Pulls `frames` frames through the render callback (silence when stopped) and returns
    // them interleaved; counts them as played.
    std::vector<float> render(std::uint32_t frames);

private:
    OutputFormat format_;
    Render render_;
    bool running_ = false;
    std::int64_t played_ = 0;
};

} // namespace vaun
