#include "AnalysisJSON.h"

#include <charconv>

namespace vaun {
namespace {

// "%.3f", but independent of the process locale.
void appendValue(std::string& out, const std::optional<double>& value) {
    if (!value) {
        out += "null";
        return;
    }
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::fixed, 3);
    out.append(buffer, result.ptr);
}

} // namespace

std::string analysisJSON(const AudioAnalysis& analysis) {
    std::string out = "{\"integrated\": ";
    appendValue(out, analysis.integratedLUFS);
    out += ", \"lra\": ";
    appendValue(out, analysis.loudnessRangeLU);
    out += ", \"truePeak\": ";
    appendValue(out, analysis.truePeakDBTP);
    out += ", \"samplePeak\": ";
    appendValue(out, analysis.samplePeakDBFS);
    out += ", \"channelTruePeak\": [";
    for (std::size_t i = 0; i < analysis.channelTruePeakDBTP.size(); ++i) {
        if (i > 0) out += ", ";
        appendValue(out, analysis.channelTruePeakDBTP[i]);
    }
    out += "], \"spectrogram\": [";
    const auto& s = analysis.spectrogram;
    out += s ? std::to_string(s->columns) + ", " + std::to_string(s->rows) : "0, 0";
    out += "]}";
    return out;
}

} // namespace vaun
