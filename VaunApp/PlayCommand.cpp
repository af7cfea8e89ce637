#include "PlayCommand.h"

#include "Harness.h"
#include "InterruptWatch.h"
#include "MetadataJSON.h"
#include "common/Errors.h"
#include "decode/AudioFile.h"
#include "inspect/MetadataAssembler.h"
#include "playback/LoopExecutor.h"
#include "playback/MultichannelPlayer.h"
#include "playback/SimplePlayer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>

namespace vaun {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Finer than the preview's 0.05 s timer, so a SECONDS limit is met closely.
constexpr auto kTick = 10ms;
// A position that does not move for this long while playing means the device took no audio.
constexpr auto kStallLimit = 5s;

std::string format(const char* pattern, double value) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), pattern, value);
    return text.data();
}

// What the run loop needs of either player.
struct Session {
    std::function<double()> position;
    std::function<bool()> finished;
    std::function<void()> tick;
    std::function<std::optional<std::string>()> failure;
    double duration = 0;
};

// Runs the owner's loop until the end, the limit, Ctrl-C or a failure; returns the seconds
// played. Throws on a failure.
double runSession(LoopExecutor& loop, const bool& interrupted, std::optional<double> seconds, const Session& s) {
    bool ended = false, limited = false;
    std::optional<std::string> failure;
    double lastPosition = -1;
    auto lastMove = Clock::now();
    loop.runUntil([&] { return ended || limited || interrupted || failure; }, kTick, [&] {
        s.tick();
        const double position = s.position();
        ended = s.finished();
        limited = seconds && position >= *seconds;
        failure = s.failure();
        if (position != lastPosition) {
            lastPosition = position;
            lastMove = Clock::now();
        } else if (!ended && Clock::now() - lastMove > kStallLimit) {
            failure = "The audio device took no audio for " + std::to_string(kStallLimit.count()) + " s.";
        }
    });
    if (!failure) failure = s.failure();
    if (failure) throw std::runtime_error(*failure);
    return ended ? s.duration : std::min(s.position(), s.duration);
}

// Plays the session out with either player and fills in what every report carries.
template <typename Player>
void playOut(Player& player, Session& session, PlayReport& report, LoopExecutor& loop, const bool& interrupted,
             std::optional<double> seconds) {
    session.position = [&] { return player.currentTime(); };
    std::optional<std::string> failed;
    player.setOnFailed([&failed](const Error& e) { failed = e.description(); });
    session.failure = [&]() -> std::optional<std::string> {
        if (failed) return failed;
        if (auto f = player.failure()) return f->description();
        return std::nullopt;
    };
    session.duration = player.duration();
    report.playedSeconds = runSession(loop, interrupted, seconds, session);
    player.stop();
    report.underruns = player.underruns();
}

PlayReport playMultichannel(const std::filesystem::path& file, const AudioMetadata& metadata, int channels,
                            std::optional<double> seconds, LoopExecutor& loop, const bool& interrupted) {
    MultichannelPlayer::Options options;
    options.ambisonics = metadata.ambisonics;
    MultichannelPlayer player(file, loop, std::nullopt, std::move(options));
    PlayReport report;
    report.route = player.route().summary();
    report.peaks.assign(std::size_t(channels), -160.0f);
    // Levels come on the player's reporter thread and are handed to this one, as in the preview.
    player.setOnLevels([&loop, peaks = &report.peaks](const std::vector<float>& p, const std::vector<float>&) {
        loop.post([peaks, p] {
            for (std::size_t c = 0; c < peaks->size() && c < p.size(); ++c) (*peaks)[c] = std::max((*peaks)[c], p[c]);
        });
    });
    bool finished = false;
    player.setOnFinished([&finished] { finished = true; });
    player.play(0);
    Session session;
    session.finished = [&] { return finished; };
    session.tick = [] {};
    playOut(player, session, report, loop, interrupted, seconds);
    return report;
}

PlayReport playSimple(const std::filesystem::path& file, std::optional<double> seconds, LoopExecutor& loop,
                      const bool& interrupted) {
    SimplePlayer player(file, loop);
    PlayReport report;
    report.route = player.route().summary();
    report.peaks.assign(std::size_t(player.numberOfChannels()), -160.0f);
    if (!player.prepareToPlay() || !player.play()) throw VaunError(2, "The audio device could not start playback.");
    Session session;
    session.finished = [&] { return !player.isPlaying(); };
    // Also once the end is in: the last readings come with it.
    session.tick = [&] {
        player.updateMeters();
        for (std::size_t c = 0; c < report.peaks.size(); ++c)
            report.peaks[c] = std::max(report.peaks[c], player.peakPower(int(c)));
    };
    playOut(player, session, report, loop, interrupted, seconds);
    return report;
}

} // namespace

std::string playJSON(const PlayReport& report) {
    std::string out = "{\"route\": " + jsonString(report.route) + ", \"played\": " + format("%.3f", report.playedSeconds) +
                      ", \"peak\": [";
    for (std::size_t c = 0; c < report.peaks.size(); ++c) {
        if (c) out += ", ";
        out += format("%.1f", double(report.peaks[c]));
    }
    return out + "], \"underruns\": " + std::to_string(report.underruns) + "}";
}

std::optional<double> parseSeconds(std::string_view text) {
    const auto dot = text.find('.');
    const auto whole = text.substr(0, dot);
    const auto fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    const auto digits = [](std::string_view s) { return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }); };
    if (whole.empty() || !digits(whole) || (dot != std::string_view::npos && (fraction.empty() || !digits(fraction))))
        return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

int playCommand(const std::filesystem::path& file, std::optional<double> seconds) {
    LoopExecutor loop;
    bool interrupted = false;
    InterruptWatch watch([&loop, &interrupted] { loop.post([&interrupted] { interrupted = true; }); });
    return runHarness("play", [&] {
        const auto url = std::filesystem::absolute(file);
        const auto channels = int(AudioFile(url).processingFormat().channelCount);
        // A sound field or an ADM scene needs the spatial player even in one or two channels.
        const AudioMetadata metadata = MetadataAssembler::assemble(url);
        return playJSON(MultichannelPlayer::isFor(metadata)
                            ? playMultichannel(url, metadata, channels, seconds, loop, interrupted)
                            : playSimple(url, seconds, loop, interrupted));
    });
}

} // namespace vaun
