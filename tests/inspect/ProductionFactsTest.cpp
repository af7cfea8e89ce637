// Production sound as recorders write it: timecode from iXML or the bext description, scene,
// take and tape, and the names of the tracks, whether the recorder wrote iXML or only bext.
#include "TestAudio.h"
#include "inspect/MetadataAssembler.h"

#include <gtest/gtest.h>

namespace vaun::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(const std::string& s) { return {s.begin(), s.end()}; }

Bytes bext(const std::string& description, std::uint64_t timeReference) {
    Bytes b(602, 0);
    std::copy(description.begin(), description.end(), b.begin());
    for (int i = 0; i < 8; ++i) b[338 + std::size_t(i)] = std::uint8_t(timeReference >> (8 * i));
    b[346] = 1;
    return b;
}

std::string ixml(const std::string& speed, const std::string& rest = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><BWFXML><SPEED>" + speed + "</SPEED>" + rest + "</BWFXML>";
}

std::string stamp(std::uint64_t samples) {
    return "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>" + std::to_string(samples >> 32) +
           "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI><TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>" +
           std::to_string(samples & 0xFFFFFFFF) + "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>"
           "<TIMESTAMP_SAMPLE_RATE>48000</TIMESTAMP_SAMPLE_RATE>";
}

class Production : public ::testing::Test {
protected:
    TempDir dir;

    AudioMetadata take(const std::string& name, std::vector<std::pair<std::string, Bytes>> chunks, int channels = 2) {
        WavOptions options;
        options.extraChunks = std::move(chunks);
        writeWav(dir / name, Planes(std::size_t(channels), sine(440, 0.2, 48000, 4800)), 48000, options);
        return MetadataAssembler::assemble(dir / name);
    }
};

TEST_F(Production, TimecodeCountsFramesAsRecordersDo) {
    struct Case {
        std::string speed;
        std::uint64_t samples;
        std::string start, summary;
    };
    const Case cases[] = {
        {"<TIMECODE_RATE>24000/1001</TIMECODE_RATE><TIMECODE_FLAG>NDF</TIMECODE_FLAG>", 2190940753,
         "12:39:59:00", "12:39:59:00 \xC2\xB7 23.976 fps ND"},
        {"<TIMECODE_RATE>25/1</TIMECODE_RATE><TIMECODE_FLAG>NDF</TIMECODE_FLAG>", 48000ull * 3600 + 1920 * 7,
         "01:00:00:07", "01:00:00:07 \xC2\xB7 25 fps ND"},
        // 29.97 drop-frame around the tenth minute, where no frame number is skipped.
        {"<TIMECODE_RATE>30000/1001</TIMECODE_RATE><TIMECODE_FLAG>DF</TIMECODE_FLAG>", 28798370, "00:09:59;29", ""},
        {"<TIMECODE_RATE>30000/1001</TIMECODE_RATE><TIMECODE_FLAG>DF</TIMECODE_FLAG>", 28799972, "00:10:00;00", ""},
        // …and at the first minute, where frames 0 and 1 (0 to 3 at 59.94) are.
        {"<TIMECODE_RATE>30000/1001</TIMECODE_RATE><TIMECODE_FLAG>DF</TIMECODE_FLAG>", 2882880, "00:01:00;02",
         "00:01:00;02 \xC2\xB7 29.97 fps DF"},
        {"<TIMECODE_RATE>60000/1001</TIMECODE_RATE><TIMECODE_FLAG>DF</TIMECODE_FLAG>", 2882880, "00:01:00;04", ""},
    };
    for (const Case& c : cases) {
        const AudioMetadata m = take("tc.wav", {{"iXML", bytes(ixml(c.speed + stamp(c.samples)))}});
        ASSERT_TRUE(m.timecode) << c.start;
        EXPECT_EQ(m.timecode->text(), c.start);
        if (!c.summary.empty()) {
            EXPECT_EQ(m.timecode->summary(), c.summary);
        }
    }
    // The recorder's description names the rate when there is no iXML; the bext time reference the start.
    const AudioMetadata sd = take("sd.wav", {{"bext", bext("sSPEED=023.976-ND\r\nsTAKE=001\r\n", 2190940753)}});
    ASSERT_TRUE(sd.timecode);
    EXPECT_EQ(sd.timecode->summary(), "12:39:59:00 \xC2\xB7 23.976 fps ND");
    EXPECT_EQ(sd.timecode->text(1.001), "12:40:00:00"); // 24 frames of 2002 samples
    // Without a rate there is no timecode.
    EXPECT_FALSE(take("plain.wav", {{"bext", bext("", 2190940753)}}).timecode);
}

TEST_F(Production, RecorderDescriptionsReadLikeTheirIXMLTwins) {
    const std::string list = "<SCENE>A101</SCENE><TAKE>1</TAKE><TAPE>18Y12M31</TAPE><CIRCLED>TRUE</CIRCLED>"
                             "<TRACK_LIST><TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX>"
                             "<NAME>MKH516 A</NAME></TRACK><TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX>"
                             "<INTERLEAVE_INDEX>2</INTERLEAVE_INDEX><NAME>Boom</NAME></TRACK></TRACK_LIST>";
    const AudioMetadata twin = take("ixml.wav", {{"iXML", bytes(ixml("", list))}});
    const AudioMetadata sd = take("sd.wav", {{"bext", bext("sSCENE=A101\r\nsTAKE=1\r\nsTAPE=18Y12M31\r\nsCIRCLED=TRUE\r\n"
                                                           "sTRK1=MKH516 A\r\nsTRK2=Boom\r\n", 0)}});
    const AudioMetadata zoom = take("zoom.wav", {{"bext", bext("SCENE=A101\nTAKE=1\nTAPE=18Y12M31\nCIRCLED=TRUE\n"
                                                               "TRL=MKH516 A\nTRR=Boom\n", 0)}});
    for (const AudioMetadata* m : {&twin, &sd, &zoom}) {
        SCOPED_TRACE(m->fileName);
        EXPECT_EQ(m->iXMLScene, "A101");
        EXPECT_EQ(m->iXMLTake, "1");
        EXPECT_EQ(m->iXMLTape, "18Y12M31");
        EXPECT_EQ(m->iXMLCircled, true);
        EXPECT_EQ(m->tracks, (std::vector<AudioMetadata::Track>{{1, "MKH516 A", std::nullopt, std::nullopt},
                                                                {2, "Boom", std::nullopt, std::nullopt}}));
    }
}

TEST_F(Production, TracksSitAtTheirInterleavePositionAndNameSpeakersOnlyWithoutALayout) {
    const std::string list = "<TRACK_LIST><TRACK><CHANNEL_INDEX>7</CHANNEL_INDEX><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX>"
                             "<NAME>Lav 2</NAME><FUNCTION>R-5.1</FUNCTION></TRACK><TRACK><CHANNEL_INDEX>3</CHANNEL_INDEX>"
                             "<INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>Boom</NAME><FUNCTION>l</FUNCTION></TRACK></TRACK_LIST>";
    const AudioMetadata m = take("poly.wav", {{"iXML", bytes(ixml("", list))}}, 3);
    EXPECT_EQ(m.tracks, (std::vector<AudioMetadata::Track>{{1, "Boom", "l", "L"}, {2, "Lav 2", "R-5.1", "R"},
                                                           {3, std::nullopt, std::nullopt, std::nullopt}}));
}

} // namespace
} // namespace vaun::test
