#pragma once
// The loudness history as the one JSON line `vaun --loudness` prints.
#include "analysis/AudioAnalysis.h"

#include <string>

namespace vaun {

// {"interval": 0.1, "momentary": [...], "shortTerm": [...], "truePeakOvers": [...]}: LUFS to
// one decimal, null where absent; the overs as their start times in seconds; no newline.
std::string loudnessJSON(const LoudnessHistory& history);

} // namespace vaun
