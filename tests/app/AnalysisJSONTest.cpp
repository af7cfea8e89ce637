#include "AnalysisJSON.h"

#include <gtest/gtest.h>

namespace vaun {
namespace {

TEST(AnalysisJSON, EmptyAnalysisPrintsNullsAndZeroSize) {
    EXPECT_EQ(analysisJSON({}), "{\"integrated\": null, \"lra\": null, \"truePeak\": null, \"samplePeak\": null, "
                                "\"channelTruePeak\": [], \"spectrogram\": [0, 0]}");
}

TEST(AnalysisJSON, ValuesUseThreeDecimalsAndKeepAbsentChannels) {
    AudioAnalysis a;
    a.integratedLUFS = -23.0124;
    a.loudnessRangeLU = 4.1;
    a.truePeakDBTP = -1.0196;
    a.samplePeakDBFS = -0.0004; // rounds to a negative zero, as "%.3f" prints it
    a.channelTruePeakDBTP = {-1.0196, std::nullopt, 0.25};
    a.spectrogram = Spectrogram{480, 160, 20, 24000, {}};
    EXPECT_EQ(analysisJSON(a), "{\"integrated\": -23.012, \"lra\": 4.100, \"truePeak\": -1.020, \"samplePeak\": -0.000, "
                               "\"channelTruePeak\": [-1.020, null, 0.250], \"spectrogram\": [480, 160]}");
}

TEST(AnalysisJSON, MatchesPrintfForAwkwardValues) {
    for (double v : {0.0005, -0.0005, 1e-9, -123456.78949, 99.9995, 1e300}) {
        AudioAnalysis a;
        a.integratedLUFS = v;
        char expected[512];
        std::snprintf(expected, sizeof expected, "{\"integrated\": %.3f,", v);
        EXPECT_EQ(analysisJSON(a).substr(0, std::string(expected).size()), expected) << v;
    }
}

} // namespace
} // namespace vaun
