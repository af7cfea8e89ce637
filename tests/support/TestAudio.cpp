#include "TestAudio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <stdexcept>

namespace vaun::test {
namespace {

void put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putId(std::vector<std::uint8_t>& b, const std::string& id) {
    for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(i < int(id.size()) ? id[std::size_t(i)] : ' '));
}

int bitsOf(SampleFormat f) {
    switch (f) {
    case SampleFormat::PCM16: return 16;
    case SampleFormat::PCM24: return 24;
    case SampleFormat::PCM32: return 32;
    case SampleFormat::Float32: return 32;
    }
    return 0;
}

std::int64_t quantise(float v, int bits) {
    const double scale = std::ldexp(1.0, bits - 1);
    const double q = std::round(double(v) * scale);
    return std::int64_t(std::clamp(q, -scale, scale - 1));
}

} // namespace

Planes quantised(const Planes& planes, SampleFormat format) {
    if (format == SampleFormat::Float32) return planes;
    const int bits = bitsOf(format);
    const double scale = std::ldexp(1.0, bits - 1);
    Planes out = planes;
    for (auto& p : out)
        for (auto& v : p) v = float(double(quantise(v, bits)) / scale);
    return out;
}

void writeWav(const std::filesystem::path& path, const Planes& planes, double rate, const WavOptions& options) {
    const auto channels = std::uint32_t(planes.size());
    const std::size_t frames = planes.empty() ? 0 : planes[0].size();
    const int bits = bitsOf(options.format);
    const std::uint32_t blockAlign = channels * std::uint32_t(bits / 8);
    const bool isFloat = options.format == SampleFormat::Float32;

    std::vector<std::uint8_t> fmt;
    const bool extensible = options.channelMask.has_value();
    put16(fmt, extensible ? 0xFFFE : (isFloat ? 3 : 1));
    put16(fmt, channels);
    put32(fmt, std::uint32_t(rate));
    put32(fmt, std::uint32_t(rate) * blockAlign);
    put16(fmt, blockAlign);
    put16(fmt, std::uint32_t(bits));
    if (extensible) {
        put16(fmt, 22);
        put16(fmt, std::uint32_t(bits));
        put32(fmt, *options.channelMask);
        // KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT: format tag then the fixed GUID tail.
        put32(fmt, isFloat ? 3 : 1);
        const std::uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), tail, tail + 12);
    }

    std::vector<std::uint8_t> data;
    data.reserve(frames * blockAlign);
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            const float v = planes[c][i];
            if (isFloat) {
                std::uint32_t u;
                static_assert(sizeof u == sizeof v);
                std::memcpy(&u, &v, 4);
                put32(data, u);
            } else {
                const auto q = std::uint64_t(quantise(v, bits));
                for (int k = 0; k < bits / 8; ++k) data.push_back(std::uint8_t(q >> (8 * k)));
            }
        }
    }

    std::vector<std::uint8_t> body;
    putId(body, "WAVE");
    auto chunk = [&](const std::string& id, const std::vector<std::uint8_t>& payload) {
        putId(body, id);
        put32(body, std::uint32_t(payload.size()));
        body.insert(body.end(), payload.begin(), payload.end());
        if (payload.size() % 2) body.push_back(0);
    };
    chunk("fmt ", fmt);
    for (const auto& [id, payload] : options.extraChunks) chunk(id, payload);
    chunk("data", data);
    for (const auto& [id, payload] : options.trailingChunks) chunk(id, payload);

    std::vector<std::uint8_t> file;
    putId(file, "RIFF");
    put32(file, std::uint32_t(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<float> sine(double frequency, double amplitude, double rate, std::int64_t frames, double phase) {
    std::vector<float> v(std::size_t(std::max<std::int64_t>(frames, 0)));
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = float(amplitude * std::sin(w * double(i) + phase));
    return v;
}

double dbToLinear(double db) { return std::pow(10.0, db / 20.0); }

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto p = std::filesystem::temp_directory_path() / ("vaun-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void ffmpeg(const std::filesystem::path& in, const std::string& args, const std::filesystem::path& out) {
    const std::string cmd = "ffmpeg -nostdin -y -loglevel error -i " + shellQuote(in.string()) + " " + args + " " +
                            shellQuote(out.string());
    if (run(cmd) != 0) throw std::runtime_error("ffmpeg failed: " + cmd);
}

} // namespace vaun::test
