#include "inspect/MarkerChunks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string_view>

namespace vaun {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Chunks = std::vector<RIFFParser::Chunk>;
using K = Marker::Kind;

struct Writer {
    Bytes bytes;
    bool big = false;

    Writer& n(std::uint32_t value, int width = 4) {
        for (int i = 0; i < width; ++i) bytes.push_back(std::uint8_t(value >> 8 * (big ? width - 1 - i : i)));
        return *this;
    }
    Writer& s(std::string_view text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    // A list entry: id, size, body and the pad byte of an odd size.
    Writer& entry(std::string_view id, const Writer& body) {
        s(id).n(std::uint32_t(body.bytes.size()));
        bytes.insert(bytes.end(), body.bytes.begin(), body.bytes.end());
        if (body.bytes.size() % 2) bytes.push_back(0);
        return *this;
    }
};

// Cue points of id, position and sample offset.
Bytes cues(std::initializer_list<std::array<std::uint32_t, 3>> points) {
    Writer w;
    w.n(std::uint32_t(points.size()));
    for (const auto& [id, position, offset] : points) w.n(id).n(position).s("data").n(0).n(0).n(offset);
    return w.bytes;
}

Chunks waveSet() {
    Writer info, first, second;
    info.s("INFO").entry("labl", Writer().n(3).s("not adtl"));
    first.s("adtl").entry("labl", Writer().n(1).s("Intro").n(0, 1)).entry("labl", Writer().n(2).s("Caf\xE9 \r\n"));
    first.entry("note", Writer().n(1).s("check levels")).entry("labl", Writer().n(9).s("no such cue"));
    first.entry("ltxt", Writer().n(2).n(10000).s("rgn ").n(0).n(0).s("not the label"));
    second.s("adtl").entry("labl", Writer().n(1).s("Renamed"));
    second.entry("ltxt", Writer().n(3).n(0).s("rgn ").n(0).n(0).s("Outro"));
    return {{"cue ", cues({{1, 0, 48000}, {2, 96000, 0}, {3, 7, 24000}}), 12},
            {"LIST", info.bytes, 100}, {"LIST", first.bytes, 200}, {"LIST", second.bytes, 400}};
}

Chunks aiffSet() {
    Writer mark{{}, true}, inst{{}, true};
    mark.n(3, 2).n(1, 2).n(100).n(4, 1).s("Loop").n(0, 1).n(2, 2).n(4100).n(3, 1).s("End").n(3, 2).n(50).n(0, 2);
    inst.n(0x3C00007F).n(0x017F0000).n(1, 2).n(1, 2).n(2, 2); // notes, velocities, gain, then sustain
    inst.n(2, 2).n(2, 2).n(1, 2);                               // a release loop that ends before it begins
    return {{"COMM", Bytes(18, 0), 12}, {"MARK", mark.bytes, 38}, {"INST", inst.bytes, 80}};
}

TEST(MarkerChunks, WaveCuePointsAreNamedNotedAndSpannedByTheirLists) {
    EXPECT_EQ(MarkerChunks::readWave(waveSet()),
              (std::vector<Marker>{{K::marker, 3, 24000, {}, "Outro", {}, {}},
                                   {K::marker, 1, 48000, {}, "Intro", "check levels", {}},
                                   {K::region, 2, 96000, 10000, "Caf\xC3\xA9", {}, {}}}));
}

TEST(MarkerChunks, SamplerLoopTakesTheNameOfTheCuePointAtItsStart) {
    Writer smpl, list;
    smpl.n(0).n(0).n(20833).n(60).n(0).n(0).n(0).n(3).n(0);
    smpl.n(7).n(0).n(1000).n(1999).n(0).n(3).n(8).n(0).n(5000).n(4000).n(0).n(0).n(9).n(0).n(0).n(0).n(0).n(0);
    list.s("adtl").entry("labl", Writer().n(7).s("Groove")).entry("labl", Writer().n(8).s("Hit"));
    EXPECT_EQ(MarkerChunks::readWave({{"cue ", cues({{7, 1000, 1000}, {8, 300, 300}}), 12},
                                      {"LIST", list.bytes, 80},
                                      {"smpl", smpl.bytes, 160}}),
              (std::vector<Marker>{{K::loop, 9, 0, 1, {}, {}, 0},
                                   {K::marker, 8, 300, {}, "Hit", {}, {}},
                                   {K::loop, 7, 1000, 1000, "Groove", {}, 3}}));
}

TEST(MarkerChunks, AIFFMarkersAndTheSustainLoopBetweenTwoOfThem) {
    EXPECT_EQ(MarkerChunks::readAIFF(aiffSet()),
              (std::vector<Marker>{{K::marker, 3, 50, {}, {}, {}, {}},
                                   {K::loop, {}, 100, 4000, "Sustain loop", {}, 0},
                                   {K::marker, 1, 100, {}, "Loop", {}, {}},
                                   {K::marker, 2, 4100, {}, "End", {}, {}}}));
}

TEST(MarkerChunks, HostileChunksYieldWhatIsReallyThere) {
    // Counts and sizes that claim more than the payload holds; a last label without terminator or pad.
    Bytes lying = cues({{1, 0, 10}, {2, 0, 20}});
    std::fill_n(lying.begin(), 4, 0xFF);
    lying.resize(lying.size() + 10, 0xAB);
    Writer list, cut, smpl, mark{{}, true};
    list.s("adtl").entry("labl", Writer().n(2).s("Kept")).s("labl").n(0xFFFFFFF8).n(1).s("x");
    cut.s("adtllabl").n(7).n(1).s("abc");
    smpl.n(0).n(0).n(0).n(0).n(0).n(0).n(0).n(1000000).n(0xFFFFFFFF).n(5).n(0).n(40).n(49).n(0).n(1).s("xyz");
    EXPECT_EQ(MarkerChunks::readWave({{"cue ", lying, 0}, {"LIST", list.bytes, 0}, {"LIST", cut.bytes, 0},
                                      {"smpl", smpl.bytes, 0}}),
              (std::vector<Marker>{{K::marker, 1, 10, {}, "abc", {}, {}},
                                   {K::marker, 2, 20, {}, "Kept", {}, {}},
                                   {K::loop, 5, 40, 10, {}, {}, 1}}));
    mark.n(0xFFFF, 2).n(1, 2).n(10).n(0, 2).n(2, 2).n(20).n(200, 1).s("Tru");
    EXPECT_EQ(MarkerChunks::readAIFF({{"MARK", mark.bytes, 0}, {"INST", Bytes(19, 1), 0}}),
              (std::vector<Marker>{{K::marker, 1, 10, {}, {}, {}, {}}, {K::marker, 2, 20, {}, "Tru", {}, {}}}));

    for (const Chunks& set : {waveSet(), aiffSet()})
        for (std::size_t c = 0; c < set.size(); ++c)
            for (Chunks shorter = set; !shorter[c].payload.empty();) {
                shorter[c].payload.pop_back();
                EXPECT_LE(MarkerChunks::readWave(shorter).size() + MarkerChunks::readAIFF(shorter).size(), 4u);
            }

    // 100,000 named points, last first: no quadratic work, and only the first 10,000 kept.
    constexpr std::uint32_t many = 100000;
    Writer big, names;
    big.n(many);
    names.s("adtl");
    for (std::uint32_t id = many; id > 0; --id) {
        big.n(id).n(0).s("data").n(0).n(0).n(id * 3);
        names.s("labl").n(5).n(id).s("m").n(0, 1);
    }
    const auto started = std::chrono::steady_clock::now();
    const auto capped = MarkerChunks::readWave({{"cue ", big.bytes, 0}, {"LIST", names.bytes, 0}});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ASSERT_EQ(capped.size(), Marker::maxMarkers);
    EXPECT_EQ(capped.front(), (Marker{K::marker, 1, 3, {}, "m", {}, {}}));
    EXPECT_EQ(capped.back().start, 30000);
}

} // namespace
} // namespace vaun
