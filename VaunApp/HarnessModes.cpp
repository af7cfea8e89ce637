#include "HarnessModes.h"

#include "AudioPreviewController.h"
#include "PreviewModel.h"
#include "PreviewRenderer.h"
#include "common/Errors.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace vaun {
namespace {

const QString kRenderSwitch = QStringLiteral("--render-preview");
const QString kPerfSimSwitch = QStringLiteral("--perf-sim");
const QString kSmokeSwitch = QStringLiteral("--smoke-test");

constexpr std::chrono::seconds kSmokeTimeout{30};
constexpr std::chrono::milliseconds kAnalysisCheck{100};
constexpr int kAnalysisChecks = 200;
constexpr std::chrono::milliseconds kSweepInterval{50};
// One meter reading per 2048-frame buffer at 48 kHz, as playback delivers them.
constexpr double kMeterPeriodSeconds = 2048.0 / 48000.0;
constexpr std::chrono::seconds kWarmUp{2};

// Flushes what was written and ends the application's event loop with `status`.
void endRun(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    QCoreApplication::exit(status);
}

// Wrong arguments: status 2, no output, once the event loop runs.
void endRunLater(int status) {
    QTimer::singleShot(0, QCoreApplication::instance(), [status] { endRun(status); });
}

// The error's own text, as the FAIL lines show it.
std::string describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

void printFailure(const char* mode, std::exception_ptr error) {
    std::fprintf(stderr, "%s FAIL: %s\n", mode, describe(std::move(error)).c_str());
}

// A path as given on the command line, resolved against the working directory.
std::filesystem::path fileURL(const QString& argument) {
    return std::filesystem::absolute(std::filesystem::path(QFile::encodeName(argument).toStdString()));
}

// The whole argument as a finite floating-point number. Infinity and NaN are refused: no
// sleep could honour them.
std::optional<double> floatArgument(const QString& argument) {
    const std::string text = argument.toStdString();
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// ---- --render-preview FILE DIR ----

void renderPreview(AudioPreviewController& preview, QWidget& window, const QString& file, const QString& directory) {
    try {
        PreviewRenderer::render(preview, window, fileURL(file), fileURL(directory));
        preview.cancelPreview();
        endRun(0);
    } catch (...) {
        preview.cancelPreview();
        printFailure("render", std::current_exception());
        endRun(2);
    }
}

// ---- --perf-sim FILE SECONDS [MODE] ----

// Drives the position and the meters the way playback does, without sound, from its
// construction on.
class FakePlayback {
public:
    FakePlayback(PreviewModel& model, int channels) : model_(model), channels_(channels) {
        sweep_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&sweep_, &QTimer::timeout, [this] { moveSweep(); });
        sweep_.start(kSweepInterval);
        // Re-armed for each reading, so the mean rate is exactly one per period even though
        // timers count whole milliseconds.
        meters_.setSingleShot(true);
        meters_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&meters_, &QTimer::timeout, [this] { moveMeters(); });
        armMeters();
    }

private:
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

    // A sweep of the whole width per minute.
    void moveSweep() { model_.setFraction(std::fmod(elapsed() / 60, 1.0)); }

    void moveMeters() {
        const auto t = float(elapsed());
        QVector<float> peak, average;
        peak.reserve(channels_);
        average.reserve(channels_);
        for (int i = 0; i < channels_; ++i) {
            const float s = std::sin(3 * t + float(i));
            peak.push_back(s * 10 - 12);
            average.push_back(s * 10 - 20);
        }
        model_.setMeterPeak(peak);
        model_.setMeterAverage(average);
        armMeters();
    }

    // A late reading is not made up for; the next one keeps to the grid.
    void armMeters() {
        const double next = (std::floor(elapsed() / kMeterPeriodSeconds) + 1) * kMeterPeriodSeconds;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::chrono::duration<double>(next - elapsed()));
        meters_.start(std::max(wait, std::chrono::milliseconds::zero()));
    }

    using Clock = std::chrono::steady_clock;
    PreviewModel& model_;
    const int channels_;
    const Clock::time_point start_ = Clock::now();
    QTimer sweep_;
    QTimer meters_;
};

