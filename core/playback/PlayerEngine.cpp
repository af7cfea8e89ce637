#include "playback/PlayerEngine.h"

#include "decode/AudioFile.h"
#include "playback/OutputChoice.h"
#include "playback/PulseOutput.h"

#include <algorithm>

namespace vaun {

PlayerEngine::PlayerEngine(const std::filesystem::path& url, Executor& executor, std::optional<OutputFormat> manualOutput,
                           ChooseRoute chooseRoute, LevelsCallback levels)
    : url_(url),
      executor_(executor),
      manualFormat_(std::move(manualOutput)),
      chooseRoute_(std::move(chooseRoute)),
      levels_(std::move(levels)),
      shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    engine_ = open();
}

PlayerEngine::~PlayerEngine() = default;

// Opens the file and the output afresh; members change only once all of it succeeded.
std::unique_ptr<PlaybackEngine> PlayerEngine::open() {
    AudioFile file(url_);
    const AudioFormat format = file.processingFormat();
    const std::int64_t length = std::max<std::int64_t>(file.length(), 0);
    ChosenOutput chosen = chooseOutput(format.sampleRateHz, manualFormat_);
    PlaybackRoute route;
    auto renderer = chooseRoute_(format, chosen.output->format().channelCount, route);

    PlaybackEngine::Callbacks callbacks;
    callbacks.levels = levels_;
    // Reports go to the owner's thread and count only for the current segment while it plays;
    // they hold the shared state weakly, and it lives exactly as long as this object.
    const std::weak_ptr<Shared> weak = shared_;
    Executor& executor = executor_;
    const auto current = [](const std::weak_ptr<Shared>& w, std::uint64_t segment) -> PlayerEngine* {
        const auto s = w.lock();
        return s && s->token == segment && s->playing ? s->owner : nullptr;
    };
    callbacks.segmentEnded = [&executor, weak, current](std::uint64_t segment) {
        executor.post([weak, segment, current] {
            if (PlayerEngine* self = current(weak, segment)) self->ended();
        });
    };
    callbacks.failed = [&executor, weak, current](std::uint64_t segment, const Error& error) {
        executor.post([weak, segment, error, current] {
            if (PlayerEngine* self = current(weak, segment)) self->failed(error);
        });
    };
    auto engine = std::make_unique<PlaybackEngine>(std::move(file), std::move(renderer), std::move(chosen.output),
                                                   chosen.manual ? PlaybackEngine::Mode::Manual : PlaybackEngine::Mode::RealTime,
                                                   std::move(callbacks));
    format_ = format;
    length_ = length;
    route_ = std::move(route);
    manual_ = chosen.manual;
    return engine;
}

void PlayerEngine::reopen() {
    auto fresh = open();
    engine_ = std::move(fresh);
    needsReopen_ = false;
    lastFailure_.reset();
}

bool PlayerEngine::prepare() {
    if (!needsReopen_) return !engine_->output().failed();
    try {
        reopen();
    } catch (const Error& e) {
        lastFailure_ = e;
        return false;
    } catch (const std::exception& e) {
        lastFailure_ = Error("VaunPlayback", 2, e.what());
        return false;
    }
    return true;
}

void PlayerEngine::play(std::int64_t frame) {
    const std::uint64_t token = ++shared_->token;
    position_ = frame;
    bool fresh = false;
    if (needsReopen_) {
        shared_->playing = false;
        reopen();
        fresh = true;
    }
    try {
        engine_->start(frame, token);
    } catch (const Error& e) {
        // A device that went away while we were stopped refuses the start: try the one there now.
        if (fresh || manual_ || isServerTimeout(e)) throw;
        shared_->playing = false;
        reopen();
        engine_->start(frame, token);
    }
    shared_->playing = true;
}

std::int64_t PlayerEngine::stop() {
    ++shared_->token;
    if (shared_->playing) position_ = engine_->halt();
    else engine_->halt();
    shared_->playing = false;
    return position_;
}

std::int64_t PlayerEngine::positionFrames() const { return shared_->playing ? engine_->positionFrames() : position_; }

std::int64_t PlayerEngine::underruns() const { return engine_->underruns(); }

std::optional<Error> PlayerEngine::failure() const {
    if (lastFailure_) return lastFailure_;
    return engine_->failure();
}

void PlayerEngine::ended() {
    ++shared_->token;
    shared_->playing = false;
    engine_->halt();
    position_ = length_;
    if (onEnded) onEnded();
}

void PlayerEngine::failed(const Error& error) {
    ++shared_->token;
    shared_->playing = false;
    position_ = engine_->halt();
    needsReopen_ = true;
    lastFailure_ = error;
    if (onFailed) onFailed(error);
}

} // namespace vaun
