// ADM broadcast waves as DAWs export them, and hostile ones: the model read back.
#include "inspect/ADMCoordinates.h"
#include "inspect/ADMModel.h"
#include "inspect/MetadataAssembler.h"

#include "TestAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vaun {
namespace {

using test::TempDir;

struct ChnaTrack {
    int index;
    std::string uid, trackFormat, packFormat;
};

std::vector<std::uint8_t> chna(const std::vector<ChnaTrack>& tracks) {
    std::vector<std::uint8_t> bytes(4 + 40 * tracks.size(), 0);
    bytes[0] = bytes[2] = static_cast<std::uint8_t>(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        std::uint8_t* p = bytes.data() + 4 + 40 * i;
        p[0] = static_cast<std::uint8_t>(tracks[i].index);
        std::memcpy(p + 2, tracks[i].uid.data(), std::min<std::size_t>(12, tracks[i].uid.size()));
        std::memcpy(p + 14, tracks[i].trackFormat.data(), std::min<std::size_t>(14, tracks[i].trackFormat.size()));
        std::memcpy(p + 28, tracks[i].packFormat.data(), std::min<std::size_t>(11, tracks[i].packFormat.size()));
    }
    return bytes;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::filesystem::path admWav(const TempDir& dir, const std::string& name, int channels,
                             const std::vector<ChnaTrack>& tracks, const std::string& axml, bool afterData = false) {
    const auto path = dir / name;
    test::WavOptions options;
    auto& chunks = afterData ? options.trailingChunks : options.extraChunks;
    chunks.emplace_back("chna", chna(tracks));
    chunks.emplace_back("axml", bytesOf(axml));
    test::writeWav(path, test::Planes(static_cast<std::size_t>(channels), std::vector<float>(480, 0.0f)), 48000,
                   options);
    return path;
}

std::string wrapped(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ebuCoreMain xmlns=\"urn:ebu:metadata-schema:ebuCore_2016\">"
           "<coreMetadata><format><audioFormatExtended>" +
           body + "</audioFormatExtended></format></coreMetadata></ebuCoreMain>";
}

// A 5.1.2 bed in cartesian positions and two moving objects, one channel format per track.
std::filesystem::path dawExport(const TempDir& dir) {
    const char* labels[] = {"M+030", "M-030", "M+000", "LFE1", "M+110", "M-110", "U+030", "U-030"};
    const double xyz[][3] = {{-1, 1, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, -1}, {-1, -1, 0}, {1, -1, 0}, {-1, 1, 1}, {1, 1, 1}};
    std::string body = "<audioProgramme audioProgrammeID=\"APR_1001\" audioProgrammeName=\"Final Mix\">"
                       "<audioContentIDRef>ACO_1001</audioContentIDRef></audioProgramme>"
                       "<audioContent audioContentID=\"ACO_1001\" audioContentName=\"Mix\">"
                       "<audioObjectIDRef>AO_1001</audioObjectIDRef><audioObjectIDRef>AO_1002</audioObjectIDRef>"
                       "<audioObjectIDRef>AO_1003</audioObjectIDRef></audioContent>";
    body += "<audioObject audioObjectID=\"AO_1001\" audioObjectName=\"Bed\"><audioPackFormatIDRef>AP_00011001"
            "</audioPackFormatIDRef>";
    std::vector<ChnaTrack> tracks;
    for (int i = 1; i <= 10; ++i) {
        char uid[16], at[16], ac[16];
        std::snprintf(uid, sizeof uid, "ATU_%08d", i);
        std::snprintf(at, sizeof at, "AT_000%d%04d_01", i <= 8 ? 1 : 3, 1000 + i);
        std::snprintf(ac, sizeof ac, "AC_000%d%04d", i <= 8 ? 1 : 3, 1000 + i);
        tracks.push_back({i, uid, at, i <= 8 ? "AP_00011001" : (i == 9 ? "AP_00031009" : "AP_00031010")});
        if (i == 9) body += "</audioObject><audioObject audioObjectID=\"AO_1002\" audioObjectName=\"Bird\">"
                            "<audioPackFormatIDRef>AP_00031009</audioPackFormatIDRef>";
        if (i == 10) body += "</audioObject><audioObject audioObjectID=\"AO_1003\" audioObjectName=\"Car\">"
                             "<audioPackFormatIDRef>AP_00031010</audioPackFormatIDRef>";
        body += "<audioTrackUIDRef>" + std::string(uid) + "</audioTrackUIDRef>";
    }
    body += "</audioObject><audioPackFormat audioPackFormatID=\"AP_00011001\" audioPackFormatName=\"Bed\" "
            "typeDefinition=\"DirectSpeakers\">";
    for (int i = 1; i <= 8; ++i) body += "<audioChannelFormatIDRef>AC_0001" + std::to_string(1000 + i) + "</audioChannelFormatIDRef>";
    body += "</audioPackFormat>";
    for (int i = 1; i <= 10; ++i) {
        const std::string n = std::to_string(1000 + i), type = i <= 8 ? "0001" : "0003";
        body += "<audioChannelFormat audioChannelFormatID=\"AC_" + type + n + "\" audioChannelFormatName=\"Ch" + n +
                "\" typeDefinition=\"" + (i <= 8 ? "DirectSpeakers" : "Objects") + "\">";
        if (i <= 8) {
            body += "<audioBlockFormat audioBlockFormatID=\"AB_0001" + n + "_00000001\"><speakerLabel>" +
                    labels[i - 1] + "</speakerLabel><cartesian>1</cartesian>";
            const char* axes[] = {"X", "Y", "Z"};
            for (int a = 0; a < 3; ++a)
                body += "<position coordinate=\"" + std::string(axes[a]) + "\">" + std::to_string(xyz[i - 1][a]) + "</position>";
            body += "</audioBlockFormat>";
        } else {
            for (int b = 0; b < 3; ++b)
                body += "<audioBlockFormat audioBlockFormatID=\"AB_0003" + n + "_0000000" + std::to_string(b + 1) +
                        "\" rtime=\"00:00:0" + std::to_string(b) + ".00000\" duration=\"00:00:00.24000S48000\">" +
                        (i == 9 ? "<position coordinate=\"azimuth\">" + std::to_string(-30 * b) +
                                      "</position><position coordinate=\"elevation\">10</position>"
                                : "<cartesian>1</cartesian><position coordinate=\"X\">1</position>"
                                  "<position coordinate=\"Y\">0</position><position coordinate=\"Z\">0</position>") +
                        "</audioBlockFormat>";
        }
        body += "</audioChannelFormat>";
    }
    body += "<audioPackFormat audioPackFormatID=\"AP_00031009\" audioPackFormatName=\"Bird\" typeLabel=\"0003\">"
            "<audioChannelFormatIDRef>AC_00031009</audioChannelFormatIDRef></audioPackFormat>";
    for (int i = 1; i <= 10; ++i) {
        const std::string n = std::to_string(1000 + i), type = i <= 8 ? "0001" : "0003";
        body += "<audioStreamFormat audioStreamFormatID=\"AS_" + type + n + "\"><audioChannelFormatIDRef>AC_" + type + n +
                "</audioChannelFormatIDRef></audioStreamFormat><audioTrackFormat audioTrackFormatID=\"AT_" + type + n +
                "_01\"><audioStreamFormatIDRef>AS_" + type + n + "</audioStreamFormatIDRef></audioTrackFormat>";
    }
    return admWav(dir, "daw.wav", 10, tracks, wrapped(body));
}

TEST(ADMModelTest, ReadsABedAndMovingObjectsAsADAWExportsThem) {
    const TempDir dir;
    const auto model = ADMModel::read(dawExport(dir));
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->warnings.empty());
    EXPECT_EQ(model->programme, "Final Mix");
    EXPECT_EQ(model->content, "5.1.2 bed + 2 objects");
    ASSERT_EQ(model->tracks.size(), 10u);
    const auto& left = model->tracks[0];
    EXPECT_EQ(left.index, 1);
    EXPECT_EQ(left.object, "Bed");
    EXPECT_EQ(left.type, "DirectSpeakers");
    EXPECT_EQ(left.label, "M+030");
    ASSERT_EQ(left.blocks.size(), 1u);
    // Cartesian positions as BS.2127 maps the room: the front corner is the speaker at 30°.
    EXPECT_NEAR(left.blocks[0].azimuth, 30, 1e-9); // X −1, Y 1
    EXPECT_NEAR(left.blocks[0].distance, 1, 1e-9);
    EXPECT_EQ(left.blocks[0].x, -1.0);
    EXPECT_NEAR(model->tracks[6].blocks[0].elevation, 30, 1e-9);

    const auto& bird = model->tracks[8];
    EXPECT_EQ(bird.object, "Bird");
    EXPECT_EQ(bird.type, "Objects");
    ASSERT_EQ(bird.blocks.size(), 3u);
    EXPECT_DOUBLE_EQ(*bird.blocks[2].rtimeSeconds, 2.0);
    EXPECT_DOUBLE_EQ(*bird.blocks[2].durationSeconds, 0.5);
    EXPECT_DOUBLE_EQ(bird.blocks[2].azimuth, -60);
    EXPECT_DOUBLE_EQ(bird.blocks[2].distance, 1);
    EXPECT_NEAR(model->tracks[9].blocks[1].azimuth, -70, 1e-9); // X 1 is the right wall's middle
    EXPECT_EQ(model->tracks[9].object, "Car");
}

TEST(ADMModelTest, ResolvesCommonDefinitionsTheFileDoesNotDefine) {
    const TempDir dir;
    std::vector<ChnaTrack> tracks;
    std::string refs;
    const char* channels[] = {"01", "02", "03", "04", "0a", "0b", "1c", "1d", "22", "23", "1e", "1f"};
    for (int i = 1; i <= 12; ++i) {
        const std::string uid = "ATU_000000" + std::string(i < 10 ? "0" : "") + std::to_string(i);
        tracks.push_back({i, uid, "AT_000100" + std::string(channels[i - 1]) + "_01", "AP_00010017"});
        refs += "<audioTrackUIDRef>" + uid + "</audioTrackUIDRef>";
    }
    const auto model = ADMModel::read(admWav(dir, "common.wav", 12, tracks,
                                             wrapped("<audioProgramme audioProgrammeID=\"APR_1001\" audioProgrammeName="
                                                     "\"Programme\"/><audioObject audioObjectID=\"AO_1001\" "
                                                     "audioObjectName=\"Surround\"><audioPackFormatIDRef>AP_00010017"
                                                     "</audioPackFormatIDRef>" + refs + "</audioObject>")));
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->warnings.empty());
    EXPECT_EQ(model->content, "7.1.4 bed");
    ASSERT_EQ(model->tracks.size(), 12u);
    std::vector<std::string> labels;
    for (const auto& t : model->tracks) labels.push_back(t.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"M+030", "M-030", "M+000", "LFE1", "M+090", "M-090", "M+135", "M-135", "U+045",
                                        "U-045", "U+135", "U-135"}));
    EXPECT_EQ(model->tracks[4].type, "DirectSpeakers");
    EXPECT_EQ(model->tracks[4].object, "Surround");
    ASSERT_EQ(model->tracks[4].blocks.size(), 1u);
    EXPECT_EQ(model->tracks[6].blocks[0].azimuth, 135);
    EXPECT_EQ(model->tracks[9].blocks[0].elevation, 30);

    // Without a readable document the chna alone still names what the file holds.
    ChnaChunk mixed;
    mixed.entries = {{1, "ATU_00000001", "AT_00010001_01", "AP_00010002"},
                     {2, "ATU_00000002", "AT_00010002_01", "AP_00010002"},
                     {3, "ATU_00000003", "AT_00010003_01", "AP_00010001"},
                     {4, "ATU_00000004", "AT_00031001_01", "AP_00031001"}};
    const ADMModel fromChna = ADMModel::build(mixed, nullptr);
    EXPECT_EQ(fromChna.content, "2 beds + 1 object");
    EXPECT_EQ(fromChna.tracks[3].type, "Objects");
}

