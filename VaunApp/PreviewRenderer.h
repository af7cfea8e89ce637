#pragma once
// PNG snapshots of the real preview window for one file: the empty state, every display mode
// in light and dark, and the page with both detail sections open, at its top and at its end.
// The window is drawn by Qt itself (QWidget::grab), so no display or screen-capture program
// is needed: under QT_QPA_PLATFORM=offscreen the screen is 800 × 800 and the detail
// snapshots come out 780 × 760. Images carry the window's device pixel ratio, so
// QT_SCALE_FACTOR=2 gives snapshots of twice the pixels.
//
// Everything runs on the UI thread; every wait keeps the event loop turning, so loading,
// analysis results, layout and drawing go on while the renderer waits.
#include <QSize>

#include <chrono>
#include <filesystem>

class QScrollArea;
class QWidget;

namespace vaun {

class AudioPreviewController;

class PreviewRenderer {
public:
    PreviewRenderer() = delete;

    static constexpr QSize kModeSize{780, 860};
    static constexpr int kDetailsWidth = 780;
    static constexpr int kDetailsMaximumHeight = 1640;
    static constexpr int kDetailsHeightWithoutScreen = 960;
    // Time for the preview to finish drawing before each snapshot.
    static constexpr std::chrono::milliseconds kSettle{700};

    // Writes the snapshots of `file` into `directory` (created with its parents when missing)
    // and prints the PASS line on standard error. `window` shows the controller's view and
    // playback is already disallowed. Throws the first error met; files already written stay.
    static void render(AudioPreviewController& preview, QWidget& window, const std::filesystem::path& file,
                       const std::filesystem::path& directory);

    // Depth-first: `view` itself, else the first match among its child widgets in order.
    static QScrollArea* firstScrollView(QWidget* view);

    // Lays the window out, lets it settle, and writes it to `file` as PNG. A failure throws
    // vaun::Error in the domain "VaunPreview".
    static void capture(QWidget& window, const std::filesystem::path& file);

    // 780 × (the visible height of the window's screen − 40, at most 1640), or 780 × 960
    // when it is on no screen.
    static QSize detailsSize(const QWidget& window);
};

// Waits that keep the event loop turning (also used by the other harness modes). Both throw
// CancellationError when the application quits meanwhile, so a run that has already been
// ended unwinds without going on.
void sleepTurning(std::chrono::duration<double> duration);
// prepare() of `url`, waited for; throws the load's error.
void prepareTurning(AudioPreviewController& preview, const std::filesystem::path& url);

// Centres `window` on its screen's visible area.
void centre(QWidget& window);

// Delivers pending layout work in `root`'s tree now, so sizes and scroll ranges are final.
void layOutNow(QWidget& root);

} // namespace vaun
