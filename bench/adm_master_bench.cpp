// A full ADM master on headphones: writes a 128-track broadcast wave (7.1.2 bed plus 118
// objects whose positions change every `step` seconds, close to the largest "axml" the
// reader takes), then plays it through MultichannelPlayer into memory (two outputs, the ADM
// route) and prints the resident memory and the CPU time per audio second, against a
// decode-only pass of the same file in the same process.
//   bench_adm_master write FILE SECONDS STEP
//   bench_adm_master play FILE
#include "decode/AudioFile.h"
#include "inspect/ADMModel.h"
#include "playback/LoopExecutor.h"
#include "playback/MultichannelPlayer.h"

#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

using namespace vaun;

namespace {

constexpr int kBed = 10, kTracks = 128;
constexpr double kRate = 48000;

void put32(std::ofstream& out, std::uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(b, 4);
}

void chunk(std::ofstream& out, const char* id, const std::string& payload) {
    out.write(id, 4);
    put32(out, std::uint32_t(payload.size()));
    out.write(payload.data(), std::streamsize(payload.size()));
    if (payload.size() % 2) out.put('\0');
}

std::string hex(int v, int width) {
    char b[16];
    std::snprintf(b, sizeof b, "%0*X", width, v);
    return b;
}

std::string timecode(double s) {
    char b[32];
    std::snprintf(b, sizeof b, "%02d:%02d:%08.5f", int(s / 3600), int(std::fmod(s / 60, 60)), std::fmod(s, 60));
    return b;
}

int write(const char* path, double seconds, double step) {
    const char* bedPacks[kBed] = {"AT_00010001_01", "AT_00010002_01", "AT_00010003_01", "AT_00010004_01",
                                  "AT_0001000a_01", "AT_0001000b_01", "AT_0001001c_01", "AT_0001001d_01",
                                  "AT_00010013_01", "AT_00010014_01"};
    std::string chna(4 + 40 * kTracks, '\0');
    chna[0] = chna[2] = char(kTracks);
    std::string axml = "<?xml version=\"1.0\"?><ebuCoreMain><coreMetadata><format><audioFormatExtended>"
                       "<audioProgramme audioProgrammeID=\"APR_1001\" audioProgrammeName=\"Feature\"/>";
    std::string formats;
    for (int t = 1; t <= kTracks; ++t) {
        const bool bed = t <= kBed;
        const std::string n = hex(0x1000 + t, 4), uid = "ATU_0000" + n;
        const std::string at = bed ? bedPacks[t - 1] : "AT_0003" + n + "_01";
        const std::string ap = bed ? "AP_00010016" : "AP_0003" + n;
        char* entry = chna.data() + 4 + 40 * (t - 1);
        entry[0] = char(t);
        std::memcpy(entry + 2, uid.data(), 12);
        std::memcpy(entry + 14, at.data(), 14);
        std::memcpy(entry + 28, ap.data(), 11);
        if (bed) continue;
        axml += "<audioObject audioObjectID=\"AO_" + n + "\" audioObjectName=\"Object " + std::to_string(t) +
                "\"><audioTrackUIDRef>" + uid + "</audioTrackUIDRef></audioObject>";
        formats += "<audioPackFormat audioPackFormatID=\"" + ap + "\" typeDefinition=\"Objects\"><audioChannelFormatIDRef>AC_0003" +
                   n + "</audioChannelFormatIDRef></audioPackFormat><audioChannelFormat audioChannelFormatID=\"AC_0003" + n +
                   "\" typeDefinition=\"Objects\">";
        int b = 1;
        for (double at0 = 0; at0 < seconds; at0 += step, ++b)
            formats += "<audioBlockFormat audioBlockFormatID=\"AB_0003" + n + "_" + hex(b, 8) + "\" rtime=\"" +
                       timecode(at0) + "\" duration=\"" + timecode(step) + "\"><position coordinate=\"azimuth\">" +
                       std::to_string(std::fmod(t * 37.0 + at0 * 20.0, 360.0) - 180.0) +
                       "</position><position coordinate=\"elevation\">" + std::to_string(30.0 * std::sin(at0 + t)) +
                       "</position></audioBlockFormat>";
        formats += "</audioChannelFormat><audioStreamFormat audioStreamFormatID=\"AS_0003" + n +
                   "\"><audioChannelFormatIDRef>AC_0003" + n + "</audioChannelFormatIDRef></audioStreamFormat>"
                   "<audioTrackFormat audioTrackFormatID=\"" + at + "\"><audioStreamFormatIDRef>AS_0003" + n +
                   "</audioStreamFormatIDRef></audioTrackFormat>";
    }
    axml += formats + "</audioFormatExtended></format></coreMetadata></ebuCoreMain>";

    const auto frames = std::uint64_t(seconds * kRate);
    const std::uint64_t dataBytes = frames * kTracks * 2;
    std::string fmt(16, '\0');
    const std::uint32_t fields[] = {1 | (kTracks << 16), std::uint32_t(kRate), std::uint32_t(kRate) * kTracks * 2,
                                    (kTracks * 2) | (16 << 16)};
    std::memcpy(fmt.data(), fields, sizeof fields);
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    put32(out, std::uint32_t(4 + 8 + fmt.size() + 8 + chna.size() + 8 + axml.size() + axml.size() % 2 + 8 + dataBytes));
    out.write("WAVE", 4);
    chunk(out, "fmt ", fmt);
    chunk(out, "chna", chna);
    chunk(out, "axml", axml);
    out.write("data", 4);
    put32(out, std::uint32_t(dataBytes));
    std::mt19937 gen(1);
    std::uniform_int_distribution<int> d(-3000, 3000);
    std::vector<std::int16_t> frame(kTracks);
    for (std::uint64_t i = 0; i < frames; ++i) {
        for (auto& s : frame) s = std::int16_t(d(gen));
        out.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size() * 2));
    }
    std::printf("wrote %s: %d tracks, %.0f s, axml %.1f MiB, %.0f blocks per object\n", path, kTracks, seconds,
                double(axml.size()) / (1 << 20), std::ceil(seconds / step));
    return out ? 0 : 1;
}

