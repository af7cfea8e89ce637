#include "PreviewPanel.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace vaun {

PreviewPanel::PreviewPanel(PreviewExtension& extension, QStringList files, QWidget* parent)
    : QWidget(parent, Qt::Tool), extension_(extension), files_(std::move(files)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The panel owns the preview widget from here on.
    layout->addWidget(extension_.createPreviewWidget());
    resize(preferredWidth, preferredHeight);

    auto bind = [this](QKeySequence key, auto action) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    bind(QKeySequence(Qt::Key_Escape), [this] { close(); });
    bind(QKeySequence(Qt::Key_Up), [this] { goBy(-1); });
    bind(QKeySequence(Qt::Key_PageUp), [this] { goBy(-1); });
    bind(QKeySequence(Qt::Key_Down), [this] { goBy(1); });
    bind(QKeySequence(Qt::Key_PageDown), [this] { goBy(1); });
}

void PreviewPanel::open() {
    requestCurrent();
    placeOnScreen();
    show();
    appeared_ = true;
    extension_.viewDidAppear();
}

void PreviewPanel::goBy(int step) {
    if (files_.isEmpty()) return;
    const int next = std::clamp(index_ + step, 0, int(files_.size()) - 1);
    if (next == index_) return;
    index_ = next;
    requestCurrent();
}

void PreviewPanel::requestCurrent() {
    const QString path = files_.value(index_);
    setWindowTitle(QFileInfo(path).fileName());
    QPointer<PreviewPanel> self(this);
    extension_.preparePreviewOfFile(path, [self](bool ok, const QString& error) {
        // The preview shows a failure itself; the panel only passes the outcome on.
        if (self && self->onPrepared_) self->onPrepared_(ok, error);
    });
}

void PreviewPanel::placeOnScreen() {
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(), size());
    if (area.contains(pointer)) {
        // Beside the pointer, as a file manager's panel opens beside the selection.
        frame.moveTopLeft(pointer + QPoint(16, 16));
        frame.moveRight(std::min(frame.right(), area.right()));
        frame.moveBottom(std::min(frame.bottom(), area.bottom()));
        frame.moveLeft(std::max(frame.left(), area.left()));
        frame.moveTop(std::max(frame.top(), area.top()));
    } else {
        frame.moveCenter(area.center());
    }
    move(frame.topLeft());
}

void PreviewPanel::closeEvent(QCloseEvent* event) {
    if (appeared_) {
        appeared_ = false;
        extension_.viewWillDisappear();
    }
    event->accept();
    emit closed();
}

} // namespace vaun
