// What playback costs the user interface: a 24-lane preview (channel lanes and 24 meters)
// repainted from playback ticks at 20 Hz, offscreen, through Qt's own repaint path.
//
// Four ways of ticking, each for SECONDS of real time at 20 Hz, CPU time of the process:
//   views      the views as built: the position moves the playhead strip, levels repaint the
//              meter drawing;
//   markers    the same with 10,000 markers (points, regions, loops) drawn over the lanes, as
//              the player stacks them;
//   full       the same views, but every tick repaints both widgets entirely (what a view
//              without a dirty strip would pay);
//   rebuild    every tick also redraws all bars (what a view without cached bars would pay).
// Prints per-tick CPU and the share of one core at 20 Hz; for markers also the time their
// overlay spent painting, its own share of the tick.
//
//   bench_ui_playback [SECONDS [MODE]]
#include "PreviewViews/ChannelLanesView.h"
#include "PreviewViews/MarkerOverlay.h"
#include "PreviewViews/MeterBank.h"
#include "Toolkit/Appearance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <thread>

using namespace vaun;

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::vector<WaveformGenerator::Buckets> makeLanes(int count, int buckets) {
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0, 0.2f);
    std::vector<WaveformGenerator::Buckets> lanes;
    lanes.resize(std::size_t(count));
    for (int lane = 0; lane < count; ++lane) {
        auto& b = lanes[std::size_t(lane)];
        b.bucketCount = buckets;
        b.framesPerBucket = 1000;
        for (int i = 0; i < buckets; ++i) {
            const float envelope = 0.3f + 0.6f * float(std::abs(std::sin(i * 0.02 + lane)));
            b.values.push_back(-envelope * std::abs(noise(random)) * 3);
            b.values.push_back(envelope * std::abs(noise(random)) * 3);
        }
    }
    return lanes;
}

// 10,000 markers over a 2-minute file, every tenth a region and every 25th a loop.
std::shared_ptr<const MarkerTimeline> makeMarkers() {
    AudioMetadata metadata;
    metadata.durationSeconds = 120;
    metadata.sampleRateHz = 48000;
    const std::int64_t frames = 120 * 48000;
    for (std::size_t i = 0; i < Marker::maxMarkers; ++i) {
        Marker& m = metadata.markers.emplace_back();
        m.id = std::int64_t(i + 1);
        m.start = std::int64_t(i) * frames / std::int64_t(Marker::maxMarkers);
        m.label = "Marker " + std::to_string(i + 1);
        if (i % 10 == 0) m.kind = Marker::Kind::region, m.length = 48000;
        if (i % 25 == 0) m.kind = Marker::Kind::loop, m.length = 96000, m.playCount = 0;
    }
    return std::make_shared<const MarkerTimeline>(metadata);
}

// The overlay with its painting timed, to tell its share of a tick from the rest.
class TimedOverlay : public MarkerOverlay {
public:
    using MarkerOverlay::MarkerOverlay;
    double paintSeconds = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        QElapsedTimer clock;
        clock.start();
        MarkerOverlay::paintEvent(event);
        paintSeconds += double(clock.nsecsElapsed()) * 1e-9;
    }
};

enum class Mode { views, markers, full, rebuild };

struct Result {
    int ticks = 0;
    double cpu = 0;
    double wall = 0;
    double overlayPaint = 0; // spent in the markers' paint events
};

Result run(Mode mode, double seconds) {
    const int channels = 24;
    QWidget window;
    applyColorScheme(window, ColorScheme::light);
    auto* row = std::make_unique<QHBoxLayout>(&window).release(); // owned by the window
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);
    auto* lanes = std::make_unique<ChannelLanesView>(&window).release(); // owned by the window
    auto* meters = std::make_unique<MeterBank>(&window).release();
    auto* stack = std::make_unique<QGridLayout>().release(); // owned by the row below
    TimedOverlay* overlay = nullptr;
    stack->addWidget(lanes, 0, 0);
    if (mode == Mode::markers) {
        overlay = std::make_unique<TimedOverlay>(
                      makeMarkers(), [](double f, double w) { return lanePlayheadX(f, w, 34); }, [](double) {},
                      &window)
                      .release(); // owned by the window
        stack->addWidget(overlay, 0, 0);
        overlay->raise();
    }
    row->addLayout(stack, 1);
    row->addWidget(meters);
    QStringList labels;
    for (int i = 0; i < channels; ++i) labels << QString::number(i + 1);
    lanes->setLanes(makeLanes(channels, 512));
    lanes->setLabels(labels);
    lanes->setLabelWidth(34);
    meters->setLabels(labels);
    window.resize(1100, 264);
    window.show();
    QApplication::processEvents();
    if (overlay) overlay->paintSeconds = 0; // the first, whole paint is not a tick

    std::mt19937 random(3);
    std::uniform_real_distribution<float> level(-40, -3);
    QVector<float> peak(channels), average(channels);
    const double tick = 0.05;
    Result result;
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = cpuSeconds();
    while (clock.elapsed() < seconds * 1000) {
        const double fraction = std::fmod(result.ticks * tick / 120.0, 1.0); // a 2-minute file
        for (int i = 0; i < channels; ++i) {
            average[i] = level(random);
            peak[i] = average[i] + 6;
        }
        if (mode == Mode::rebuild) lanes->setGain(result.ticks % 2 ? 1.0f : 1.0001f);
        lanes->setFraction(fraction);
        meters->setLevels(peak, average);
        if (mode == Mode::full || mode == Mode::rebuild) {
            lanes->update();
            meters->update();
        }
        QApplication::processEvents();
        ++result.ticks;
        // Sleep to the next tick, as the playback timer would.
        const qint64 next = qint64(result.ticks * tick * 1000);
        if (const qint64 wait = next - clock.elapsed(); wait > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    result.cpu = cpuSeconds() - cpuStart;
    result.wall = clock.elapsed() / 1000.0;
    if (overlay) result.overlayPaint = overlay->paintSeconds;
    return result;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    std::printf("24 lanes x 512 buckets + 24 meters, 1100 x 264 pt, 20 ticks/s for %.0f s each\n", seconds);
    std::printf("%-8s %8s %14s %16s\n", "mode", "ticks", "CPU per tick", "share of a core");
    for (auto [name, mode] : {std::pair{"views", Mode::views}, std::pair{"markers", Mode::markers},
                              std::pair{"full", Mode::full}, std::pair{"rebuild", Mode::rebuild}}) {
        if (argc > 2 && std::strcmp(argv[2], name) != 0) continue;
        const Result r = run(mode, seconds);
        std::printf("%-8s %8d %11.3f ms %15.2f %%", name, r.ticks, r.cpu / r.ticks * 1000, r.cpu / r.wall * 100);
        if (mode == Mode::markers) std::printf("   (painting the markers: %.3f ms)", r.overlayPaint / r.ticks * 1000);
        std::printf("\n");
    }
    return 0;
}
