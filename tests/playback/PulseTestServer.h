#pragma once
// A private PulseAudio daemon per test (pulse-test-server.sh), the child processes tests run
// against it (parec, vaun), and the signal checks made on what a sink's monitor recorded.
#include "TestAudio.h"

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vaun::test {

// A child process that dies with the test process (SIGKILL on the parent's death) and is
// killed and reaped on destruction if it still runs.
class ChildProcess {
public:
    // Runs argv[0] (looked up on PATH); stdout and stderr go to the files given, or nowhere.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& out = {},
                          const std::filesystem::path& err = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int sig);
    // Waits up to `seconds`; the wait status (as from waitpid) once it ended, nothing if it
    // is still running.
    std::optional<int> wait(double seconds);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Sets an environment variable for the life of the object and restores the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// One daemon with the null sinks "eight" (8 channels, 48 kHz, default) and "two" (2 channels,
// 44.1 kHz). While it lives, PULSE_SERVER in this process names it, so libpulse, pactl, parec
// and child programs all talk to it.
//
// A null sink left alone renders in blocks of its maximum latency (2 s) and only then lowers
// it for a new stream, so the first seconds of a stream would be timed like no sound card.
// A low-latency reader on each monitor keeps both sinks at a sound card's pace throughout.
class PulseTestServer {
public:
    // Whether the pulseaudio program is installed at all. Tests skip only without it: with it,
    // pactl and parec (same packages) must be there too.
    static bool available();

    // Starts the daemon and waits until it answers; throws std::runtime_error with its log.
    PulseTestServer();
    ~PulseTestServer();
    PulseTestServer(const PulseTestServer&) = delete;
    PulseTestServer& operator=(const PulseTestServer&) = delete;

    const std::string& address() const { return address_; }
    void signal(int sig) { daemon_->signal(sig); }
    // Kills the daemon outright (SIGKILL) and reaps it.
    void kill();
    // Runs pactl with `args` (already quoted) against this daemon; returns its status.
    int pactl(const std::string& args) const;
    // pactl's standard output for `args`, or nothing when it failed.
    std::optional<std::string> pactlOutput(const std::string& args) const;
    // What the daemon wrote to its log so far.
    std::string log() const;

private:
    TempDir dir_;
    std::string address_;
    ScopedEnv server_;
    std::optional<ChildProcess> daemon_;
    std::vector<std::unique_ptr<ChildProcess>> pacers_;
};

// parec on "<sink>.monitor", channels by index, raw float32 to a file.
class MonitorRecording {
public:
    MonitorRecording(const std::string& sink, unsigned channels, unsigned rateHz, const std::filesystem::path& file);
    // Stops the recorder and returns what it captured, one plane per sink channel.
    Planes finish();

private:
    unsigned channels_;
    std::filesystem::path file_;
    ChildProcess parec_;
};

// Amplitude of the `frequencyHz` component of `x` (a single-bin DFT), in sample units.
double toneAmplitude(const std::vector<float>& x, double frequencyHz, double rateHz);
// The median of toneAmplitude over 20 ms blocks: what the tone measures where it plays
// undisturbed, so a dropout or two on a loaded machine does not count as a routing fault.
// Tones at multiples of 50 Hz fill every block with whole cycles and do not leak.
double typicalToneAmplitude(const std::vector<float>& x, double frequencyHz, double rateHz);
double rms(const std::vector<float>& x);
// The part of every plane from `skipSeconds` after the first sample louder than `threshold`
// in any plane, `seconds` long (shorter if the recording ends); empty planes if none is.
Planes afterOnset(const Planes& planes, double rateHz, float threshold, double skipSeconds, double seconds);

// Reads a whole file into a string ("" when absent).
std::string slurp(const std::filesystem::path& path);

} // namespace vaun::test
