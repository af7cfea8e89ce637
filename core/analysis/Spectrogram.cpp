#include "analysis/AudioAnalysis.h"

#include <algorithm>
#include <cmath>

namespace vaun {

double Spectrogram::frequency(double row) const {
    return minHz * std::pow(maxHz / minHz, row / double(std::max<std::int64_t>(rows - 1, 1)));
}

} // namespace vaun
