#include "WithPlayback.h"

#include <QVBoxLayout>

namespace vaun {

WithPlayback::WithPlayback(PlaybackState& playback, Content content, QWidget* parent)
    : WithPlayback(playback, std::move(content), {}, parent) {}

WithPlayback::WithPlayback(PlaybackState& playback, Content content, Update update, QWidget* parent)
    : QWidget(parent), playback_(&playback), content_(std::move(content)), update_(std::move(update)) {
    auto layout = std::make_unique<QVBoxLayout>();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setLayout(layout.release()); // owned by this widget from here on
    rebuild();
    // Connected with this widget as context so nothing fires once either side is gone.
    connect(&playback, &PlaybackState::fractionChanged, this, &WithPlayback::refresh);
    connect(&playback, &PlaybackState::meterPeakChanged, this, &WithPlayback::refresh);
    connect(&playback, &PlaybackState::meterAverageChanged, this, &WithPlayback::refresh);
}

void WithPlayback::refresh() {
    if (!playback_) return;
    if (update_ && body_) {
        update_(*body_, *playback_);
        return;
    }
    rebuild();
}

void WithPlayback::rebuild() {
    if (!playback_ || !content_) return;
    std::unique_ptr<QWidget> next = content_(*playback_);
    if (body_) {
        layout()->removeWidget(body_);
        // Deferred: the old content may be the sender of what led here.
        body_->deleteLater();
    }
    body_ = next.get();
    if (next) layout()->addWidget(next.release()); // the layout reparents it to this widget
}

} // namespace vaun
