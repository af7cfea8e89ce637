#include "playback/OutputChoice.h"

#include "common/Errors.h"
#include "playback/PulseOutput.h"

#include <cmath>

namespace vaun {

ChosenOutput chooseOutput(double fileRateHz, const std::optional<OutputFormat>& manualFormat) {
    if (!manualFormat) return {openPulseOutput(fileRateHz), nullptr};
    if (manualFormat->channelCount == 0)
        throw Error("VaunPlayback", 1, "Offline rendering needs at least one output channel.");
    if (std::lround(manualFormat->sampleRateHz) != std::lround(fileRateHz))
        throw Error("VaunPlayback", 1,
                    "Offline rendering runs at the file's rate (" + std::to_string(std::lround(fileRateHz)) + " Hz), not " +
                        std::to_string(std::lround(manualFormat->sampleRateHz)) + " Hz.");
    auto manual = std::make_unique<ManualOutput>(*manualFormat);
    ManualOutput* raw = manual.get();
    return {std::move(manual), raw};
}

} // namespace vaun
