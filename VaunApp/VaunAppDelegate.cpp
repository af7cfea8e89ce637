#include "VaunAppDelegate.h"

#include "AudioFileTypes.h"
#include "HarnessModes.h"
#include "VaunWindow.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <exception>
#include <utility>

namespace vaun {

VaunAppDelegate::VaunAppDelegate(QStringList arguments, bool accessory, QObject* parent)
    : QObject(parent), arguments_(std::move(arguments)), accessory_(accessory) {}

VaunAppDelegate::~VaunAppDelegate() = default;

QMainWindow* VaunAppDelegate::window() const { return window_.get(); }

void VaunAppDelegate::applicationDidFinishLaunching() {
    if (window_) return;
    window_ = std::make_unique<VaunWindow>();
    if (accessory_) window_->setWindowFlag(Qt::Tool); // no task-bar entry
    connect(window_.get(), &VaunWindow::closing, this, &VaunAppDelegate::windowWillClose);
    connect(window_.get(), &VaunWindow::fileDropped, this,
            [this](const std::filesystem::path& file) { openFiles({file}); });

    // Before the view exists: the view takes the action when it is built.
    QPointer<VaunAppDelegate> self(this);
    preview_.setOpenFileAction([self] {
        if (self) self->openFile();
    });

    window_->setWindowTitle(tr("ZOREL Vaun"));
    QWidget* view = preview_.view();
    view->setMinimumSize(minimumContentWidth, minimumContentHeight);
    window_->setCentralWidget(view);
    window_->resize(contentWidth, contentHeight);

    if (startHarnessMode(arguments_, preview_, *window_)) {
        harness_ = true;
        return;
    }

    buildMainMenu();
    // The content keeps its size; the menu bar comes on top of it.
    window_->resize(contentWidth, contentHeight + window_->menuBar()->sizeHint().height());
    centreWindow();
    if (!accessory_) {
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
    if (pendingURL_) {
        const std::filesystem::path url = *std::exchange(pendingURL_, std::nullopt);
        open(url);
    }
}

void VaunAppDelegate::openFiles(const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return;
    if (!window_) {
        pendingURL_ = files.front();
        return;
    }
    if (harness_) return;
    activate();
    open(files.front());
}

void VaunAppDelegate::activate() {
    if (!window_ || harness_ || accessory_) return;
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void VaunAppDelegate::openFile() {
    if (!window_) return;
    if (openPanel_) {
        openPanel_->raise();
        openPanel_->activateWindow();
        return;
    }
    auto panel = std::make_unique<QFileDialog>(window_.get());
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setNameFilter(audioFileNameFilter());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    QFileDialog* shown = panel.release(); // the window owns it until it closes itself
    connect(shown, &QFileDialog::finished, this, [this, shown](int result) {
        openPanel_ = nullptr;
        const QStringList chosen = shown->selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty()) open(localPath(chosen.constFirst()));
    });
    openPanel_ = shown;
    shown->open(); // window-modal: the sheet of this window
}

void VaunAppDelegate::open(const std::filesystem::path& url) {
    preview_.cancelPreview();
    // A file that cannot be loaded shows its error in the preview; nothing to add here.
    preview_.prepare(url, [](std::exception_ptr) {});
}

void VaunAppDelegate::windowWillClose() {
    if (openPanel_) openPanel_->reject();
    preview_.cancelPreview();
}

void VaunAppDelegate::buildMainMenu() {
    QMenuBar* bar = window_->menuBar();
    QMenu* application = bar->addMenu(tr("ZOREL Vaun"));
    QAction* quit = application->addAction(tr("Quit ZOREL Vaun"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, [this] {
        // Closing ends the preview like the close button does; quitting covers a window
        // that has already gone.
        if (window_) window_->close();
        QCoreApplication::quit();
    });

    QMenu* file = bar->addMenu(tr("File"));
    QAction* openFileItem = file->addAction(tr("Open File\u2026"));
    openFileItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(openFileItem, &QAction::triggered, this, &VaunAppDelegate::openFile);
}

void VaunAppDelegate::centreWindow() {
    const QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window_->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window_->move(frame.topLeft());
}

} // namespace vaun
