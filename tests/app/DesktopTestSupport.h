#pragma once
// A private session bus per test, and what can be seen of another process from outside:
// who owns a bus name, whether a file was opened, how many bytes a process has read.
#include "PulseTestServer.h"
#include "RunVaun.h"

#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace vaun::test {

// Standard output of a shell command, or nothing when it failed.
inline std::optional<std::string> capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"), ::pclose);
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[512];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
    if (::pclose(pipe.release()) != 0) return std::nullopt;
    return out;
}

inline bool waitFor(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A session bus of its own in `dir`, optionally starting services from `serviceDir`. It
// passes its environment to the services it starts.
class PrivateBus {
public:
    explicit PrivateBus(const std::filesystem::path& dir, const std::filesystem::path& serviceDir = {})
        : address_("unix:path=" + (dir / "bus").string()) {
        const auto config = dir / "bus.conf";
        std::ofstream(config) << "<busconfig><type>session</type><listen>" << address_
                              << "</listen><auth>EXTERNAL</auth>"
                              << (serviceDir.empty() ? "" : "<servicedir>" + serviceDir.string() + "</servicedir>")
                              << "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"dbus-daemon", "--nofork", "--config-file=" + config.string()});
        if (!waitFor([&] { return nameOwner("org.freedesktop.DBus").has_value(); }, 10))
            throw std::runtime_error("the private bus does not answer");
    }

    const std::string& address() const { return address_; }

    // gdbus call against this bus; its reply in GVariant text, or nothing on an error.
    std::optional<std::string> call(const std::string& destination, const std::string& path, const std::string& method,
                                    const std::string& arguments = "") const {
        return capture("gdbus call --address " + shellQuote(address_) + " --dest " + destination +
                       " --object-path " + path + " --method " + method + " " + arguments);
    }

    // The unique name (":1.4") owning `name`, if any.
    std::optional<std::string> nameOwner(const std::string& name) const {
        const auto reply = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetNameOwner",
                                shellQuote(name));
        if (!reply) return std::nullopt;
        const auto open = reply->find('\''), close = reply->rfind('\'');
        if (open == std::string::npos || close <= open) return std::nullopt;
        return reply->substr(open + 1, close - open - 1);
    }

    std::optional<pid_t> ownerPid(const std::string& name) const {
        const auto reply = call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus.GetConnectionUnixProcessID", shellQuote(name));
        // "(uint32 1234,)"
        const std::string type = "uint32 ";
        const auto at = reply ? reply->find(type) : std::string::npos;
        if (at == std::string::npos) return std::nullopt;
        return pid_t(std::stol(reply->substr(at + type.size())));
    }

private:
    std::string address_;
    std::unique_ptr<ChildProcess> daemon_;
};

// Whether anyone opened a file since the watch began.
class OpenWatch {
public:
    explicit OpenWatch(const std::filesystem::path& file) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ < 0 || ::inotify_add_watch(fd_, file.c_str(), IN_OPEN) < 0)
            throw std::runtime_error("cannot watch " + file.string());
    }
    ~OpenWatch() { ::close(fd_); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool opened(double withinSeconds) {
        return waitFor(
            [&] {
                alignas(inotify_event) char buffer[4096];
                while (::read(fd_, buffer, sizeof buffer) > 0) seen_ = true;
                return seen_;
            },
            withinSeconds);
    }

private:
    int fd_;
    bool seen_ = false;
};

// Ends, on destruction, a process that this test caused to be started but did not start itself.
class EndsProcess {
public:
    explicit EndsProcess(pid_t pid) : pid_(pid) {}
    ~EndsProcess() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
    }
    EndsProcess(const EndsProcess&) = delete;
    EndsProcess& operator=(const EndsProcess&) = delete;

private:
    pid_t pid_;
};

// The program a process runs.
inline std::filesystem::path programOf(pid_t pid) {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
}

// Bytes the process has read so far, files and sockets alike (/proc/PID/io "rchar").
inline std::optional<long long> bytesRead(pid_t pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return std::nullopt;
}

} // namespace vaun::test