TEST(ADMModelTest, HostileMetadataGivesTheWarningAndNeverHangs) {
    const TempDir dir;
    const std::vector<ChnaTrack> tracks = {{1, "ATU_00000001", "AT_00010003_01", "AP_00010001"}};
    const auto started = std::chrono::steady_clock::now();
    const auto unreadable = [](const std::optional<ADMModel>& model) {
        return model && model->warnings == std::vector<std::string>{ADMModel::unreadableWarning} &&
               model->tracks.size() == 1 && model->tracks[0].label == "M+000"; // chna still resolves
    };

    EXPECT_TRUE(unreadable(ADMModel::read(admWav(
        dir, "entity.wav", 1, tracks, "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>"))));
    EXPECT_TRUE(unreadable(ADMModel::read(
        admWav(dir, "deep.wav", 1, tracks, [] {
            std::string deep;
            for (int i = 0; i < 1000; ++i) deep += "<a>";
            for (int i = 0; i < 1000; ++i) deep += "</a>";
            return deep;
        }()))));
    std::string many;
    for (int i = 0; i < 200; ++i) many += "<audioProgramme audioProgrammeID=\"APR_1\"/>";
    const auto manyPath = admWav(dir, "many.wav", 1, tracks, wrapped(many));
    EXPECT_TRUE(ADMModel::read(manyPath)->warnings.empty());
    AXMLOptions lowered;
    lowered.maxElements = 100;
    EXPECT_TRUE(unreadable(ADMModel::read(manyPath, lowered)));

    // An axml header claiming 200 MB in a file of a few hundred bytes.
    const auto huge = admWav(dir, "huge.wav", 1, tracks, "<a/>", true);
    {
        std::fstream file(huge, std::ios::in | std::ios::out | std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(file)), {});
        const auto at = content.find("axml");
        ASSERT_NE(at, std::string::npos);
        const std::uint32_t size = 200'000'000;
        file.seekp(static_cast<std::streamoff>(at + 4));
        file.write(reinterpret_cast<const char*>(&size), 4);
    }
    EXPECT_TRUE(unreadable(ADMModel::read(huge)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

    // The preview goes on; only the warning is added.
    const auto record = MetadataAssembler::assemble(huge);
    EXPECT_TRUE(record.isADM);
    EXPECT_EQ(record.channels, 1);
    EXPECT_EQ(std::count(record.warnings.begin(), record.warnings.end(), ADMModel::unreadableWarning), 1);
}

TEST(ADMModelTest, AssemblerNamesProgrammeContentAndEveryTrack) {
    const TempDir dir;
    auto record = MetadataAssembler::assemble(dawExport(dir));
    EXPECT_EQ(record.admProgramme, "Final Mix");
    EXPECT_EQ(record.admContent, "5.1.2 bed + 2 objects");
    EXPECT_EQ(record.admTrackLabels,
              (std::vector<std::string>{"L", "R", "C", "LFE", "Ls", "Rs", "Ltf", "Rtf", "Bird", "Car"}));

    // Long and missing object names; a third file channel the chna leaves out gives no labels.
    const std::vector<ChnaTrack> tracks = {{1, "ATU_00000001", "AT_00010001_01", "AP_00010002"},
                                           {2, "ATU_00000002", "AT_00031002_01", "AP_00031002"},
                                           {3, "ATU_00000003", "AT_00031003_01", "AP_00031003"}};
    const std::string objects = wrapped("<audioObject audioObjectID=\"AO_1002\" audioObjectName=\" Helicopter flyby \">"
                                        "<audioTrackUIDRef>ATU_00000002</audioTrackUIDRef></audioObject>"
                                        "<audioObject audioObjectID=\"AO_1003\">"
                                        "<audioTrackUIDRef>ATU_00000003</audioTrackUIDRef></audioObject>");
    record = MetadataAssembler::assemble(admWav(dir, "objects.wav", 3, tracks, objects));
    EXPECT_FALSE(record.admProgramme);
    EXPECT_TRUE(record.admContent && record.admContent->ends_with(" bed + 2 objects"));
    // Names stay whole here; where they are shown they are elided to fit.
    EXPECT_EQ(record.admTrackLabels, (std::vector<std::string>{"L", "Helicopter flyby", "Obj 3"}));
    record = MetadataAssembler::assemble(admWav(dir, "partial.wav", 4, tracks, objects));
    EXPECT_TRUE(record.admTrackLabels.empty());
    EXPECT_TRUE(record.admContent);
}

TEST(ADMModelTest, PlainWaveHasNoModel) {
    const TempDir dir;
    test::writeWav(dir / "plain.wav", {std::vector<float>(480, 0.0f)}, 48000);
    EXPECT_FALSE(ADMModel::read(dir / "plain.wav"));
}

TEST(ADMModelTest, ResolvesTheWiderCommonLayoutsFromTheChnaAlone) {
    const auto words = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string w; in >> w;) out.push_back(w);
        return out;
    };
    struct Case {
        const char *pack, *name, *channels, *labels, *content;
    };
    const Case cases[] = {
        {"AP_0001000c", "5.0", "01 02 03 05 06", "M+030 M-030 M+000 M+110 M-110", "5.0 bed"},
        {"AP_00010013", "5.1.2 top side", "01 02 03 04 05 06 13 14", "M+030 M-030 M+000 LFE1 M+110 M-110 U+090 U-090",
         "5.1.2 bed"},
        {"AP_00010010", "4+5+1", "01 02 03 04 05 06 0d 0f 10 12 15",
         "M+030 M-030 M+000 LFE1 M+110 M-110 U+030 U-030 U+110 U-110 B+000", "11-channel bed"},
        {"AP_00010007", "3+7+0", "03 01 02 22 23 0a 0b 1c 1d 28 20 21",
         "M+000 M+030 M-030 U+045 U-045 M+090 M-090 M+135 M-135 UH+180 LFE1 LFE2", "12-channel bed"},
        {"AP_00010008", "4+9+0", "01 02 03 04 0a 0b 1c 1d 22 23 1e 1f 24 25",
         "M+030 M-030 M+000 LFE1 M+090 M-090 M+135 M-135 U+045 U-045 U+135 U-135 M+SC M-SC", "14-channel bed"},
        {"AP_00010009", "9+10+3", "18 19 03 20 1c 1d 01 02 09 21 0a 0b 22 23 0e 0c 1e 1f 13 14 11 15 16 17",
         "M+060 M-060 M+000 LFE1 M+135 M-135 M+030 M-030 M+180 LFE2 M+090 M-090 U+045 U-045 U+000 T+000 U+135 "
         "U-135 U+090 U-090 U+180 B+000 B+045 B-045",
         "24-channel bed"},
    };
    const TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pack);
        std::vector<ChnaTrack> tracks;
        for (const auto& channel : words(c.channels)) {
            const int i = static_cast<int>(tracks.size()) + 1;
            tracks.push_back({i, "ATU_0000" + std::to_string(1000 + i), "AT_000100" + channel + "_01", c.pack});
        }
        const auto model = ADMModel::read(
            admWav(dir, std::string(c.pack) + ".wav", static_cast<int>(tracks.size()), tracks, wrapped("")));
        ASSERT_TRUE(model);
        std::vector<std::string> labels;
        for (const auto& t : model->tracks) {
            labels.push_back(t.label);
            EXPECT_EQ(t.object, c.name);
            EXPECT_EQ(t.type, "DirectSpeakers");
        }
        EXPECT_EQ(labels, words(c.labels));
        EXPECT_EQ(model->content, c.content);
    }

    // The second LFE of 22.2 counts as one in the project's labels; the top speaker is straight up.
    ChnaChunk bed;
    bed.entries = {{1, "ATU_00000001", "AT_00010021_01", "AP_00010009"},
                   {2, "ATU_00000002", "AT_0001000c_01", "AP_00010009"}};
    const ADMModel fromChna = ADMModel::build(bed, nullptr);
    EXPECT_EQ(ADMModel::speakerLabel(fromChna.tracks[0].label), "LFE2");
    EXPECT_EQ(fromChna.tracks[0].blocks[0].azimuth, -45);
    EXPECT_EQ(fromChna.tracks[1].blocks[0].elevation, 90);
    EXPECT_EQ(ADMModel::speakerLabel("urn:itu:bs:2051:0:speaker:LFER"), "LFE2");
}

