// MetadataAssembler::assemble on broadcast WAVs with bext and iXML, warm cache: a 10-second
// and a 60-minute 48 kHz 24-bit stereo file. The cost must not grow with the audio, which
// is never read; the long file is written sparse (header, then ftruncate to full size).
#include "inspect/MetadataAssembler.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t rate = 48000;
constexpr std::uint32_t channels = 2;
constexpr std::uint32_t bytesPerFrame = channels * 3;

void put16(std::string& b, std::uint32_t v) {
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
}
void put32(std::string& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void chunk(std::string& b, const char* id, const std::string& payload, std::uint32_t declared) {
    b += id;
    put32(b, declared);
    b += payload;
    if (payload.size() % 2) b += '\0';
}

std::string bextPayload() {
    std::string p(602, '\0');
    p.replace(0, 21, "Harbour dawn, take 5.");
    p.replace(256, 5, "ZOREL");
    p.replace(320, 18, "2026-11-3014:05:09");
    const std::uint64_t timeReference = std::uint64_t(rate) * 3600 * 10;
    for (int i = 0; i < 8; ++i) p[338 + std::size_t(i)] = char(timeReference >> (8 * i));
    p[346] = 2;
    return p + "A=PCM,F=48000,W=24,M=stereo,T=field recorder\r\n";
}

std::string ixmlPayload() {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><BWFXML><IXML_VERSION>2.1</IXML_VERSION>"
                    "<PROJECT>Harbour</PROJECT><SCENE>12A</SCENE><TAKE>5</TAKE><TAPE>T01</TAPE>"
                    "<NOTE>wind from the west</NOTE><TRACK_LIST><TRACK_COUNT>2</TRACK_COUNT>";
    for (int t = 1; t <= 2; ++t)
        x += "<TRACK><CHANNEL_INDEX>" + std::to_string(t) + "</CHANNEL_INDEX><NAME>Boom " + std::to_string(t) +
             "</NAME></TRACK>";
    return x + "</TRACK_LIST></BWFXML>";
}

// RIFF/WAVE with fmt, bext, iXML and a data chunk of `seconds` of silence, sparse on disk.
void writeSparseWave(const std::filesystem::path& path, std::uint64_t seconds) {
    const std::uint64_t dataBytes = seconds * rate * bytesPerFrame;
    std::string body = "WAVE";
    std::string fmt;
    put16(fmt, 1);
    put16(fmt, channels);
    put32(fmt, rate);
    put32(fmt, rate * bytesPerFrame);
    put16(fmt, bytesPerFrame);
    put16(fmt, 24);
    chunk(body, "fmt ", fmt, std::uint32_t(fmt.size()));
    const std::string bext = bextPayload(), ixml = ixmlPayload();
    chunk(body, "bext", bext, std::uint32_t(bext.size()));
    chunk(body, "iXML", ixml, std::uint32_t(ixml.size()));
    chunk(body, "data", "", std::uint32_t(dataBytes));
    std::string file = "RIFF";
    put32(file, std::uint32_t(body.size() + dataBytes));
    file += body;
    {
        std::ofstream out(path, std::ios::binary);
        out.write(file.data(), std::streamsize(file.size()));
        if (!out) throw std::runtime_error("cannot write " + path.string());
    }
    if (::truncate(path.c_str(), off_t(file.size() + dataBytes)) != 0)
        throw std::runtime_error("cannot extend " + path.string());
}

class Assemble : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State& state) override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vaun-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
        folder = pattern;
        file = folder / "take.wav";
        writeSparseWave(file, std::uint64_t(state.range(0)));
        vaun::MetadataAssembler::assemble(file); // warm the cache
    }
    void TearDown(const benchmark::State&) override {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

protected:
    std::filesystem::path folder;
    std::filesystem::path file;
};

BENCHMARK_DEFINE_F(Assemble, BroadcastWave)(benchmark::State& state) {
    for (auto _ : state) {
        auto record = vaun::MetadataAssembler::assemble(file);
        benchmark::DoNotOptimize(record);
        if (!record.bwf || !record.iXMLProject || !record.warnings.empty()) state.SkipWithError("metadata not read");
    }
    state.counters["audioSeconds"] = double(state.range(0));
}
BENCHMARK_REGISTER_F(Assemble, BroadcastWave)->Arg(10)->Arg(3600)->Unit(benchmark::kMillisecond);

} // namespace
