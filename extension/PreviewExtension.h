#pragma once
// What a panel that hosts the preview plug-in talks to. The plug-in exports one object
// implementing this interface (IID below); a host checks version() before anything else.
// Every call is for the UI thread.
#include <QString>
#include <QtPlugin>

#include <functional>

class QWidget;

namespace vaun {

class PreviewExtension {
public:
    static constexpr int interfaceVersion = 1;
    // Empty on success, else the text the preview shows.
    using Completion = std::function<void(bool ok, const QString& error)>;

    virtual ~PreviewExtension() = default;

    virtual int version() const = 0;
    // The preview's widget; the host puts it in its panel and owns it from then on.
    virtual QWidget* createPreviewWidget() = 0;
    // Loads a file; `completion` runs exactly once. A newer request ends an older one.
    virtual void preparePreviewOfFile(const QString& path, Completion completion) = 0;
    virtual void viewDidAppear() = 0;
    // Playback stops and loading is abandoned.
    virtual void viewWillDisappear() = 0;

    // For headless self-tests: render playback into memory instead of the sound device.
    virtual void setOfflinePlayback(bool offline) = 0;
    virtual bool isPlaying() = 0;
};

} // namespace vaun

#define VaunPreviewExtension_iid "com.zorel.Vaun.PreviewExtension/1"
Q_DECLARE_INTERFACE(vaun::PreviewExtension, VaunPreviewExtension_iid)
