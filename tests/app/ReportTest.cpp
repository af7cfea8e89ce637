// The loudness report's verdicts at the edges of every target, and the rows it writes.
#include "report/LoudnessTargets.h"
#include "report/ReportRow.h"

#include <gtest/gtest.h>

namespace vaun::report {
namespace {

struct Edge {
    const char* target;
    double integrated;
    double truePeak;
    std::vector<std::string> reasons; // none: passes
};

TEST(LoudnessTargets, VerdictsAtTheEdgesOfEveryTarget) {
    const std::vector<Edge> edges{
        // On the tolerance passes, a tenth past it fails; −23.54 shows as −23.5.
        {"ebu-r128", -23.5, -1.0, {}},
        {"ebu-r128", -22.5, -1.04, {}},
        {"ebu-r128", -23.54, -30, {}},
        {"ebu-r128", -23.6, -30, {"integrated \u221223.6 LUFS below \u221223 \u00b10.5"}},
        {"ebu-r128", -20.1, -0.3, {"integrated \u221220.1 LUFS above \u221223 \u00b10.5", "true peak \u22120.3 dBTP above \u22121.0"}},
        {"ebu-r128", -23, -0.94, {"true peak \u22120.9 dBTP above \u22121.0"}},
        {"ebu-r128-live", -24.0, -1.0, {}},
        {"ebu-r128-live", -21.9, -5, {"integrated \u221221.9 LUFS above \u221223 \u00b11"}},
        {"atsc-a85", -26.0, -2.0, {}},
        {"atsc-a85", -22.0, -2.0, {}},
        {"atsc-a85", -26.1, -1.9, {"integrated \u221226.1 LKFS below \u221224 \u00b12", "true peak \u22121.9 dBTP above \u22122.0"}},
        {"streaming", -13.0, -1.0, {}},
        {"streaming", -15.0, -1.0, {}},
        {"streaming", -12.9, 0.4, {"integrated \u221212.9 LUFS above \u221214 \u00b11", "true peak 0.4 dBTP above \u22121.0"}},
        {"apple-music", -17.0, -1.0, {}},
        {"apple-music", -17.1, -1.0, {"integrated \u221217.1 LUFS below \u221216 \u00b11"}},
        {"none", -3.0, 3.0, {}},
    };
    for (const auto& e : edges) {
        const auto* target = findTarget(e.target);
        ASSERT_NE(target, nullptr) << e.target;
        const auto v = verdict(e.integrated, e.truePeak, *target);
        EXPECT_EQ(v.reasons, e.reasons) << e.target << " " << e.integrated << " " << e.truePeak;
        EXPECT_EQ(v.passed, e.reasons.empty()) << e.target << " " << e.integrated;
    }
}

TEST(LoudnessTargets, AbsentLoudnessFailsATargetButNotMeasuring) {
    const auto gated = verdict(std::nullopt, std::nullopt, *findTarget("ebu-r128"));
    EXPECT_FALSE(gated.passed);
    EXPECT_EQ(gated.reasons, std::vector<std::string>{"integrated loudness below the gate"});
    EXPECT_TRUE(verdict(std::nullopt, std::nullopt, defaultTarget()).passed);
    EXPECT_EQ(defaultTarget().name, "none");
    EXPECT_EQ(findTarget("EBU-R128"), nullptr);
}

TEST(ReportRow, CsvQuotesAndJsonEscapesAHostilePath) {
    ReportRow row;
    row.path = "/a/b,\"c\"\nd.wav";
    row.container = "WAVE / BWF";
    row.channels = 2;
    row.sampleRate = 48000;
    row.duration = 1.23456;
    row.integrated = -23.04;
    row.truePeak = -0.04; // shows as 0.0, never as −0.0
    row.verdict = Outcome::fail;
    row.reasons = {"a", "b"};
    row.error = std::string("tab\there\x01");
    EXPECT_EQ(csvHeader(), "path,container,codec,channels,sampleRate,duration,integrated,lra,truePeak,samplePeak,"
                           "maxMomentary,maxShortTerm,verdict,reasons,error\n");
    EXPECT_EQ(csvLine(row),
              "\"/a/b,\"\"c\"\"\nd.wav\",WAVE / BWF,,2,48000,1.235,-23.0,,0.0,,,,fail,a; b,tab\there\x01\n");
    EXPECT_EQ(jsonLine(row),
              "{\"path\": \"/a/b,\\\"c\\\"\\nd.wav\", \"container\": \"WAVE / BWF\", \"codec\": null, \"channels\": 2, "
              "\"sampleRate\": 48000, \"duration\": 1.235, \"integrated\": -23.0, \"lra\": null, \"truePeak\": 0.0, "
              "\"samplePeak\": null, \"maxMomentary\": null, \"maxShortTerm\": null, \"verdict\": \"fail\", "
              "\"reasons\": [\"a\", \"b\"], \"error\": \"tab\\there\\u0001\"}\n");
}

} // namespace
} // namespace vaun::report
