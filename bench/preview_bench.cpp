// The whole preview through the real controller, offscreen:
//   time to waveform: from prepare() to the loaded preview painted, against a decode-only
//   pass of the same file in the same run (best of RUNS each, interleaved);
//   memory: resident size of a loaded preview (lanes, artwork, the deferred analysis run on
//   request) beyond the same application showing the empty preview.
//
//   bench_preview time FILE [RUNS]
//   bench_preview memory FILE
#include "AudioPreviewController.h"
#include "decode/AudioFile.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void decodeOnly(const char* path) {
    vaun::AudioFile file(path);
    auto buffer = vaun::AudioPCMBuffer::make(file.processingFormat().channelCount, 4096);
    for (std::int64_t read = 0; buffer && read < file.length(); read += buffer->frameLength()) {
        file.read(*buffer, 4096);
        if (buffer->frameLength() == 0) break;
    }
}

// Resident and peak resident size in MiB, after handing freed memory back.
std::pair<double, double> residentMiB() {
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    double rss = 0, hwm = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::stod(line.substr(6)) / 1024;
        if (line.rfind("VmHWM:", 0) == 0) hwm = std::stod(line.substr(6)) / 1024;
    }
    return {rss, hwm};
}

void waitUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    poll.start(1);
    if (!done()) loop.exec();
}

int timeToWaveform(vaun::AudioPreviewController& controller, QWidget& view, const char* path, int runs) {
    double bestPreview = std::numeric_limits<double>::infinity(), bestDecode = bestPreview;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        decodeOnly(path);
        bestDecode = std::min(bestDecode, since(start));

        controller.cancelPreview();
        start = Clock::now();
        controller.prepareAndWait(path);
        view.grab(); // paints the loaded preview, the waveform included
        bestPreview = std::min(bestPreview, since(start));
        // Let an automatic analysis finish before the next run.
        waitUntil([&] { return !controller.model().analysisProgress(); });
    }
    std::printf("best of %d\n", runs);
    std::printf("decode only                 %8.1f ms\n", bestDecode * 1e3);
    std::printf("prepare to waveform painted %8.1f ms\n", bestPreview * 1e3);
    return 0;
}

int memory(vaun::AudioPreviewController& controller, QWidget& view, const char* path) {
    view.grab();
    const auto [empty, emptyPeak] = residentMiB();
    auto start = Clock::now();
    controller.prepareAndWait(path);
    view.grab();
    std::printf("loaded in %.2f s, deferred: %s\n", since(start), controller.model().analysisDeferred() ? "yes" : "no");
    start = Clock::now();
    controller.startAnalysis();
    waitUntil([&] { return !controller.model().analysisProgress(); });
    const auto& metadata = controller.model().metadata();
    std::printf("analysed in %.2f s, spectrogram: %s, artwork: %zu bytes\n", since(start),
                controller.model().analysis() && controller.model().analysis()->spectrogram ? "yes" : "no",
                metadata && metadata->artworkData ? metadata->artworkData->size() : std::size_t(0));
    view.grab();
    const auto [loaded, loadedPeak] = residentMiB();
    std::printf("resident: empty preview %.1f MiB, loaded %.1f MiB, difference %.1f MiB (peak %.1f MiB)\n", empty,
                loaded, loaded - empty, loadedPeak);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s time FILE [RUNS] | memory FILE\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vaun::AudioPreviewController controller;
    controller.setPlaybackAllowed(false);
    QWidget& view = *controller.view();
    view.resize(780, 1400);
    view.show();
    try {
        const std::string mode = argv[1];
        if (mode == "time") return timeToWaveform(controller, view, argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);
        if (mode == "memory") return memory(controller, view, argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
}
