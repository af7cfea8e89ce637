#include "VaunPreviewViewController.h"

#include <QPointer>

namespace vaun {

VaunPreviewViewController::VaunPreviewViewController(QObject* parent) : AudioPreviewController(parent) {}

void VaunPreviewViewController::preparePreviewOfFile(const std::filesystem::path& url,
                                                     std::function<void(std::exception_ptr)> completion) {
    // A new request never inherits the autoplay of an earlier one.
    autoplayPending_ = false;
    QPointer<VaunPreviewViewController> self(this);
    prepare(url, [self, completion = std::move(completion)](std::exception_ptr error) {
        // Only a success touches the controller: the base reports its own destruction as
        // a cancellation, when this part of it is already gone.
        if (!error && self) self->loadCompleted();
        if (completion) completion(std::move(error));
    });
}

void VaunPreviewViewController::preparePreviewOfFileAndWait(const std::filesystem::path& url) {
    autoplayPending_ = false;
    prepareAndWait(url);
    loadCompleted();
}

void VaunPreviewViewController::loadCompleted() {
    autoplayPending_ = true;
    if (previewIsVisible_) {
        autoplayPending_ = false;
        togglePlayback();
    }
}

void VaunPreviewViewController::viewDidAppear() {
    AudioPreviewController::viewDidAppear();
    previewIsVisible_ = true;
    if (autoplayPending_) {
        autoplayPending_ = false;
        togglePlayback();
    }
}

void VaunPreviewViewController::viewWillDisappear() {
    previewIsVisible_ = false;
    autoplayPending_ = false;
    AudioPreviewController::viewWillDisappear();
}

} // namespace vaun
