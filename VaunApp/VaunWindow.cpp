#include "VaunWindow.h"

#include "AudioFileTypes.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

#include <optional>

namespace vaun {
namespace {

std::optional<std::filesystem::path> droppedAudioFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().isEmpty()) return std::nullopt;
    const QUrl url = data->urls().constFirst();
    if (!url.isLocalFile()) return std::nullopt;
    const QFileInfo file(url.toLocalFile());
    if (file.isDir() || !isAudioFileName(file.fileName())) return std::nullopt;
    return localPath(file.filePath());
}

} // namespace

VaunWindow::VaunWindow(QWidget* parent) : QMainWindow(parent) { setAcceptDrops(true); }

void VaunWindow::closeEvent(QCloseEvent* event) {
    emit closing();
    event->accept();
}

void VaunWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedAudioFile(event->mimeData())) event->acceptProposedAction();
}

void VaunWindow::dropEvent(QDropEvent* event) {
    if (const auto file = droppedAudioFile(event->mimeData())) {
        event->acceptProposedAction();
        emit fileDropped(*file);
    }
}

} // namespace vaun