void perfSim(AudioPreviewController& preview, const QString& file, double seconds,
             std::optional<PreviewModel::DisplayMode> mode) {
    PreviewModel& model = preview.model();
    try {
        prepareTurning(preview, fileURL(file));
        // Analysis still running after 20 s does not fail the run.
        for (int check = 0; check < kAnalysisChecks && model.analysisProgress(); ++check) sleepTurning(kAnalysisCheck);
        if (mode) model.setMode(*mode);
        const int channels = std::max(int(model.lanes().size()), 1);

        double cpu = 0;
        {
            FakePlayback playback(model, channels);
            sleepTurning(kWarmUp);
            const double cpu0 = cpuSeconds();
            const auto t0 = std::chrono::steady_clock::now();
            sleepTurning(std::chrono::duration<double>(seconds));
            const double cpu1 = cpuSeconds();
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (elapsed > 0) cpu = (cpu1 - cpu0) * 100 / elapsed;
        }
        std::printf("perf-sim mode=%s channels=%d cpu=%.1f%%\n", PreviewModel::rawValue(model.mode()).toUtf8().constData(),
                    channels, cpu);
        preview.cancelPreview();
        endRun(0);
    } catch (...) {
        preview.cancelPreview();
        printFailure("perf-sim", std::current_exception());
        endRun(2);
    }
}

// ---- --smoke-test FILE ----

// Whether the run has been ended, by its own result or by the timeout, whichever came first.
struct SmokeRun {
    bool ended = false;

    void end(int status) {
        ended = true;
        endRun(status);
    }
};

void smokeTest(AudioPreviewController& preview, const QString& file, const std::shared_ptr<SmokeRun>& run) {
    try {
        prepareTurning(preview, fileURL(file));
    } catch (...) {
        // After a timeout the load was merely abandoned: nothing more to say.
        if (run->ended) return;
        printFailure("smoke", std::current_exception());
        run->end(2);
        return;
    }
    if (run->ended) return;

    layOutNow(*preview.view());
    preview.seek(0.5);
    const PreviewModel& model = preview.model();
    // The seek must take effect before any playback, and nothing may play.
    const bool loaded = model.metadata() && model.waveform() && !model.waveform()->isEmpty();
    if (!loaded || model.fraction() != 0.5 || model.isPlaying() || preview.hasPlaybackTimer()) {
        run->end(2);
        return;
    }
    // Refused while playback is disallowed.
    preview.togglePlayback();
    if (model.isPlaying() || preview.hasPlaybackTimer()) {
        run->end(2);
        return;
    }

    preview.cancelPreview();
    std::fputs("smoke PASS: shared view, seek-before-play, no playback/timer, cleanup\n", stderr);
    run->end(0);
}

} // namespace

bool hasHarnessSwitch(const QStringList& arguments) {
    return arguments.contains(kRenderSwitch) || arguments.contains(kPerfSimSwitch) || arguments.contains(kSmokeSwitch);
}

bool startHarnessMode(const QStringList& arguments, AudioPreviewController& preview, QWidget& window) {
    const qsizetype count = arguments.size();
    QPointer<AudioPreviewController> controller(&preview);
    QPointer<QWidget> host(&window);
    // Each run starts from the event loop, so its waits can turn it, and ends the application.
    const auto later = [&preview](auto run) { QTimer::singleShot(0, &preview, std::move(run)); };

    if (const qsizetype j = arguments.indexOf(kRenderSwitch); j >= 0) {
        if (count != j + 3) {
            endRunLater(2);
            return true;
        }
        preview.setPlaybackAllowed(false);
        window.setWindowTitle(QCoreApplication::translate("HarnessModes", "ZOREL Vaun \u2014 Sample audio"));
        later([controller, host, file = arguments[j + 1], directory = arguments[j + 2]] {
            if (controller && host) renderPreview(*controller, *host, file, directory);
        });
        return true;
    }

    if (const qsizetype k = arguments.indexOf(kPerfSimSwitch); k >= 0) {
        const std::optional<double> seconds = count >= k + 3 ? floatArgument(arguments[k + 2]) : std::nullopt;
        if (!seconds) {
            endRunLater(2);
            return true;
        }
        const auto mode = count >= k + 4 ? PreviewModel::displayMode(arguments[k + 3]) : std::nullopt;
        preview.setPlaybackAllowed(false);
        window.resize(PreviewRenderer::kModeSize);
        // Before the platform window exists, so the size constraints are settled (see the renderer).
        layOutNow(window);
        centre(window);
        window.show();
        window.activateWindow();
        later([controller, file = arguments[k + 1], seconds = *seconds, mode] {
            if (controller) perfSim(*controller, file, seconds, mode);
        });
        return true;
    }

    if (const qsizetype s = arguments.indexOf(kSmokeSwitch); s >= 0) {
        if (count != s + 2) {
            endRunLater(2);
            return true;
        }
        preview.setPlaybackAllowed(false);
        preview.view();
        auto run = std::make_shared<SmokeRun>();
        QTimer::singleShot(kSmokeTimeout, &preview, [run] {
            if (run->ended) return;
            std::fputs("smoke TIMEOUT\n", stderr);
            run->end(3);
        });
        later([controller, file = arguments[s + 1], run] {
            if (controller) smokeTest(*controller, file, run);
        });
        return true;
    }
    return false;
}

} // namespace vaun
