#pragma once
// Shows one audio file: owns the preview model and its view, loads a file on a worker thread
// (metadata, per-channel waveform, artwork), analyses it at once or on request, and drives
// playback (the simple player up to two channels, the multichannel player above), copying
// position and meters into the model on a 0.05 s timer.
//
// Every load, analysis and progress report carries the generation token current when it
// started; a result is published only while that token is still current, so a superseded or
// cancelled load never overwrites a newer one. Workers take and give plain values only; the
// model and the view belong to the UI thread.
#include "PreviewModel.h"
#include "playback/AudioOutput.h"

#include <QObject>
#include <QUuid>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace vaun {

class AudioPreviewController : public QObject {
    Q_OBJECT
public:
    // Files with more samples over all channels are analysed only when the user asks.
    static constexpr std::int64_t automaticAnalysisSamples = 172'800'000;

    explicit AudioPreviewController(QObject* parent = nullptr);
    ~AudioPreviewController() override;

    PreviewModel& model() { return model_; }
    // The preview view, built on first access (or by the first prepare) with the open-file
    // action set at that moment. Owned by the controller until reparented by its host.
    QWidget* view();
    bool isViewLoaded() const;

    void setOpenFileAction(std::function<void()> action);
    // When false, play requests are ignored.
    void setPlaybackAllowed(bool allowed);
    bool playbackAllowed() const;
    bool hasPlaybackTimer() const;
    // Players made from now on render into memory in `format` instead of playing to the
    // device (tests, headless self-tests); a zero rate or channel count takes the file's.
    // Nobody pulls that memory, so playback holds at its start position. Absent: the device.
    void setManualPlaybackOutput(std::optional<OutputFormat> format);

    // Loads `url` into the model. `completion` runs on the UI thread with null on success, or
    // the error (a CancellationError when superseded or cancelled, also from the destructor
    // when the controller goes first). Never before prepare has returned.
    void prepare(const std::filesystem::path& url, std::function<void(std::exception_ptr)> completion = {});
    // The same, waiting for the end while the event loop keeps turning; throws the error.
    void prepareAndWait(const std::filesystem::path& url);

    void startAnalysis();
    void cancelPreview();
    void seek(double fraction);
    void togglePlayback();
    void stopPlayback();
    // The preview is on screen; nothing to do here, a hook for hosts that act on it.
    virtual void viewDidAppear();
    // The preview is closed or replaced (not merely hidden): ends all work and playback.
    virtual void viewWillDisappear();

private:
    class Impl;
    PreviewModel model_;
    std::unique_ptr<Impl> impl_;
};

} // namespace vaun
