#pragma once
// Where a player's frames go: the default sound device at the file's rate, or memory.
#include "playback/AudioOutput.h"
#include "playback/ManualOutput.h"

#include <memory>
#include <optional>

namespace vaun {

struct ChosenOutput {
    std::unique_ptr<AudioOutput> output;
    // Set when rendering into memory.
    ManualOutput* manual = nullptr;
};

// The device (throws its error when there is none), or a ManualOutput in `manualFormat`.
// A manual format must run at the file's rate (the engine does not resample) and have at
// least one channel; else Error "VaunPlayback", code 1.
ChosenOutput chooseOutput(double fileRateHz, const std::optional<OutputFormat>& manualFormat);

} // namespace vaun
