#include "AudioPreviewController.h"

#include "PreviewLoader.h"
#include "PreviewPlayback.h"
#include "PreviewViews/PreviewView.h"
#include "WorkerThread.h"

#include "playback/MultichannelPlayer.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <map>
#include <optional>

namespace vaun {
namespace {

constexpr int kPreferredWidth = 720;
constexpr int kPreferredHeight = 600;

using Completion = std::function<void(std::exception_ptr)>;

// What a load worker hands back: the file's preview or why there is none.
struct LoadOutcome {
    std::optional<PreviewLoader::Loaded> loaded;
    std::exception_ptr error;
};

// Tells when the top-level window holding the view is closed for good. A hide or a minimise
// is no reason to end the preview; a close that the window refused is none either.
class WindowCloseWatch : public QObject {
public:
    WindowCloseWatch(QWidget& view, std::function<void()> closed) : view_(&view), closed_(std::move(closed)) {
        view.installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_ && (event->type() == QEvent::ParentChange || event->type() == QEvent::Show)) follow();
        if (watched == window_ && event->type() == QEvent::Close) {
            // The window decides after the filters whether it closes; look once it has.
            QTimer::singleShot(0, this, [this] {
                if (!window_ || !window_->isVisible()) closed_();
            });
        }
        return false;
    }

private:
    void follow() {
        if (!view_) return;
        QWidget* window = view_->window();
        if (window == window_) return;
        if (window_ && window_ != view_) window_->removeEventFilter(this);
        window_ = window;
        if (window_ != view_) window_->installEventFilter(this);
    }

    QPointer<QWidget> view_;
    QPointer<QWidget> window_;
    std::function<void()> closed_;
};

void complete(const Completion& completion, std::exception_ptr error) {
    if (completion) completion(std::move(error));
}

} // namespace

class AudioPreviewController::Impl {
public:
    explicit Impl(AudioPreviewController& q)
        : q(q), model(q.model_), port(std::make_shared<MainThreadPort>(q)), playback(q.model_, q) {}
    ~Impl();

    QWidget* loadView();
    void prepare(const std::filesystem::path& url, Completion completion);
    void finishLoad(const QUuid& token, std::uint64_t id, const std::filesystem::path& url, LoadOutcome outcome);
    void startAnalysis();
    void analysisProgressed(const QUuid& token, double progress);
    void finishAnalysis(const QUuid& token, std::optional<AudioAnalysis> result, bool cancelled);
    void cancelPreview();
    bool isMultichannel() const;

    AudioPreviewController& q;
    PreviewModel& model;
    std::shared_ptr<MainThreadPort> port;
    // Work queued on the UI thread checks this before it touches anything here.
    std::shared_ptr<const bool> life = std::make_shared<const bool>(true);
    QUuid generation = QUuid::createUuid();
    std::unique_ptr<WorkerThread> worker;
    std::unique_ptr<WorkerThread> analysisTask;
    std::optional<std::filesystem::path> url;
    bool playbackAllowed = true;
    std::function<void()> openFileAction;
    // Callers of prepare still waiting, superseded loads included: each hears the end once.
    std::map<std::uint64_t, Completion> pending;
    std::uint64_t loads = 0;
    PreviewPlayback playback;
    std::unique_ptr<PreviewView> ownedView;
    QPointer<PreviewView> view;
    std::unique_ptr<WindowCloseWatch> closeWatch;
};

AudioPreviewController::Impl::~Impl() {
    life.reset();
    port->close();
    worker.reset();
    analysisTask.reset();
    closeWatch.reset();
    auto waiting = std::move(pending);
    for (auto& [id, completion] : waiting) complete(completion, std::make_exception_ptr(CancellationError()));
    // A host that took the view owns it now; one that deleted it left nothing to delete.
    if (!view || view->parent()) (void)ownedView.release();
    ownedView.reset();
}

QWidget* AudioPreviewController::Impl::loadView() {
    if (view) return view;
    if (ownedView) (void)ownedView.release(); // deleted by the host it was given to
    QPointer<AudioPreviewController> self(&q);
    PreviewView::Actions actions;
    if (openFileAction) {
        actions.openFile = [self, action = openFileAction] {
            if (self) action();
        };
    }
    actions.play = [self] {
        if (self) self->togglePlayback();
    };
    actions.stop = [self] {
        if (self) self->stopPlayback();
    };
    actions.seek = [self](double fraction) {
        if (self) self->seek(fraction);
    };
    actions.measure = [self] {
        if (self) self->startAnalysis();
    };
    ownedView = std::make_unique<PreviewView>(model, std::move(actions));
    view = ownedView.get();
    if (!view->parentWidget()) view->resize(kPreferredWidth, kPreferredHeight);
    closeWatch = std::make_unique<WindowCloseWatch>(*view, [self] {
        if (self) self->viewWillDisappear();
    });
    return view;
}

