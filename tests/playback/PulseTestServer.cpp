#include "PulseTestServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vaun::test {

namespace {

int openForChild(const std::filesystem::path& path, int flags) {
    const int fd = ::open(path.empty() ? "/dev/null" : path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot open " + path.string());
    return fd;
}

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// A recorder is in once its first samples arrive: an idle null sink still runs, so its
// monitor delivers silence at once.
void waitForData(ChildProcess& recorder, const std::filesystem::path& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::error_code ec;
    while (std::filesystem::file_size(file, ec) == 0 || ec) {
        if (!recorder.running()) throw std::runtime_error("parec ended before recording");
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("parec records nothing");
        sleepSeconds(0.02);
    }
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& out,
                           const std::filesystem::path& err) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int in = openForChild({}, O_RDONLY);
    const int outFd = openForChild(out, O_WRONLY | O_CREAT | O_TRUNC);
    const int errFd = openForChild(err, O_WRONLY | O_CREAT | O_TRUNC);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on: the parent has other threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(in);
    ::close(outFd);
    ::close(errFd);
    if (pid_ < 0) throw std::runtime_error("cannot start " + argv.front());
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool ChildProcess::running() { return !wait(0); }

void ChildProcess::signal(int sig) {
    if (!status_) ::kill(pid_, sig);
}

std::optional<int> ChildProcess::wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!status_) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            status_ = status;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        sleepSeconds(0.01);
    }
    return status_;
}

bool PulseTestServer::available() {
    return run("command -v pulseaudio >/dev/null 2>&1") == 0;
}

PulseTestServer::PulseTestServer()
    : address_("unix:" + (dir_ / "native").string()), server_("PULSE_SERVER", address_) {
    daemon_.emplace(std::vector<std::string>{PULSE_TEST_SERVER, dir_.path().string()}, std::filesystem::path(),
                    dir_ / "log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (pactl("info") != 0) {
        if (!daemon_->running()) throw std::runtime_error("the test sound server did not start:\n" + log());
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the test sound server does not answer:\n" + log());
        sleepSeconds(0.05);
    }
    // Both at once: each sink answers only once its current 2 s block has run out.
    const std::vector<std::string> sinks{"eight", "two"};
    for (const auto& sink : sinks) {
        // Its output is only a sign of life, so one small channel; at the sink's own rate, so the
        // server does not switch the sink to another.
        pacers_.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{"parec", "--device=" + sink + ".monitor", "--latency-msec=10", "--raw",
                                     "--format=s16le", "--channels=1", "--fix-rate"},
            dir_ / ("pace-" + sink + ".raw")));
    }
    for (std::size_t i = 0; i < sinks.size(); ++i) waitForData(*pacers_[i], dir_ / ("pace-" + sinks[i] + ".raw"));
}

PulseTestServer::~PulseTestServer() {
    pacers_.clear();
    daemon_->signal(SIGTERM);
    daemon_->wait(3);
    daemon_.reset();
}

void PulseTestServer::kill() {
    daemon_->signal(SIGCONT);
    daemon_->signal(SIGKILL);
    daemon_->wait(5);
}

int PulseTestServer::pactl(const std::string& args) const {
    return run("timeout -s KILL 10 pactl " + args + " >/dev/null 2>&1");
}

std::optional<std::string> PulseTestServer::pactlOutput(const std::string& args) const {
    const auto file = dir_ / "pactl.out";
    if (run("timeout -s KILL 10 pactl " + args + " >" + shellQuote(file.string()) + " 2>/dev/null") != 0) return {};
    return slurp(file);
}

std::string PulseTestServer::log() const { return slurp(dir_ / "log"); }

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
    else ::unsetenv(name_.c_str());
}

MonitorRecording::MonitorRecording(const std::string& sink, unsigned channels, unsigned rateHz,
                                   const std::filesystem::path& file)
    : channels_(channels),
      file_(file),
      parec_({"parec", "--device=" + sink + ".monitor", "--format=float32le", "--channels=" + std::to_string(channels),
              "--rate=" + std::to_string(rateHz), "--no-remap", "--no-remix", "--latency-msec=20", "--raw"},
             file) {
    waitForData(parec_, file_);
}

Planes MonitorRecording::finish() {
    parec_.signal(SIGINT);
    if (!parec_.wait(5)) {
        parec_.signal(SIGKILL);
        parec_.wait(5);
    }
    const std::string bytes = slurp(file_);
    const std::size_t frames = bytes.size() / (sizeof(float) * channels_);
    Planes planes(channels_, std::vector<float>(frames));
    const auto* samples = reinterpret_cast<const float*>(bytes.data());
    for (std::size_t f = 0; f < frames; ++f)
        for (unsigned c = 0; c < channels_; ++c) planes[c][f] = samples[f * channels_ + c];
    return planes;
}

double toneAmplitude(const std::vector<float>& x, double frequencyHz, double rateHz) {
    if (x.empty()) return 0;
    const double w = 2 * std::numbers::pi * frequencyHz / rateHz;
    double re = 0, im = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        re += x[n] * std::cos(w * double(n));
        im -= x[n] * std::sin(w * double(n));
    }
    return 2 * std::hypot(re, im) / double(x.size());
}

double typicalToneAmplitude(const std::vector<float>& x, double frequencyHz, double rateHz) {
    const auto block = std::size_t(std::lround(rateHz / 50));
    std::vector<double> amplitudes;
    for (std::size_t at = 0; block > 0 && at + block <= x.size(); at += block)
        amplitudes.push_back(toneAmplitude({x.begin() + std::ptrdiff_t(at), x.begin() + std::ptrdiff_t(at + block)},
                                           frequencyHz, rateHz));
    if (amplitudes.empty()) return 0;
    std::nth_element(amplitudes.begin(), amplitudes.begin() + std::ptrdiff_t(amplitudes.size() / 2), amplitudes.end());
    return amplitudes[amplitudes.size() / 2];
}

double rms(const std::vector<float>& x) {
    if (x.empty()) return 0;
    double sum = 0;
    for (float v : x) sum += double(v) * v;
    return std::sqrt(sum / double(x.size()));
}

Planes afterOnset(const Planes& planes, double rateHz, float threshold, double skipSeconds, double seconds) {
    const std::size_t frames = planes.empty() ? 0 : planes.front().size();
    std::optional<std::size_t> onset;
    for (std::size_t f = 0; f < frames && !onset; ++f)
        for (const auto& p : planes)
            if (std::fabs(p[f]) > threshold) {
                onset = f;
                break;
            }
    Planes out(planes.size());
    if (!onset) return out;
    const std::size_t begin = std::min(frames, *onset + std::size_t(skipSeconds * rateHz));
    const std::size_t end = std::min(frames, begin + std::size_t(seconds * rateHz));
    for (std::size_t c = 0; c < planes.size(); ++c)
        out[c].assign(planes[c].begin() + std::ptrdiff_t(begin), planes[c].begin() + std::ptrdiff_t(end));
    return out;
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace vaun::test
