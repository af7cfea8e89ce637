#include "LoudnessJSON.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vaun {
namespace {

void appendLevels(std::string& out, const std::vector<float>& levels) {
    out += '[';
    char buffer[16];
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (i > 0) out += ", ";
        const float v = levels[i];
        if (!std::isfinite(v)) {
            out += "null";
            continue;
        }
        const int n = std::snprintf(buffer, sizeof buffer, "%.1f", double(v));
        // Never "-0.0".
        out.append(std::string_view(buffer, std::size_t(n)) == "-0.0" ? "0.0" : std::string(buffer, std::size_t(n)));
    }
    out += ']';
}

} // namespace

std::string loudnessJSON(const LoudnessHistory& history) {
    std::string out = "{\"interval\": 0.1, \"momentary\": ";
    out.reserve(16 * (history.momentary.size() + history.shortTerm.size()) + 64);
    appendLevels(out, history.momentary);
    out += ", \"shortTerm\": ";
    appendLevels(out, history.shortTerm);
    out += ", \"truePeakOvers\": [";
    char buffer[32];
    for (std::size_t i = 0; i < history.truePeakOvers.size(); ++i) {
        if (i > 0) out += ", ";
        // To the millisecond, in the shortest digits.
        const double t = std::round(history.truePeakOvers[i] * 1000.0) / 1000.0;
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, t).ptr);
    }
    return out + "]}";
}

} // namespace vaun
