#pragma once
// Wraps the views that show playback position or meters. Only these are touched when the
// playback state changes, so the playback timer never redraws the rest of the preview.
#include "PlaybackState.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

namespace vaun {

class WithPlayback : public QWidget {
    Q_OBJECT

public:
    // Builds the content from the current state.
    using Content = std::function<std::unique_ptr<QWidget>(const PlaybackState&)>;
    // Brings existing content up to date in place, sparing a rebuild on every tick.
    using Update = std::function<void(QWidget& content, const PlaybackState&)>;

    // Rebuilds the content on every change of the state.
    WithPlayback(PlaybackState& playback, Content content, QWidget* parent = nullptr);
    // Builds the content once and updates it on every change of the state.
    WithPlayback(PlaybackState& playback, Content content, Update update, QWidget* parent = nullptr);

    PlaybackState* playback() const { return playback_; }
    // The current content; null if the builder yielded none.
    QWidget* contentWidget() const { return body_; }

private:
    void refresh();
    void rebuild();

    QPointer<PlaybackState> playback_;
    Content content_;
    Update update_;
    QPointer<QWidget> body_;
};

} // namespace vaun
