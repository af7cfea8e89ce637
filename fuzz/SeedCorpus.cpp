// Writes the starting corpus of every fuzz target: representative valid files and the
// damaged and hostile shapes the parsers must survive. Usage: seed-corpus DIR
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::string_view_literals;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

void put32(Bytes& out, std::uint32_t v, bool bigEndian = false) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (bigEndian ? 24 - 8 * i : 8 * i)));
}
void put64(Bytes& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void text(Bytes& out, std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }
Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

struct Chunk {
    std::string id;
    Bytes payload;
    std::uint32_t sizeField = 0; // 0: the payload's size
    bool pad = true;
};

Bytes container(std::string_view identifier, const std::vector<Chunk>& chunks, std::uint32_t sizeField = 0) {
    const bool big = identifier == "RIFX";
    Bytes body;
    for (const auto& c : chunks) {
        text(body, c.id);
        put32(body, c.sizeField ? c.sizeField : static_cast<std::uint32_t>(c.payload.size()), big);
        body.insert(body.end(), c.payload.begin(), c.payload.end());
        if (c.pad && c.payload.size() % 2 == 1) body.push_back(0);
    }
    Bytes out;
    text(out, identifier);
    put32(out, sizeField ? sizeField : static_cast<std::uint32_t>(body.size() + 4), big);
    text(out, "WAVE");
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes ds64(std::uint64_t riffSize, std::uint64_t dataSize) {
    Bytes out;
    put64(out, riffSize);
    put64(out, dataSize);
    put64(out, dataSize / 4);
    put32(out, 0);
    return out;
}

Bytes fmtPayload() {
    Bytes out = {1, 0, 2, 0};
    put32(out, 48000);
    put32(out, 48000 * 4);
    out.insert(out.end(), {4, 0, 16, 0});
    return out;
}

Bytes bext(std::string_view description, std::string_view history = {}) {
    Bytes out(602, 0);
    std::copy(description.begin(), description.end(), out.begin());
    const std::string_view fields[] = {"Recorder", "REF-0042", "2024-05-17", "13:45:09"};
    const std::size_t offsets[] = {256, 288, 320, 330};
    for (int i = 0; i < 4; ++i) std::copy(fields[i].begin(), fields[i].end(), out.begin() + static_cast<long>(offsets[i]));
    out[338] = 0x10, out[342] = 0x01, out[346] = 2;
    text(out, history);
    return out;
}

const std::string_view kIXML =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><IXML_VERSION>2.10</IXML_VERSION>"
    "<PROJECT>Harbour</PROJECT><SCENE>12A</SCENE><TAPE>Day 4</TAPE><NOTE>wind <![CDATA[<north>]]> &amp; rain</NOTE>"
    "<TRACK_LIST><TRACK_COUNT>2</TRACK_COUNT><TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><NAME>Boom</NAME></TRACK>"
    "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><NAME>Lav</NAME></TRACK></TRACK_LIST></BWFXML>\n";

std::vector<std::pair<std::string, Bytes>> riffSeeds() {
    const Bytes audio(64, 0x11);
    const Bytes ixml = bytes(kIXML);
    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"empty-wave", container("RIFF", {})},
        {"broadcast-wave", container("RIFF", {{"fmt ", fmtPayload()}, {"bext", bext("Scene 12")}, {"iXML", ixml},
                                               {"data", audio}, {"chna", {2, 0, 2, 0}}, {"axml", bytes("<ebu/>")}})},
        {"odd-chunk-without-pad", container("RIFF", {{"fmt ", fmtPayload()}, {"LIST", bytes("abc"), 0, false}})},
        {"size-past-end", container("RIFF", {{"fmt ", fmtPayload()}, {"data", audio, 4000}})},
        {"riff-size-past-end", container("RIFF", {{"fmt ", fmtPayload()}}, 100000)},
        {"control-byte-id", container("RIFF", {{"fmt ", fmtPayload()}, {"da\x01" "a", audio}, {"iXML", ixml}})},
        {"rifx", container("RIFX", {{"fmt ", fmtPayload()}, {"data", audio}, {"bext", bext("big")}})},
        {"rf64-without-ds64", container("RF64", {{"fmt ", fmtPayload()}}, 0xFFFFFFFF)},
        {"unknown-data-size", container("RIFF", {{"data", audio, 0xFFFFFFFF}})},
    };
    Bytes rf64 = container("RF64", {{"ds64", ds64(0, audio.size())}, {"fmt ", fmtPayload()},
                                    {"data", audio, 0xFFFFFFFF}, {"iXML", ixml}}, 0xFFFFFFFF);
    const std::uint64_t riffSize = rf64.size() - 8;
    for (int i = 0; i < 8; ++i) rf64[20 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    seeds.emplace_back("rf64", rf64);
    seeds.emplace_back("rf64-hostile-ds64",
                       container("RF64", {{"ds64", ds64(~0ull - 3, ~0ull)}, {"data", audio, 0xFFFFFFFF}}, 0xFFFFFFFF));
    std::vector<Chunk> junk(300, Chunk{"JUNK", {}});
    seeds.emplace_back("many-chunks", container("RIFF", junk));
    return seeds;
}

std::vector<std::pair<std::string, Bytes>> bextSeeds() {
    Bytes latin1 = bext("\xE9t\xE9");
    Bytes inner = bext("ab");
    inner[3] = 'c';
    Bytes loudness = bext("loud", "A=PCM\r\n");
    for (std::size_t i = 348; i < 422; ++i) loudness[i] = static_cast<std::uint8_t>(i * 7);
    loudness[420] = 0xFF, loudness[421] = 0x7F;
    return {{"zeros", Bytes(602, 0)},
            {"fields", bext("Scene 12 take 3")},
            {"history", bext("desc", "A=PCM,F=48000,W=24,M=stereo\r\n")},
            {"latin1", latin1},
            {"utf8", bext("Zo\xC3\xAB \xF0\x9F\x8E\x99")},
            {"inner-zero", inner},
            {"v2-loudness", loudness},
            {"too-short", Bytes(601, 0)}};
}

std::vector<std::pair<std::string, Bytes>> ixmlSeeds() {
    std::string deep = "<BWFXML>", deepEnd = "</BWFXML>";
    for (int i = 1; i < 33; ++i) deep += "<L>", deepEnd.insert(0, "</L>");
    std::string padded(kIXML);
    padded.append(64, '\0');
    return {{"typical", bytes(kIXML)},
            {"empty-root", bytes("<BWFXML/>")},
            {"lower-case-root", bytes("<bwfxml><SCENE>1</SCENE></bwfxml>")},
            {"doctype", bytes("<!DOCTYPE BWFXML [<!ENTITY e \"x\">]><BWFXML><SCENE>&e;</SCENE></BWFXML>")},
            {"external-entity", bytes("<!doctype BWFXML [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><BWFXML>&x;</BWFXML>")},
            {"nested-33", bytes(deep + deepEnd)},
            {"trailing-nuls", bytes(padded)},
            {"first-wins", bytes("<BWFXML><SCENE> </SCENE><SCENE>2</SCENE><SCENE>3</SCENE><TRACK>T</TRACK>"
                                 "<META a='1'><PROJECT>inner</PROJECT></META><?pi x?><!-- c --></BWFXML>")},
            {"references", bytes("<BWFXML><NOTE>&#x263A; &lt;&gt; &#10;\r\n\xC2\xA0</NOTE></BWFXML>")}};
}

std::vector<std::pair<std::string, Bytes>> sniffSeeds() {
    return {{"wave", bytes("RIFF\x24\0\0\0WAVE"sv)},       {"aiff", bytes("FORM\0\0\0\x20" "AIFF"sv)},
            {"aifc", bytes("FORM\0\0\0\x20" "AIFC"sv)},       {"caf", bytes("caff\0\x01\0\0"sv)},
            {"flac", bytes("fLaC\0\0\0\x22"sv)},              {"id3", bytes("ID3\x04\0\0"sv)},
            {"mpeg", bytes("\xFF\xFB\x90\x64"sv)},             {"mp4", bytes("\0\0\0\x20" "ftypM4A "sv)},
            {"rf64", bytes("RF64\xFF\xFF\xFF\xFFWAVE"sv)}};
}

// A chna length, the chna payload, then the axml document: the ADM target's input.
Bytes admInput(const Bytes& chna, std::string_view axml) {
    Bytes out = {static_cast<std::uint8_t>(chna.size()), static_cast<std::uint8_t>(chna.size() >> 8)};
    out.insert(out.end(), chna.begin(), chna.end());
    text(out, axml);
    return out;
}

Bytes chnaEntries(std::initializer_list<std::string_view> entries) {
    Bytes out = {static_cast<std::uint8_t>(entries.size()), 0, static_cast<std::uint8_t>(entries.size()), 0};
    std::uint8_t index = 0;
    for (const auto entry : entries) { // "ATU_00000001AT_00010001_01AP_00010002"
        out.insert(out.end(), {++index, 0});
        text(out, entry);
        out.push_back(0);
    }
    return out;
}

std::vector<std::pair<std::string, Bytes>> admSeeds() {
    const Bytes stereo = chnaEntries({"ATU_00000001AT_00010001_01AP_00010002", "ATU_00000002AT_00010002_01AP_00010002"});
    const Bytes object = chnaEntries({"ATU_00000001AT_00031001_01AP_00031001"});
    return {{"common-stereo", admInput(stereo, "<ebuCoreMain><audioFormatExtended><audioProgramme audioProgrammeName="
                                               "\"P\"/></audioFormatExtended></ebuCoreMain>")},
            {"moving-object",
             admInput(object, "<audioFormatExtended><audioObject audioObjectID=\"AO_1001\" audioObjectName=\"Bird\">"
                              "<audioPackFormatIDRef>AP_00031001</audioPackFormatIDRef><audioTrackUIDRef>ATU_00000001"
                              "</audioTrackUIDRef></audioObject><audioPackFormat audioPackFormatID=\"AP_00031001\" "
                              "typeLabel=\"0003\"><audioChannelFormatIDRef>AC_00031001</audioChannelFormatIDRef>"
                              "</audioPackFormat><audioChannelFormat audioChannelFormatID=\"AC_00031001\" "
                              "typeDefinition=\"Objects\"><audioBlockFormat rtime=\"00:00:00.00000\" duration="
                              "\"00:00:00.24000S48000\"><position coordinate=\"azimuth\">-30</position></audioBlockFormat>"
                              "<audioBlockFormat rtime=\"00:00:00.50000\"><cartesian>1</cartesian><position "
                              "coordinate=\"X\">0.5</position></audioBlockFormat></audioChannelFormat><audioTrackFormat "
                              "audioTrackFormatID=\"AT_00031001_01\"><audioStreamFormatIDRef>AS_00031001"
                              "</audioStreamFormatIDRef></audioTrackFormat><audioStreamFormat audioStreamFormatID="
                              "\"AS_00031001\"><audioChannelFormatIDRef>AC_00031001</audioChannelFormatIDRef>"
                              "</audioStreamFormat></audioFormatExtended>")},
            {"entity", admInput(stereo, "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>")},
            {"short-chna", admInput({4, 0, 9, 0, 1}, "<a/>")},
            {"redefined-channel",
             admInput(object, "<audioChannelFormat audioChannelFormatID=\"AC_00031001\"><audioBlockFormat>"
                              "<audioChannelFormat audioChannelFormatID=\"AC_00031001\"/><position coordinate="
                              "\"X\">1</position></audioBlockFormat></audioChannelFormat>")}};
}

// The marker target's input: a reader byte (0 WAVE, 1 AIFF), then chunks of a 4-byte id, a
// 2-byte little-endian length and the payload.
Bytes markerInput(std::uint8_t reader, const std::vector<std::pair<std::string_view, Bytes>>& chunks) {
    Bytes out = {reader};
    for (const auto& [id, payload] : chunks) {
        text(out, id);
        const auto size = static_cast<std::uint16_t>(payload.size());
        out.insert(out.end(), {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8)});
        out.insert(out.end(), payload.begin(), payload.end());
    }
    return out;
}

