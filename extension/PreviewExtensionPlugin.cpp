#include "PreviewExtensionPlugin.h"

#include "PreviewPlayback.h"

#include <QWidget>

namespace vaun {

PreviewExtensionPlugin::PreviewExtensionPlugin(QObject* parent) : QObject(parent) {}

QWidget* PreviewExtensionPlugin::createPreviewWidget() { return controller_.view(); }

void PreviewExtensionPlugin::preparePreviewOfFile(const QString& path, Completion completion) {
    controller_.preparePreviewOfFile(path.toStdString(), [completion = std::move(completion)](std::exception_ptr error) {
        if (!completion) return;
        if (!error) completion(true, {});
        else completion(false, describeError(error));
    });
}

void PreviewExtensionPlugin::setOfflinePlayback(bool offline) {
    controller_.setManualPlaybackOutput(offline ? std::optional<OutputFormat>(OutputFormat{}) : std::nullopt);
}

} // namespace vaun
