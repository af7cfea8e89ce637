// Start-up of the application, timed from this program's launch of it to the lines its start-up
// trace prints (VAUN_TRACE_STARTUP): the first painted window, and the loaded waveform painted.
// Floor, in the same run: a bare Qt Widgets program (this one, re-run with --floor) showing an
// empty window. Best of RUNS each; offscreen unless QT_QPA_PLATFORM says otherwise; no session
// bus, so no launch hands over to a running instance.
//
//   bench_startup VAUN FILE [RUNS]
#include <QApplication>
#include <QWidget>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Launches argv, reads its standard error until `last` appears (or 10 s pass), then kills it.
// Returns the milliseconds at which each "startup: …" line arrived.
std::map<std::string, double> launch(const std::vector<std::string>& argv, const std::string& last) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::map<std::string, double> seen;
    std::string buffer;
    char chunk[512];
    while (std::chrono::duration<double>(Clock::now() - start).count() < 10) {
        const ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        buffer.append(chunk, std::size_t(n));
        for (std::size_t eol; (eol = buffer.find('\n')) != std::string::npos; buffer.erase(0, eol + 1)) {
            const std::string line = buffer.substr(0, eol);
            if (line.rfind("startup: ", 0) == 0) seen.emplace(line.substr(9), ms);
        }
        if (seen.count(last)) break;
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(pipeFds[0]);
    return seen;
}

int floorProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    struct Window : QWidget {
        void paintEvent(QPaintEvent*) override {
            std::fputs("startup: window painted\n", stderr);
            std::fflush(stderr);
        }
    } window;
    window.resize(720, 600);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--floor") == 0) return floorProgram(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s VAUN FILE [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    setenv("VAUN_TRACE_STARTUP", "1", 1);
    setenv("QT_QPA_PLATFORM", getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "offscreen", 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");

    constexpr double inf = std::numeric_limits<double>::infinity();
    double floorWindow = inf, vaunWindow = inf, vaunWaveform = inf;
    for (int i = 0; i < runs; ++i) {
        auto floor = launch({argv[0], "--floor"}, "window painted");
        if (floor.count("window painted")) floorWindow = std::min(floorWindow, floor["window painted"]);
        auto vaun = launch({argv[1], argv[2]}, "waveform painted");
        if (vaun.count("window painted")) vaunWindow = std::min(vaunWindow, vaun["window painted"]);
        if (vaun.count("waveform painted")) vaunWaveform = std::min(vaunWaveform, vaun["waveform painted"]);
    }
    std::printf("best of %d, %s\n", runs, getenv("QT_QPA_PLATFORM"));
    std::printf("bare Qt window painted          %8.1f ms\n", floorWindow);
    std::printf("vaun window painted             %8.1f ms\n", vaunWindow);
    std::printf("vaun loaded waveform painted    %8.1f ms\n", vaunWaveform);
    return vaunWindow < inf && vaunWaveform < inf ? 0 : 1;
}
