#pragma once
// The host application's delegate: owns the process's one preview controller and the one
// window that shows it, builds the two-item menu bar, offers the open dialog and takes the
// files the desktop hands over (the command line at launch, a later launch through the
// session bus, a drop on the window). The harness modes branch off in its launch sequence.
#include "AudioPreviewController.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

class QFileDialog;
class QMainWindow;

namespace vaun {

class VaunWindow;

class VaunAppDelegate : public QObject {
    Q_OBJECT
public:
    // Content size of the window at launch and the smallest it can be made, in points.
    static constexpr int contentWidth = 720;
    static constexpr int contentHeight = 600;
    static constexpr int minimumContentWidth = 560;
    static constexpr int minimumContentHeight = 480;

    // `arguments` is the whole command line, the program included; an accessory application
    // (the smoke test) never shows its window nor appears in the task bar.
    explicit VaunAppDelegate(QStringList arguments, bool accessory = false, QObject* parent = nullptr);
    ~VaunAppDelegate() override;

    // Builds the window; then either a harness mode takes over, or the menu bar is built,
    // the window shown and the file handed over before launch opened.
    void applicationDidFinishLaunching();
    // Files handed over by the desktop: only the first counts. Before launch it waits for
    // the window; after, the window comes forward and shows it.
    void openFiles(const std::vector<std::filesystem::path>& files);
    // Brings the window forward, as when the desktop activates the running application.
    void activate();
    // "Open File…": the open dialog as a sheet on the window, one at a time.
    void openFile();

    AudioPreviewController& preview() { return preview_; }
    QMainWindow* window() const;

private:
    void open(const std::filesystem::path& url);
    void windowWillClose();
    void buildMainMenu();
    void centreWindow();

    // Declared before the window so that the window, which holds the controller's view, goes
    // first.
    AudioPreviewController preview_;
    std::unique_ptr<VaunWindow> window_;
    QPointer<QFileDialog> openPanel_;
    std::optional<std::filesystem::path> pendingURL_;
    QStringList arguments_;
    bool accessory_ = false;
    // A harness mode runs the window; the desktop's requests leave it alone.
    bool harness_ = false;
};

} // namespace vaun
