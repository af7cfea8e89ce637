#pragma once
// The analysis as the one JSON line `vaun --analyze` prints.
#include "analysis/AudioAnalysis.h"

#include <string>

namespace vaun {

// {"integrated": I, "lra": L, "truePeak": T, "samplePeak": S, "channelTruePeak": [..],
//  "spectrogram": [W, H]} with "%.3f" values and null for absent ones; no newline.
std::string analysisJSON(const AudioAnalysis& analysis);

} // namespace vaun
