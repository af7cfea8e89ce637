// The metadata JSON line: field order, value forms and string escaping.
#include "MetadataJSON.h"

#include <gtest/gtest.h>

namespace vaun {
namespace {

using namespace std::chrono;

AudioMetadata::Date at(std::int64_t milliseconds) { return AudioMetadata::Date(std::chrono::milliseconds(milliseconds)); }

TEST(MetadataJSON, EveryFieldInDeclarationOrder) {
    AudioMetadata m;
    m.fileName = "Take \"5\".wav";
    m.fileSizeBytes = 2880088;
    m.containerUTType = "com.microsoft.waveform-audio";
    m.containerDescription = "WAVE / BWF";
    m.codec = "PCM";
    m.durationSeconds = 10.0 / 3.0;
    m.sampleRateHz = 48000;
    m.bitDepth = 24;
    m.channels = 6;
    m.channelLayoutName = "Discrete, no speaker labels \xC2\xB7 shown in 5.1 order";
    m.bitRate = 2304000;
    m.creationDate = at(1796047509999);
    m.modificationDate = at(1796047510000);
    m.bwfTimeReferenceSamples = 1728000000;
    m.bwfTimeReferenceSeconds = 36000;
    m.iXMLProject = "Harbour";
    m.iXMLScene = "12A";
    m.iXMLTape = "T01";
    m.iXMLTrack = "Boom";
    m.iXMLNotes = "wind\nrain";
    m.hasArtwork = false;
    m.artworkData = std::vector<std::uint8_t>(300000, 7);
    m.bwf = BWFChunk{"Harbour dawn", "ZOREL", "ref\\1", "2026-11-30", "14:05:09", 1728000000, 2, std::nullopt,
                     "060A2B34", -23.0, 5.5, std::nullopt, -18.25, -20.0, "A=PCM\r\nF=48000"};
    m.channelLabels = {"L", "R", "C", "LFE", "Ls", "Rs"};
    m.isADM = true;
    m.admTrackCount = 12;
    m.hasDolbyMetadata = true;
    m.isRF64 = true;
    m.warnings = {"Invalid bext metadata.", "Invalid or oversized iXML metadata."};
    m.codecProfile = "LC";
    m.tags = {{"title", "Caf\xC3\xA9 \"Noir\""}, {"album_artist", "Zorel"}};
    m.timecode = Timecode::make(2190940753, 48000, {24000, 1001}, false);
    m.iXMLTake = "3";
    m.iXMLCircled = true;
    m.iXMLUbits = "00000000";
    m.iXMLFamilyUID = "USSDV1";
    m.tracks = {{1, "Boom", std::nullopt, std::nullopt}, {2, std::nullopt, "R", "R"}};
    Marker region;
    region.kind = Marker::Kind::region, region.id = 2, region.start = 48000, region.length = 10000, region.label = "Line";
    m.markers = {region, Marker{}};
    EXPECT_EQ(metadataJSON(m),
              "{\"fileName\": \"Take \\\"5\\\".wav\", \"fileSizeBytes\": 2880088, "
              "\"containerUTType\": \"com.microsoft.waveform-audio\", \"containerDescription\": \"WAVE / BWF\", "
              "\"codec\": \"PCM\", \"durationSeconds\": 3.3333333333333335, \"sampleRateHz\": 48000, "
              "\"bitDepth\": 24, \"channels\": 6, "
              "\"channelLayoutName\": \"Discrete, no speaker labels \xC2\xB7 shown in 5.1 order\", "
              "\"bitRate\": 2304000, \"creationDate\": \"2026-11-30T14:05:09Z\", "
              "\"modificationDate\": \"2026-11-30T14:05:10Z\", \"bwfTimeReferenceSamples\": 1728000000, "
              "\"bwfTimeReferenceSeconds\": 36000, \"iXMLProject\": \"Harbour\", \"iXMLScene\": \"12A\", "
              "\"iXMLTape\": \"T01\", \"iXMLTrack\": \"Boom\", \"iXMLNotes\": \"wind\\nrain\", "
              "\"hasArtwork\": false, \"artworkData\": 300000, "
              "\"bwf\": {\"description\": \"Harbour dawn\", \"originator\": \"ZOREL\", "
              "\"originatorReference\": \"ref\\\\1\", \"originationDate\": \"2026-11-30\", "
              "\"originationTime\": \"14:05:09\", \"timeReferenceSamples\": 1728000000, \"version\": 2, "
              "\"timeReferenceSeconds\": null, \"umid\": \"060A2B34\", \"codingHistory\": \"A=PCM\\r\\nF=48000\", "
              "\"loudnessValue\": -23, \"loudnessRange\": 5.5, \"maxTruePeakLevel\": null, "
              "\"maxMomentaryLoudness\": -18.25, \"maxShortTermLoudness\": -20}, "
              "\"channelLabels\": [\"L\", \"R\", \"C\", \"LFE\", \"Ls\", \"Rs\"], \"isADM\": true, "
              "\"admTrackCount\": 12, \"hasDolbyMetadata\": true, \"isRF64\": true, "
              "\"warnings\": [\"Invalid bext metadata.\", \"Invalid or oversized iXML metadata.\"], "
              "\"codecProfile\": \"LC\", \"tags\": {\"title\": \"Caf\xC3\xA9 \\\"Noir\\\"\", \"album_artist\": \"Zorel\"}, "
              "\"timecode\": {\"start\": \"12:39:59:00\", \"rate\": \"23.976\", \"dropFrame\": false}, "
              "\"iXMLTake\": \"3\", \"iXMLCircled\": true, \"iXMLUbits\": \"00000000\", \"iXMLFamilyUID\": \"USSDV1\", "
              "\"tracks\": [{\"channel\": 1, \"name\": \"Boom\", \"function\": null}, "
              "{\"channel\": 2, \"name\": null, \"function\": \"R\"}], "
              "\"markers\": [{\"kind\": \"region\", \"id\": 2, \"start\": 48000, \"length\": 10000, \"label\": \"Line\", "
              "\"note\": null}, {\"kind\": \"marker\", \"id\": null, \"start\": 0, \"length\": null, \"label\": null, "
              "\"note\": null}]}");
}

TEST(MetadataJSON, AbsentValuesAreNull) {
    EXPECT_EQ(metadataJSON(AudioMetadata{}),
              "{\"fileName\": \"\", \"fileSizeBytes\": 0, \"containerUTType\": null, \"containerDescription\": null, "
              "\"codec\": null, \"durationSeconds\": null, \"sampleRateHz\": null, \"bitDepth\": null, "
              "\"channels\": null, \"channelLayoutName\": null, \"bitRate\": null, \"creationDate\": null, "
              "\"modificationDate\": null, \"bwfTimeReferenceSamples\": null, \"bwfTimeReferenceSeconds\": null, "
              "\"iXMLProject\": null, \"iXMLScene\": null, \"iXMLTape\": null, \"iXMLTrack\": null, "
              "\"iXMLNotes\": null, \"hasArtwork\": false, \"artworkData\": null, \"bwf\": null, "
              "\"channelLabels\": [], \"isADM\": false, \"admTrackCount\": null, \"hasDolbyMetadata\": false, "
              "\"isRF64\": false, \"warnings\": [], \"codecProfile\": null, \"tags\": {}, \"timecode\": null, "
              "\"iXMLTake\": null, \"iXMLCircled\": null, \"iXMLUbits\": null, \"iXMLFamilyUID\": null, \"tracks\": [], "
              "\"markers\": []}");
}

TEST(MetadataJSON, NumbersReadBackExactly) {
    const auto field = [](double v) {
        AudioMetadata m;
        m.durationSeconds = v;
        const std::string json = metadataJSON(m);
        const auto from = json.find("\"durationSeconds\": ") + 19;
        return json.substr(from, json.find(',', from) - from);
    };
    EXPECT_EQ(field(0.1), "0.1");
    EXPECT_EQ(field(0), "0");
    EXPECT_EQ(field(44100), "44100");
    EXPECT_EQ(field(1.0 / 48000), "2.0833333333333333e-05");
    EXPECT_EQ(field(1e300), "1e+300");
    EXPECT_EQ(field(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(field(std::numeric_limits<double>::infinity()), "null");
    for (double v : {1.0 / 3.0, 48000.0 / 44100.0, 3599.999979166667}) EXPECT_EQ(std::stod(field(v)), v);
}

TEST(MetadataJSON, DatesAreWholeSecondsUTC) {
    EXPECT_EQ(isoDate(at(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoDate(at(1796047509999)), "2026-11-30T14:05:09Z");
    EXPECT_EQ(isoDate(at(-500)), "1969-12-31T23:59:59Z"); // rounded down, not toward zero
    EXPECT_EQ(isoDate(at(951782400000)), "2000-02-29T00:00:00Z");
    EXPECT_EQ(isoDate(AudioMetadata::Date::min()), "1677-09-21T00:12:43Z");
    EXPECT_EQ(isoDate(AudioMetadata::Date::max()), "2262-04-11T23:47:16Z");
}

TEST(MetadataJSON, StringsAreEscapedPerRFC8259) {
    EXPECT_EQ(jsonString(""), "\"\"");
    EXPECT_EQ(jsonString("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(jsonString("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
    EXPECT_EQ(jsonString(std::string("\0\x01\x1F\x7F", 4)), "\"\\u0000\\u0001\\u001f\x7F\"");
    // Well-formed UTF-8 passes through: 2, 3 and 4 bytes.
    EXPECT_EQ(jsonString("\xCE\xBC-law \xC2\xB7 \xE2\x82\xAC \xF0\x9F\x8E\xA7"), "\"\xCE\xBC-law \xC2\xB7 \xE2\x82\xAC \xF0\x9F\x8E\xA7\"");
    // Ill-formed bytes each become U+FFFD: Latin-1, overlong, surrogate, beyond U+10FFFF, cut short.
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(jsonString("caf\xE9"), "\"caf" + r + "\"");
    EXPECT_EQ(jsonString("\xC0\x80"), "\"" + r + r + "\"");
    EXPECT_EQ(jsonString("\xED\xA0\x80"), "\"" + r + r + r + "\"");
    EXPECT_EQ(jsonString("\xF4\x90\x80\x80"), "\"" + r + r + r + r + "\"");
    EXPECT_EQ(jsonString("ok\xE2\x82"), "\"ok" + r + r + "\"");
    EXPECT_EQ(jsonString("\x80x"), "\"" + r + "x\"");
}

} // namespace
} // namespace vaun