void AudioPreviewController::Impl::prepare(const std::filesystem::path& fileURL, Completion completion) {
    cancelPreview();
    loadView();
    const QUuid token = QUuid::createUuid();
    generation = token;
    model.setMetadata(std::nullopt);
    model.setWaveform(std::nullopt);
    model.setErrorMessage(std::nullopt);
    model.setLanes({});
    model.setAnalysis(std::nullopt);
    model.setAnalysisProgress(std::nullopt);
    model.setAnalysisDeferred(false);
    model.setIsLoading(true);

    const std::uint64_t id = ++loads;
    pending.emplace(id, std::move(completion));
    auto deliver = [port = port, impl = this, weak = std::weak_ptr<const bool>(life), token, id,
                    fileURL](std::shared_ptr<LoadOutcome> outcome) {
        port->post([impl, weak, token, id, fileURL, outcome] {
            if (!weak.expired()) impl->finishLoad(token, id, fileURL, std::move(*outcome));
        });
    };
    try {
        worker = std::make_unique<WorkerThread>(
            WorkerThread::Priority::userInitiated, [deliver, fileURL](const CancellationTest& isCancelled) {
                auto outcome = std::make_shared<LoadOutcome>();
                try {
                    outcome->loaded = PreviewLoader::load(fileURL, isCancelled);
                } catch (...) {
                    outcome->error = std::current_exception();
                }
                deliver(std::move(outcome));
            });
    } catch (...) {
        // No thread to be had: the load fails like any other, after prepare has returned.
        auto outcome = std::make_shared<LoadOutcome>();
        outcome->error = std::current_exception();
        deliver(std::move(outcome));
    }
}

void AudioPreviewController::Impl::finishLoad(const QUuid& token, std::uint64_t id, const std::filesystem::path& fileURL,
                                              LoadOutcome outcome) {
    Completion completion;
    if (auto it = pending.find(id); it != pending.end()) {
        completion = std::move(it->second);
        pending.erase(it);
    }
    const bool current = generation == token;
    if (!current) {
        // Superseded: the model belongs to a newer load now.
        complete(completion, std::make_exception_ptr(CancellationError()));
        return;
    }
    worker.reset();
    if (!outcome.loaded) {
        model.setIsLoading(false);
        try {
            std::rethrow_exception(outcome.error);
        } catch (const CancellationError&) {
            model.setErrorMessage(tr("Preview cancelled."));
        } catch (...) {
            model.setErrorMessage(tr("Could not preview: %1").arg(describeError(outcome.error)));
        }
        complete(completion, outcome.error);
        return;
    }
    PreviewLoader::Loaded& loaded = *outcome.loaded;
    const bool manyChannels = loaded.metadata.channels && *loaded.metadata.channels > 2;
    const bool deferred = PreviewLoader::defersAnalysis(loaded.metadata, automaticAnalysisSamples);
    model.setMetadata(std::move(loaded.metadata));
    model.setLanes(loaded.lanes);
    model.setWaveform(WaveformGenerator::combine(loaded.lanes));
    model.setMode(manyChannels ? PreviewModel::DisplayMode::channels : PreviewModel::DisplayMode::waveform);
    model.setIsLoading(false);
    url = fileURL;
    if (deferred) model.setAnalysisDeferred(true);
    else startAnalysis();
    complete(completion, nullptr);
}