std::vector<std::pair<std::string, Bytes>> markerSeeds() {
    Bytes cue;
    put32(cue, 3);
    for (std::uint32_t id : {1, 2, 3}) {
        put32(cue, id);
        put32(cue, id * 1000);
        text(cue, "data");
        put32(cue, 0);
        put32(cue, 0);
        put32(cue, id == 2 ? 0 : id * 1000);
    }
    Bytes adtl = bytes("adtl");
    const auto entry = [&](std::string_view id, std::uint32_t cueID, std::string_view body) {
        text(adtl, id);
        put32(adtl, static_cast<std::uint32_t>(4 + body.size()));
        put32(adtl, cueID);
        text(adtl, body);
        if (body.size() % 2) adtl.push_back(0);
    };
    entry("labl", 1, "Intro\0"sv);
    entry("note", 1, "check \xE9");
    entry("ltxt", 2, "\x10\x27\0\0rgn \0\0\0\0\0\0\0\0Chorus"sv);
    entry("labl", 3, "Loop name");
    Bytes smpl(28, 0);
    for (std::uint32_t v : {1u, 0u, 3u, 0u, 3000u, 3999u, 0u, 2u}) put32(smpl, v);
    Bytes lying = cue;
    lying[0] = lying[1] = lying[2] = lying[3] = 0xFF;
    Bytes cutList = bytes("adtllabl");
    put32(cutList, 0xFFFFFFF0);
    Bytes mark = {0, 3};
    for (std::uint16_t id : {1, 2, 3}) {
        mark.insert(mark.end(), {0, static_cast<std::uint8_t>(id)});
        put32(mark, id * 500u, true);
        text(mark, id == 3 ? "\x00\x00"sv : "\x03" "beg"sv);
    }
    const Bytes inst = {60, 0, 0, 127, 1, 127, 0, 0, 0, 1, 0, 1, 0, 2, 0, 2, 0, 2, 0, 3};
    return {{"wave", markerInput(0, {{"cue ", cue}, {"LIST", adtl}, {"smpl", smpl}})},
            {"wave-lying", markerInput(0, {{"cue ", lying}, {"LIST", cutList}, {"LIST", bytes("adtlnote\x09")}})},
            {"aiff", markerInput(1, {{"COMM", Bytes(18, 0)}, {"MARK", mark}, {"INST", inst}})},
            {"aiff-cut-name",
             markerInput(1, {{"MARK", {0xFF, 0xFF, 0, 1, 0, 0, 0, 9, 200, 'a'}}, {"INST", Bytes(19, 1)}})}};
}

