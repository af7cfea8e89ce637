#pragma once
// Fixtures of the preview controller tests: what a prepare request's completion delivered,
// and tone files to load.
#include "TestAudio.h"

#include <exception>
#include <filesystem>
#include <functional>

namespace vaun::test {

// A 16-bit 48 kHz WAV, one sine per channel.
inline std::filesystem::path tone(const std::filesystem::path& path, int channels, double seconds) {
    Planes planes;
    for (int c = 0; c < channels; ++c) planes.push_back(sine(330.0 + 110 * c, 0.3, 48000, std::int64_t(seconds * 48000)));
    WavOptions options;
    options.format = SampleFormat::PCM16;
    writeWav(path, planes, 48000, options);
    return path;
}

// How often a prepare request's completion ran and with which error.
struct PrepareOutcome {
    int calls = 0;
    std::exception_ptr error;

    bool done() const { return calls > 0; }
    std::function<void(std::exception_ptr)> callback() {
        return [this](std::exception_ptr e) {
            ++calls;
            error = e;
        };
    }
    // The error is an E.
    template <class E>
    bool is() const {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const E&) {
            return true;
        } catch (...) {
        }
        return false;
    }
};

} // namespace vaun::test
