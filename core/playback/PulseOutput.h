#pragma once
// Output to the desktop's sound server over libpulse (PipeWire serves the same protocol):
// a playback stream on the default sink with the sink's own channel count and map, at the
// rate the caller asks for (the server resamples if it must). Interleaved position i of
// what the render callback writes reaches sink channel i.
//
// Every wait on the server is bounded: a server that is gone, frozen or dies mid-play makes
// the call throw (or the output report failed()) within a few seconds, never hang.
#include "common/Errors.h"
#include "playback/AudioOutput.h"

#include <memory>

namespace vaun {

// Failures reported by the sound server or libpulse: domain "PulseAudio", code is the
// libpulse error number (PA_ERR_*), the description says what was attempted and carries
// pa_strerror's text, e.g. "Cannot connect to the sound server: Connection refused".
class PulseError : public Error {
public:
    static constexpr const char* kDomain = "PulseAudio";
    PulseError(int paError, std::string description) : Error(kDomain, paError, std::move(description)) {}
};

// The server took too long to answer: asking again would only wait as long once more.
bool isServerTimeout(const Error& error);

// The default sink's channel count and rate. Throws PulseError when no server answers.
OutputFormat defaultSinkFormat();

// A stream of the default sink's channel count at `sampleRateHz`, not yet started. Throws
// PulseError when no server answers or it has no default sink. The returned output counts
// underruns (AudioOutput::underruns) and sets failed() when the server or the sink goes away
// while it runs; start() after stop() plays again on a fresh stream.
std::unique_ptr<AudioOutput> openPulseOutput(double sampleRateHz);

} // namespace vaun
