// `vaun --adm`: the model of an ADM broadcast wave as one JSON line, and the failure line.
#include "RunVaun.h"
#include "TestAudio.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vaun::test {
namespace {

std::vector<std::uint8_t> stereoChna() {
    std::vector<std::uint8_t> bytes = {2, 0, 2, 0};
    for (const char* entry : {"ATU_00000001AT_00010001_01AP_00010002", "ATU_00000002AT_00010002_01AP_00010002"}) {
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(bytes.size() / 40 + 1), 0});
        bytes.insert(bytes.end(), entry, entry + std::strlen(entry));
        bytes.push_back(0);
    }
    return bytes;
}

TEST(ADMCommand, PrintsTheModelAsOneJSONLine) {
    const TempDir dir;
    const std::string axml = R"(<ebuCoreMain><audioFormatExtended><audioProgramme audioProgrammeID="APR_1001" )"
                             R"(audioProgrammeName="Stereo &quot;mix&quot; \"/></audioFormatExtended></ebuCoreMain>)";
    WavOptions options;
    options.extraChunks = {{"chna", stereoChna()}, {"axml", {axml.begin(), axml.end()}}};
    writeWav(dir / "adm.wav", {std::vector<float>(480, 0.0f), std::vector<float>(480, 0.0f)}, 48000, options);
    const auto outcome = runVaun(dir.path(), {"--adm", (dir / "adm.wav").string()});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out,
              R"({"programme":"Stereo \"mix\" \\",)"
              "\"content\":\"Stereo bed\",\"tracks\":["
              "{\"index\":1,\"object\":\"stereo\",\"type\":\"DirectSpeakers\",\"label\":\"M+030\","
              "\"objectStart\":null,\"objectDuration\":null,\"blocks\":"
              "[{\"rtime\":null,\"duration\":null,\"azimuth\":30,\"elevation\":0,\"distance\":1}]},"
              "{\"index\":2,\"object\":\"stereo\",\"type\":\"DirectSpeakers\",\"label\":\"M-030\","
              "\"objectStart\":null,\"objectDuration\":null,\"blocks\":"
              "[{\"rtime\":null,\"duration\":null,\"azimuth\":-30,\"elevation\":0,\"distance\":1}]}],"
              "\"otherProgrammes\":[],\"warnings\":[]}\n");
}

TEST(ADMCommand, PlainWaveFails) {
    const TempDir dir;
    writeWav(dir / "plain.wav", {std::vector<float>(480, 0.0f)}, 48000);
    const auto outcome = runVaun(dir.path(), {"--adm", (dir / "plain.wav").string()});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "adm FAIL: no ADM metadata\n");
}

} // namespace
} // namespace vaun::test