void AudioPreviewController::Impl::startAnalysis() {
    if (!url || analysisTask || model.analysis()) return;
    const QUuid token = generation;
    model.setAnalysisDeferred(false);
    model.setAnalysisProgress(0.0);
    const std::vector<std::string> labels = model.metadata() ? model.metadata()->channelLabels : std::vector<std::string>{};

    auto deliverProgress = [port = port, impl = this, weak = std::weak_ptr<const bool>(life), token](double p) {
        port->post([impl, weak, token, p] {
            if (!weak.expired()) impl->analysisProgressed(token, p);
        });
    };
    auto deliverResult = [port = port, impl = this, weak = std::weak_ptr<const bool>(life),
                          token](std::shared_ptr<std::optional<AudioAnalysis>> result, bool cancelled) {
        port->post([impl, weak, token, result, cancelled] {
            if (!weak.expired()) impl->finishAnalysis(token, std::move(*result), cancelled);
        });
    };
    try {
        analysisTask = std::make_unique<WorkerThread>(
            WorkerThread::Priority::utility,
            [fileURL = *url, labels, deliverProgress, deliverResult](const CancellationTest& isCancelled) {
                auto result = std::make_shared<std::optional<AudioAnalysis>>(
                    PreviewLoader::analyze(fileURL, labels, isCancelled, deliverProgress));
                deliverResult(std::move(result), isCancelled());
            });
    } catch (...) {
        deliverResult(std::make_shared<std::optional<AudioAnalysis>>(), false);
    }
}

void AudioPreviewController::Impl::analysisProgressed(const QUuid& token, double progress) {
    // Reports that arrive after the end (or for an older file) are dropped.
    if (generation == token && model.analysisProgress()) model.setAnalysisProgress(progress);
}

void AudioPreviewController::Impl::finishAnalysis(const QUuid& token, std::optional<AudioAnalysis> result,
                                                  bool cancelled) {
    if (generation != token) return;
    analysisTask.reset();
    model.setAnalysisProgress(std::nullopt);
    if (result) model.setAnalysis(std::move(result));
    else if (!cancelled) model.setErrorMessage(tr("Loudness could not be measured for this file."));
}

void AudioPreviewController::Impl::cancelPreview() {
    generation = QUuid::createUuid();
    worker.reset();
    analysisTask.reset();
    model.setAnalysisProgress(std::nullopt);
    playback.stop();
    url.reset();
    model.setIsLoading(false);
}

bool AudioPreviewController::Impl::isMultichannel() const {
    const auto& metadata = model.metadata();
    return metadata && MultichannelPlayer::isFor(*metadata);
}

// ---------------------------------------------------------------------------------------

AudioPreviewController::AudioPreviewController(QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(*this)) {}

AudioPreviewController::~AudioPreviewController() = default;

QWidget* AudioPreviewController::view() { return impl_->loadView(); }

bool AudioPreviewController::isViewLoaded() const { return !impl_->view.isNull(); }

void AudioPreviewController::setOpenFileAction(std::function<void()> action) {
    impl_->openFileAction = std::move(action);
}

void AudioPreviewController::setPlaybackAllowed(bool allowed) { impl_->playbackAllowed = allowed; }

bool AudioPreviewController::playbackAllowed() const { return impl_->playbackAllowed; }

bool AudioPreviewController::hasPlaybackTimer() const { return impl_->playback.hasTimer(); }

void AudioPreviewController::setManualPlaybackOutput(std::optional<OutputFormat> format) {
    impl_->playback.setManualOutput(format);
}

void AudioPreviewController::prepare(const std::filesystem::path& url, std::function<void(std::exception_ptr)> completion) {
    impl_->prepare(url, std::move(completion));
}

void AudioPreviewController::prepareAndWait(const std::filesystem::path& url) {
    struct Wait {
        bool done = false;
        std::exception_ptr error;
        QEventLoop loop;
    };
    auto wait = std::make_shared<Wait>();
    prepare(url, [wait](std::exception_ptr error) {
        wait->done = true;
        wait->error = std::move(error);
        wait->loop.quit();
    });
    // An application quitting ends every loop; the load still ends, so keep turning.
    while (!wait->done) wait->loop.exec();
    if (wait->error) std::rethrow_exception(wait->error);
}

void AudioPreviewController::startAnalysis() { impl_->startAnalysis(); }

void AudioPreviewController::cancelPreview() { impl_->cancelPreview(); }

void AudioPreviewController::seek(double fraction) { impl_->playback.seek(fraction); }

void AudioPreviewController::togglePlayback() {
    if (!impl_->playbackAllowed || !impl_->url) return;
    impl_->playback.toggle(*impl_->url, impl_->isMultichannel());
}

void AudioPreviewController::stopPlayback() { impl_->playback.stop(); }

void AudioPreviewController::viewDidAppear() {}

void AudioPreviewController::viewWillDisappear() { cancelPreview(); }

} // namespace vaun
