#pragma once
// Where rendered audio goes: the desktop's sound server (default sink) or, for tests and
// offline rendering, memory. The engine hands it a render callback that fills interleaved
// 32-bit float frames in the output's channel order.
#include "common/Errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vaun {

struct OutputFormat {
    double sampleRateHz = 0;
    std::uint32_t channelCount = 0;
    bool operator==(const OutputFormat&) const = default;
};

class AudioOutput {
public:
    // Called on the output's real-time thread; must fill `frames` × channelCount floats and
    // must not block, lock or allocate.
    using Render = std::function<void(float* interleaved, std::uint32_t frames)>;

    virtual ~AudioOutput() = default;

    // The device's channel count (D) and the rate the stream runs at.
    virtual OutputFormat format() const = 0;
    // Starts pulling from `render`; throws vaun::Error when the device refuses.
    virtual void start(Render render) = 0;
    // Stops pulling; after it returns `render` is no longer called.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // Frames rendered since the last start() that have reached the listener (the device
    // latency taken into account).
    virtual std::int64_t framesPlayed() const = 0;
    // Set when the device went away or failed while running.
    virtual bool failed() const = 0;
    // What failed() means, as the error the owner is told.
    virtual Error failure() const { return Error("VaunPlayback", 3, "The audio device stopped or went away."); }
    // Times the device ran dry since it was opened (the render callback came too late).
    virtual std::int64_t underruns() const { return 0; }
};

} // namespace vaun