bool writeAll(const fs::path& folder, const std::vector<std::pair<std::string, Bytes>>& seeds) {
    fs::create_directories(folder);
    for (const auto& [name, content] : seeds) {
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
        if (!out) return false;
    }
    return true;
}

} // namespace

std::vector<std::pair<std::string, Bytes>> tagSeeds() {
    const auto pairs = [](std::initializer_list<std::string_view> parts) {
        Bytes out;
        for (std::string_view p : parts) {
            out.insert(out.end(), p.begin(), p.end());
            out.push_back(0);
        }
        return out;
    };
    return {{"plain", pairs({"TITLE", "Harbour", "artist", "Zorel", "major_brand", "M4A "})},
            {"legacy", pairs({"INAM", "Caf\xE9 \x93x\x94", "TBPM", " 120 ", "comment", "\x01\x7F"})},
            {"repeats", pairs({"title", "a", "Title", "b", "", "empty key", "genre", "  "})}};
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: seed-corpus DIR\n";
        return 2;
    }
    const fs::path root = argv[1];
    const bool ok = writeAll(root / "riff", riffSeeds()) && writeAll(root / "bext", bextSeeds()) &&
                    writeAll(root / "ixml", ixmlSeeds()) && writeAll(root / "sniff", sniffSeeds()) && writeAll(root / "adm", admSeeds()) &&
                    writeAll(root / "tags", tagSeeds()) && writeAll(root / "markers", markerSeeds());
    if (!ok) std::cerr << "seed-corpus: cannot write under " << root << "\n";
    return ok ? 0 : 1;
}
