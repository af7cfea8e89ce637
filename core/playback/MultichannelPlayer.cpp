#include "playback/MultichannelPlayer.h"

#include "common/Errors.h"
#include "playback/ADMScene.h"
#include "playback/BinauralRenderer.h"
#include "playback/FrameTime.h"
#include "playback/PlayerEngine.h"
#include "playback/SceneRenderer.h"

#include <mutex>

namespace vaun {

// The owner's level callback, set from the owner's thread and called on the reporter's.
struct MultichannelPlayer::LevelSink {
    std::mutex mutex;
    LevelsCallback callback;

    void deliver(const std::vector<float>& peaks, const std::vector<float>& averages) {
        LevelsCallback f;
        {
            std::lock_guard lock(mutex);
            f = callback;
        }
        if (f) f(peaks, averages);
    }
};

namespace {

// A file whose ADM metadata cannot be read plays as a speaker bed, as any other.
std::optional<ADMScene> admSceneOf(const std::filesystem::path& url, int channels) {
    try {
        const auto model = ADMModel::read(url);
        return model ? admScene(*model, channels) : std::nullopt;
    } catch (const Error&) {
        return std::nullopt;
    }
}

AmbisonicFormat formatOf(const AmbisonicLayout& layout) {
    AmbisonicFormat format;
    format.order = layout.order;
    format.normalization = layout.normalization == "N3D"    ? AmbisonicFormat::Normalization::N3D
                           : layout.normalization == "FuMa" ? AmbisonicFormat::Normalization::FuMa
                                                            : AmbisonicFormat::Normalization::SN3D;
    format.ordering = layout.fumaOrder ? AmbisonicFormat::Ordering::FuMa : AmbisonicFormat::Ordering::ACN;
    return format;
}

} // namespace

MultichannelPlayer::Options::Options() : hrtfFile(defaultHrtfPath()) {}

MultichannelPlayer::MultichannelPlayer(const std::filesystem::path& url, Executor& executor,
                                       std::optional<OutputFormat> manualOutput, Options options)
    : levels_(std::make_shared<LevelSink>()) {
    // Too few outputs: an ADM master's own positions, else the speaker bed, for headphones;
    // enough: channel i to output i.
    auto scene = std::make_shared<std::optional<std::optional<ADMScene>>>(); // read once, when first needed
    auto chooseRoute = [hrtf = options.hrtfFile, ambisonics = options.ambisonics, url,
                        scene](const AudioFormat& format, std::uint32_t devices,
                               PlaybackRoute& route) -> std::unique_ptr<RouteRenderer> {
        const auto channels = format.channelCount;
        if (!*scene) *scene = admSceneOf(url, int(channels));
        if (const auto& adm = **scene; adm && (devices < channels || adm->spatialOnly)) {
            auto renderer = std::make_unique<SceneRenderer>(adm->tracks, adm->fields, format.sampleRateHz, devices, hrtf);
            route = Route::binaural("ADM \u00B7 " + adm->content, hrtfDisplayName(hrtf));
            return renderer;
        }
        const auto field = ambisonics ? ambisonics : Ambisonics::fromLayout(format.channelLayout, int(channels));
        if (field && AmbisonicFormat::channelsFor(field->order) == int(channels)) {
            auto renderer = std::make_unique<SceneRenderer>(
                SceneRenderer::soundField(formatOf(*field), format.sampleRateHz, devices, hrtf));
            route = Route::binaural("Ambisonics order " + std::to_string(field->order), hrtfDisplayName(hrtf));
            return renderer;
        }
        if (devices < channels) {
            const auto bed = bedLayout(int(channels), format.channelLayout);
            if (!bed) throw noSpeakerLayout(int(channels));
            auto renderer = std::make_unique<BinauralRenderer>(*bed, format.sampleRateHz, devices, hrtf);
            route = Route::binaural(bed->name, hrtfDisplayName(hrtf));
            return renderer;
        }
        route = Route::discrete(int(channels), int(devices));
        return std::make_unique<DirectRenderer>(DirectRenderer::inOrder(channels, devices));
    };
    auto levels = [sink = levels_](const std::vector<float>& peaks, const std::vector<float>& averages) {
        sink->deliver(peaks, averages);
    };
    engine_ = std::make_unique<PlayerEngine>(url, executor, manualOutput, std::move(chooseRoute), std::move(levels));
    rate_ = engine_->fileFormat().sampleRateHz;
    length_ = engine_->lengthFrames();
    duration_ = rate_ > 0 ? double(length_) / rate_ : 0.0;
}

MultichannelPlayer::~MultichannelPlayer() = default;

bool MultichannelPlayer::isFor(const AudioMetadata& m) {
    if (m.channels.value_or(0) > 2 || m.ambisonics) return true;
    const std::string content = m.admContent.value_or("");
    return m.isADM && (content.find("object") != std::string::npos || content.find("HOA") != std::string::npos);
}

void MultichannelPlayer::play(double fromSeconds) { engine_->play(frameAtSeconds(fromSeconds, rate_, length_ - 1)); }

double MultichannelPlayer::pause() {
    const double t = currentTime();
    engine_->stop();
    engine_->setPosition(frameAtSeconds(t, rate_, length_));
    return t;
}

void MultichannelPlayer::stop() { engine_->stop(); }

double MultichannelPlayer::currentTime() const { return secondsForFrame(engine_->positionFrames(), rate_); }

const MultichannelPlayer::Route& MultichannelPlayer::route() const { return engine_->route(); }

bool MultichannelPlayer::isPlaying() const { return engine_->isPlaying(); }

void MultichannelPlayer::setOnLevels(LevelsCallback callback) {
    std::lock_guard lock(levels_->mutex);
    levels_->callback = std::move(callback);
}

void MultichannelPlayer::setOnFinished(std::function<void()> callback) { engine_->onEnded = std::move(callback); }

void MultichannelPlayer::setOnFailed(std::function<void(const Error&)> callback) { engine_->onFailed = std::move(callback); }

std::int64_t MultichannelPlayer::underruns() const { return engine_->underruns(); }

std::optional<Error> MultichannelPlayer::failure() const { return engine_->failure(); }

ManualOutput* MultichannelPlayer::manualOutput() { return engine_->manualOutput(); }

} // namespace vaun
