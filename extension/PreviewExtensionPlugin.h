#pragma once
// The plug-in's exported object: one preview controller behind the host interface.
#include "PreviewExtension.h"
#include "VaunPreviewViewController.h"

#include <QObject>

namespace vaun {

class PreviewExtensionPlugin : public QObject, public PreviewExtension {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VaunPreviewExtension_iid)
    Q_INTERFACES(vaun::PreviewExtension)
public:
    explicit PreviewExtensionPlugin(QObject* parent = nullptr);

    int version() const override { return interfaceVersion; }
    QWidget* createPreviewWidget() override;
    void preparePreviewOfFile(const QString& path, Completion completion) override;
    void viewDidAppear() override { controller_.viewDidAppear(); }
    void viewWillDisappear() override { controller_.viewWillDisappear(); }
    void setOfflinePlayback(bool offline) override;
    bool isPlaying() override { return controller_.model().isPlaying(); }

private:
    VaunPreviewViewController controller_;
};

} // namespace vaun