TEST(ADMModelTest, ReadsWhatBS2076SaysOfTimesBoundsProgrammesAndHOA) {
    const TempDir dir;
    const std::vector<ChnaTrack> tracks = {{1, "ATU_00000001", "AT_00011001_01", "AP_00011001"},
                                           {2, "ATU_00000002", "AT_00031002_01", "AP_00031002"},
                                           {3, "ATU_00000003", "AT_00040001_01", "AP_00040001"},
                                           {4, "ATU_00000004", "AT_00040002_01", "AP_00040001"},
                                           {5, "ATU_00000005", "AT_00040003_01", "AP_00040001"},
                                           {6, "ATU_00000006", "AT_00040004_01", "AP_00040001"}};
    const std::string doc = wrapped(
        "<audioProgramme audioProgrammeID=\"APR_1002\" audioProgrammeName=\"Second\"/>"
        "<audioProgramme audioProgrammeID=\"APR_1001\" audioProgrammeName=\"First\"/>"
        "<audioObject audioObjectID=\"AO_1001\" audioObjectName=\"\"><audioTrackUIDRef>ATU_00000001</audioTrackUIDRef>"
        "</audioObject><audioObject audioObjectID=\"AO_1002\" audioObjectName=\"Bee\" start=\"00:00:00.50000\" "
        "duration=\"00:00:01.00000\"><audioTrackUIDRef>ATU_00000002</audioTrackUIDRef></audioObject>"
        "<audioPackFormat audioPackFormatID=\"AP_00011001\" audioPackFormatName=\"Pack name\"/>"
        "<audioChannelFormat audioChannelFormatID=\"AC_00011001\" audioChannelFormatName=\"Left\" "
        "typeDefinition=\"DirectSpeakers\"><audioBlockFormat audioBlockFormatID=\"AB_00011001_00000001\">"
        "<speakerLabel>M+045</speakerLabel><position coordinate=\"azimuth\">45</position>"
        "<position coordinate=\"azimuth\" bound=\"max\">60</position><position coordinate=\"azimuth\" bound=\"min\">30"
        "</position><position coordinate=\"elevation\">0</position></audioBlockFormat></audioChannelFormat>"
        "<audioChannelFormat audioChannelFormatID=\"AC_00031002\" audioChannelFormatName=\"Bee\" typeDefinition=\"Objects\">"
        "<audioBlockFormat audioBlockFormatID=\"AB_00031002_00000001\"><position coordinate=\"azimuth\">90</position>"
        "</audioBlockFormat></audioChannelFormat>"
        "<audioStreamFormat audioStreamFormatID=\"AS_00011001\"><audioChannelFormatIDRef>AC_00011001"
        "</audioChannelFormatIDRef></audioStreamFormat><audioTrackFormat audioTrackFormatID=\"AT_00011001_01\">"
        "<audioStreamFormatIDRef>AS_00011001</audioStreamFormatIDRef></audioTrackFormat>"
        "<audioStreamFormat audioStreamFormatID=\"AS_00031002\"><audioChannelFormatIDRef>AC_00031002"
        "</audioChannelFormatIDRef></audioStreamFormat><audioTrackFormat audioTrackFormatID=\"AT_00031002_01\">"
        "<audioStreamFormatIDRef>AS_00031002</audioStreamFormatIDRef></audioTrackFormat>");
    const auto model = ADMModel::read(admWav(dir, "bs2076.wav", 6, tracks, doc));
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->warnings.empty());
    EXPECT_EQ(model->programme, "First");
    EXPECT_EQ(model->otherProgrammes, std::vector<std::string>{"Second"});
    const auto& left = model->tracks[0];
    EXPECT_EQ(left.object, ""); // the file's own (empty) name, not its pack's
    EXPECT_EQ(left.blocks.at(0).azimuth, 45); // the nominal position, not a bound
    const auto& bee = model->tracks[1];
    EXPECT_EQ(bee.objectStartSeconds, 0.5);
    EXPECT_EQ(bee.objectDurationSeconds, 1.0);
    EXPECT_FALSE(bee.blocks.at(0).rtimeSeconds); // spans its whole object
    EXPECT_FALSE(bee.blocks.at(0).durationSeconds);
    // The common first-order SN3D pack: ACN 0 to 3 with their orders and degrees.
    for (int acn = 0; acn < 4; ++acn) {
        const auto& t = model->tracks[std::size_t(2 + acn)];
        EXPECT_EQ(t.type, "HOA");
        EXPECT_EQ(t.order, acn == 0 ? 0 : 1);
        EXPECT_EQ(t.degree, acn == 0 ? 0 : acn - 2);
        EXPECT_EQ(t.normalization, "SN3D");
    }
    EXPECT_EQ(ADMModel::shortLabel(model->tracks[5]), "ACN 3");
}

TEST(ADMCoordinatesTest, CartesianPositionsMapAsBS2127Says) {
    struct Case {
        ADMCartesian c;
        double azimuth, elevation;
    };
    for (const Case& k : {Case{{-1, 1, 0}, 30, 0}, Case{{-1, 0, 0}, 70, 0}, Case{{-1, -1, 0}, 110, 0},
                          Case{{-1, 1, 1}, 30, 30}, Case{{0, 0, 1}, 0, 90}, Case{{1, 1, 0}, -30, 0}}) {
        const ADMPolar p = ADMCoordinates::toPolar(k.c);
        EXPECT_NEAR(p.azimuth, k.azimuth, 0.01) << k.c.x << " " << k.c.y << " " << k.c.z;
        EXPECT_NEAR(p.elevation, k.elevation, 0.01) << k.c.x << " " << k.c.y << " " << k.c.z;
        // And back.
        const ADMCartesian back = ADMCoordinates::toCartesian(p);
        EXPECT_NEAR(back.x, k.c.x, 1e-6);
        EXPECT_NEAR(back.y, k.c.y, 1e-6);
        EXPECT_NEAR(back.z, k.c.z, 1e-6);
    }
}

} // namespace
} // namespace vaun
