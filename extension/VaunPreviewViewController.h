#pragma once
// The preview as a file manager's quick-look panel shows it: the shared preview controller,
// telling its host when loading ends and starting playback by itself once the file is
// loaded and the preview is on screen. It offers no open-file action.
//
// A host sends, on the UI thread and in its own order: prepare requests, the view appearing
// and the view disappearing.
#include "AudioPreviewController.h"

#include <exception>
#include <filesystem>
#include <functional>

namespace vaun {

class VaunPreviewViewController : public AudioPreviewController {
    Q_OBJECT
public:
    explicit VaunPreviewViewController(QObject* parent = nullptr);

    // Loads `url`; `completion` runs once on the UI thread, with null on success or the
    // error (the preview shows its text). A newer request or the view disappearing ends an
    // older one with a CancellationError.
    void preparePreviewOfFile(const std::filesystem::path& url, std::function<void(std::exception_ptr)> completion);
    // The same, waiting while the event loop keeps turning; throws the error.
    void preparePreviewOfFileAndWait(const std::filesystem::path& url);

    void viewDidAppear() override;
    void viewWillDisappear() override;

    bool previewIsVisible() const { return previewIsVisible_; }
    bool autoplayPending() const { return autoplayPending_; }

private:
    void loadCompleted();

    bool previewIsVisible_ = false;
    bool autoplayPending_ = false;
};

} // namespace vaun
