#pragma once
// Fixtures made by code: WAV files written from sample planes, signal generators,
// temporary folders and transcodes through the ffmpeg and sox command-line tools.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vaun::test {

using Planes = std::vector<std::vector<float>>;

enum class SampleFormat { PCM16, PCM24, PCM32, Float32 };

struct WavOptions {
    SampleFormat format = SampleFormat::PCM24;
    // Write WAVE_FORMAT_EXTENSIBLE with this channel mask.
    std::optional<std::uint32_t> channelMask;
    // Extra chunks (id, payload) written before 'data'.
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> extraChunks;
    // Chunks (id, payload) written after 'data'.
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> trailingChunks = {};
};

// Writes a RIFF WAVE file; samples are quantised with rounding and clipped.
void writeWav(const std::filesystem::path& path, const Planes& planes, double rate,
              const WavOptions& options = {});

// The exact values a PCM format can carry, so round trips compare equal.
Planes quantised(const Planes& planes, SampleFormat format);

// A sine of `frequency` Hz with peak `amplitude` (linear) and starting phase in radians.
std::vector<float> sine(double frequency, double amplitude, double rate, std::int64_t frames,
                        double phase = 0.0);
double dbToLinear(double db);

// A fresh folder under the system temporary folder, removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Runs a shell command; returns its exit status.
int run(const std::string& command);
// Quotes a path for the shell.
std::string shellQuote(const std::string& s);
// ffmpeg -y -loglevel error -i in <args> out; throws std::runtime_error on failure.
void ffmpeg(const std::filesystem::path& in, const std::string& args, const std::filesystem::path& out);

} // namespace vaun::test
