#include "GalleryPreview.h"

#include "AudioPreviewController.h"
#include "Toolkit/Appearance.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>

namespace vaun {
namespace {

constexpr int kWidth = 780;
constexpr qreal kPixelsPerPoint = 2;

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

void waitUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    poll.start(5);
    if (!done()) loop.exec();
}

// The view at `kWidth`, as tall as its scrolling column so nothing is cut off. Shown (on
// the offscreen platform) so that content built since is laid out as on a screen.
QImage capture(QWidget& view, ColorScheme scheme, int minimumHeight = 600) {
    applyColorScheme(view, scheme);
    view.resize(kWidth, minimumHeight);
    view.show();
    settle();
    if (auto* area = view.findChild<QScrollArea*>(); area && area->widget()) {
        // A taller view drops the scroll bar and widens the column: measure until it holds.
        for (int i = 0; i < 4; ++i) {
            QWidget& column = *area->widget();
            const int width = area->viewport()->width();
            const int height = column.hasHeightForWidth() ? column.heightForWidth(width) : column.sizeHint().height();
            const int wanted = std::max(minimumHeight, height + 2 * area->frameWidth());
            if (wanted == view.height()) break;
            view.resize(kWidth, wanted);
            settle();
        }
    }
    QImage image(view.size() * kPixelsPerPoint, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kPixelsPerPoint);
    image.fill(Appearance::of(scheme).windowBackground);
    QPainter painter(&image);
    view.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool save(const QImage& image, const QString& out, const QString& name) {
    const QString path = out + "/" + name;
    if (image.save(path)) return true;
    std::fprintf(stderr, "gallery: could not write %s\n", qPrintable(path));
    return false;
}

// Loads `file` and waits for its analysis (asked for when deferred); the error state when it
// cannot be loaded.
void loadAndAnalyse(AudioPreviewController& controller, const std::filesystem::path& file) {
    try {
        controller.prepareAndWait(file);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gallery: %s shows the error state: %s\n", file.string().c_str(), e.what());
        return;
    }
    controller.startAnalysis();
    waitUntil([&] { return !controller.model().analysisProgress(); });
    controller.model().setShowFileDetails(true);
    controller.model().setShowRecordingMetadata(true);
    controller.model().setShowTags(true);
    controller.model().setShowMarkers(true);
}

} // namespace

int renderPreviews(const std::filesystem::path& file, const QString& out) {
    int written = 0;
    {
        AudioPreviewController controller;
        controller.setPlaybackAllowed(false);
        controller.setOpenFileAction([] {});
        QWidget& view = *controller.view();
        loadAndAnalyse(controller, file);
        for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            if (!save(capture(view, scheme), out, scheme == ColorScheme::dark ? "preview-dark.png" : "preview-light.png"))
                return -1;
            ++written;
        }
    }
    {
        AudioPreviewController controller;
        controller.setOpenFileAction([] {});
        if (!save(capture(*controller.view(), ColorScheme::light), out, "preview-welcome.png")) return -1;
        ++written;
        // Nothing has come back from the worker yet: the loading state.
        controller.prepare(file);
        if (!save(capture(*controller.view(), ColorScheme::light), out, "preview-loading.png")) return -1;
        ++written;
        controller.cancelPreview();
    }
    {
        QTemporaryDir dir;
        const std::filesystem::path junk = dir.filePath("notes.wav").toStdString();
        std::ofstream(junk) << "These are notes, not audio.\n";
        AudioPreviewController controller;
        controller.setOpenFileAction([] {});
        QWidget& view = *controller.view();
        try {
            controller.prepareAndWait(junk);
        } catch (const std::exception&) {
            // The error state is the point.
        }
        if (!save(capture(view, ColorScheme::light), out, "preview-error.png")) return -1;
        ++written;
    }
    return written;
}

} // namespace vaun
