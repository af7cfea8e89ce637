#include "PreviewRenderer.h"

#include "AudioPreviewController.h"
#include "PreviewModel.h"
#include "Toolkit/Appearance.h"
#include "common/Errors.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLayout>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <utility>

namespace vaun {
namespace {

constexpr const char* kCaptureDomain = "VaunPreview";
constexpr int kCaptureFailed = 1;
// Far beyond any run, and still within what the timer arithmetic below can hold.
constexpr std::chrono::duration<double> kLongestSleep{1e9};

constexpr std::array<std::pair<const char*, ColorScheme>, 2> kAppearances{{
    {"vaun-light", ColorScheme::light},
    {"vaun-dark", ColorScheme::dark},
}};

Error captureFailed(const QString& reason) {
    return Error(kCaptureDomain, kCaptureFailed, "Window capture failed: " + reason.toStdString());
}

QString qtPath(const std::filesystem::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.native())); }

// The file name of a mode's snapshot: prefix-waveform.png and so on.
std::string snapshotName(const char* prefix, PreviewModel::DisplayMode mode) {
    return std::string(prefix) + "-" + PreviewModel::rawValue(mode).toLower().toStdString() + ".png";
}

// Averages cycle −30 … −10 dBFS and peaks −24 … −4 over the channels, so every meter is lit.
void fakeMeters(PreviewModel& model) {
    const std::size_t n = model.lanes().size();
    QVector<float> average, peak;
    average.reserve(qsizetype(n));
    peak.reserve(qsizetype(n));
    for (std::size_t k = 0; k < n; ++k) {
        const auto step = float(5 * (k % 5));
        average.push_back(-30 + step);
        peak.push_back(-24 + step);
    }
    model.setMeterAverage(average);
    model.setMeterPeak(peak);
}

// The document's top-left origin makes its end at document height − visible height.
void scrollToEnd(QWidget& window) {
    QScrollArea* scroll = PreviewRenderer::firstScrollView(&window);
    if (!scroll || !scroll->widget()) return;
    layOutNow(window);
    const int y = std::max(scroll->widget()->height() - scroll->viewport()->height(), 0);
    scroll->verticalScrollBar()->setValue(y);
}

} // namespace

void sleepTurning(std::chrono::duration<double> duration) {
    using namespace std::chrono;
    const auto length = std::clamp(duration, std::chrono::duration<double>::zero(), kLongestSleep);
    const auto deadline = steady_clock::now() + ceil<milliseconds>(length);
    for (;;) {
        const auto left = ceil<milliseconds>(deadline - steady_clock::now());
        if (left <= milliseconds::zero()) return;
        bool fired = false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            fired = true;
            loop.quit();
        });
        // Timers hold an int of milliseconds; long sleeps go in steps of an hour.
        timer.start(std::min<milliseconds>(left, hours(1)));
        loop.exec();
        // Only the application's exit ends the loop otherwise.
        if (!fired) throw CancellationError();
    }
}

void prepareTurning(AudioPreviewController& preview, const std::filesystem::path& url) {
    // Shared with the completion, which may still come after this returns (a quitting
    // application leaves the load to the controller's destructor).
    struct Wait {
        bool done = false;
        std::exception_ptr error;
        QEventLoop* loop = nullptr;
    };
    auto wait = std::make_shared<Wait>();
    preview.prepare(url, [wait](std::exception_ptr error) {
        wait->done = true;
        wait->error = std::move(error);
        if (wait->loop) wait->loop->quit();
    });
    if (!wait->done) {
        QEventLoop loop;
        wait->loop = &loop;
        loop.exec();
        wait->loop = nullptr;
    }
    if (!wait->done) throw CancellationError();
    if (wait->error) std::rethrow_exception(wait->error);
}

void centre(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

void layOutNow(QWidget& root) {
    root.ensurePolished();
    // A pass can post further requests (a scroll area sizing its document); two settle it.
    for (int pass = 0; pass < 2; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (QLayout* layout = root.layout()) layout->activate();
        for (QWidget* child : root.findChildren<QWidget*>())
            if (QLayout* layout = child->layout()) layout->activate();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

QScrollArea* PreviewRenderer::firstScrollView(QWidget* view) {
    if (!view) return nullptr;
    if (auto* scroll = qobject_cast<QScrollArea*>(view)) return scroll;
    for (QObject* child : view->children())
        if (QScrollArea* found = firstScrollView(qobject_cast<QWidget*>(child))) return found;
    return nullptr;
}

QSize PreviewRenderer::detailsSize(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) return {kDetailsWidth, kDetailsHeightWithoutScreen};
    return {kDetailsWidth, std::min(screen->availableGeometry().height() - 40, kDetailsMaximumHeight)};
}

void PreviewRenderer::capture(QWidget& window, const std::filesystem::path& file) {
    layOutNow(window);
    sleepTurning(kSettle);
    const QImage image = window.grab().toImage();
    if (image.isNull()) throw captureFailed(QStringLiteral("the window has nothing to draw"));
    QFile out(qtPath(file));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw captureFailed(out.errorString());
    QImageWriter writer(&out, "png");
    if (!writer.write(image)) throw captureFailed(writer.errorString());
    if (!out.flush()) throw captureFailed(out.errorString());
}

void PreviewRenderer::render(AudioPreviewController& preview, QWidget& window, const std::filesystem::path& file,
                             const std::filesystem::path& directory) {
    std::filesystem::create_directories(directory);

    // Sized to its content before it has a platform window: the offscreen platform warns
    // about size constraints that change afterwards.
    layOutNow(window);
    centre(window);
    window.show();
    window.activateWindow();
    applyColorScheme(window, ColorScheme::light);
    capture(window, directory / "vaun-empty.png");

    window.resize(kModeSize);
    centre(window);
    prepareTurning(preview, file);
    preview.seek(0.32);

    PreviewModel& model = preview.model();
    // A running analysis gets up to 20 s; a deferred one is not waited for.
    for (int poll = 0; poll < 200 && !model.analysis() && model.analysisProgress(); ++poll)
        sleepTurning(std::chrono::milliseconds(100));

    fakeMeters(model);
    // The transport shows "Pause"; nothing sounds, playback is disallowed.
    model.setIsPlaying(true);

    const std::size_t lanes = model.lanes().size();
    for (const auto& [prefix, scheme] : kAppearances) {
        applyColorScheme(window, scheme);
        for (const PreviewModel::DisplayMode mode : PreviewModel::allDisplayModes) {
            if (mode == PreviewModel::DisplayMode::channels && lanes < 2) continue;
            model.setMode(mode);
            capture(window, directory / snapshotName(prefix, mode));
        }
    }

    model.setMode(lanes > 2 ? PreviewModel::DisplayMode::channels : PreviewModel::DisplayMode::waveform);
    model.setShowFileDetails(true);
    model.setShowRecordingMetadata(true);
    model.setShowTags(true);
    model.setShowMarkers(true);
    window.resize(detailsSize(window));
    centre(window);
    capture(window, directory / "vaun-dark-details-top.png");
    scrollToEnd(window);
    capture(window, directory / "vaun-dark-details.png");
    model.setShowFileDetails(false);
    model.setShowRecordingMetadata(false);
    model.setShowTags(false);
    model.setShowMarkers(false);

    std::fputs("render PASS: empty, light and dark \u00d7 waveform / channels / spectrum / loudness; playback disabled\n", stderr);
    std::fflush(stderr);
}

} // namespace vaun