double residentMiB() {
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return 0;
}

double peakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return 0;
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int play(const char* path) {
    const double base = residentMiB();
    double cpu = cpuSeconds();
    {
        AudioFile file(path);
        auto buffer = AudioPCMBuffer::make(file.processingFormat().channelCount, 4096);
        for (std::int64_t read = 0; read < file.length(); read += buffer->frameLength()) {
            file.read(*buffer, 4096);
            if (buffer->frameLength() == 0) break;
        }
        const double audio = double(file.length()) / kRate;
        std::printf("decode only:   %7.1f ms CPU per audio second, peak %6.1f MiB resident\n",
                    1000 * (cpuSeconds() - cpu) / audio, peakMiB());
    }
    LoopExecutor executor;
    cpu = cpuSeconds();
    MultichannelPlayer player(path, executor, OutputFormat{kRate, 2});
    const double opened = residentMiB();
    std::printf("player opened: %7.0f ms CPU, %6.1f MiB beyond the process before (%s)\n", 1000 * (cpuSeconds() - cpu),
                opened - base, player.route().summary().c_str());
    cpu = cpuSeconds();
    player.play(0);
    const auto frames = std::int64_t(player.duration() * kRate);
    for (std::int64_t done = 0; done < frames; done += 4800) player.manualOutput()->render(4800);
    std::printf("ADM route:     %7.1f ms CPU per audio second (decode included), %6.1f MiB beyond the process "
                "before, peak %6.1f MiB resident\n",
                1000 * (cpuSeconds() - cpu) / player.duration(), residentMiB() - base, peakMiB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 5 && std::strcmp(argv[1], "write") == 0) return write(argv[2], std::atof(argv[3]), std::atof(argv[4]));
        if (argc == 3 && std::strcmp(argv[1], "play") == 0) return play(argv[2]);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
    std::fprintf(stderr, "usage: %s write FILE SECONDS STEP | play FILE\n", argv[0]);
    return 2;
}
