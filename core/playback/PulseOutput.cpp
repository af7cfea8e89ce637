#include "playback/PulseOutput.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

namespace vaun {
namespace {

// A server that does not answer within this long is treated as gone.
constexpr double kServerTimeoutSeconds = 5.0;
// Closing a stream on a server that stopped answering gives up sooner: the caller is
// usually on its way out.
constexpr double kCloseTimeoutSeconds = 2.0;
// Short enough for the playhead and meters to feel immediate, long enough to ride out
// scheduling hiccups on a loaded desktop.
constexpr pa_usec_t kTargetLatencyUsec = 50 * PA_USEC_PER_MSEC;

[[noreturn]] void fail(int paError, const std::string& what) {
    throw PulseError(paError, what + ": " + pa_strerror(paError));
}

struct LoopDeleter {
    void operator()(pa_threaded_mainloop* loop) const {
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }
};
using LoopPtr = std::unique_ptr<pa_threaded_mainloop, LoopDeleter>;

class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

// Waits on the locked loop until `done()` holds or `seconds` pass, and returns done().
// The threaded loop has no timed wait, so a timer on the loop itself wakes the waiter.
template <class Done>
bool waitFor(pa_threaded_mainloop* loop, double seconds, Done&& done) {
    if (done()) return true;
    struct Alarm {
        pa_threaded_mainloop* loop;
        bool rang = false;
    } alarm{loop};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(seconds * double(PA_USEC_PER_SEC)));
    pa_time_event* event = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
            auto* a = static_cast<Alarm*>(userdata);
            a->rang = true;
            pa_threaded_mainloop_signal(a->loop, 0);
        },
        &alarm);
    while (!done() && !alarm.rang) pa_threaded_mainloop_wait(loop);
    api->time_free(event);
    return done();
}

std::string secondsText(double seconds) {
    return std::to_string(int(std::lround(seconds))) + " s";
}

struct SinkInfo {
    std::string name;
    pa_sample_spec spec{};
    pa_channel_map map{};
};

// The threaded loop and one READY context on it.
class Connection {
public:
    // Connects to the server named by the environment or client configuration (never
    // starting one); throws PulseError.
    static std::unique_ptr<Connection> open() {
        std::unique_ptr<Connection> c(new Connection());
        c->connect();
        return c;
    }

    ~Connection() {
        if (context_) {
            LoopLock lock(loop());
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        // loop_ stops its thread and frees itself after this.
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    pa_threaded_mainloop* loop() const { return loop_.get(); }
    pa_context* context() const { return context_; }
    // Set once the connection broke after it had been established.
    bool lost() const { return lost_.load(std::memory_order_acquire); }

    // The default sink's name, sample spec and channel map. Lock held by the caller.
    SinkInfo defaultSink() {
        struct ServerQuery {
            pa_threaded_mainloop* loop;
            std::optional<std::string> sinkName;
        } server{loop(), {}};
        await(pa_context_get_server_info(
                  context_,
                  [](pa_context*, const pa_server_info* info, void* userdata) {
                      auto* q = static_cast<ServerQuery*>(userdata);
                      if (info && info->default_sink_name && *info->default_sink_name)
                          q->sinkName = info->default_sink_name;
                  },
                  &server),
              "Cannot query the sound server");
        if (!server.sinkName) fail(PA_ERR_NOENTITY, "The sound server has no default sink");

        struct SinkQuery {
            std::optional<SinkInfo> sink;
        } query;
        await(pa_context_get_sink_info_by_name(
                  context_, server.sinkName->c_str(),
                  [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
                      auto* q = static_cast<SinkQuery*>(userdata);
                      if (eol == 0 && info && !q->sink) q->sink = SinkInfo{info->name, info->sample_spec, info->channel_map};
                  },
                  &query),
              "Cannot read the default sink \"" + *server.sinkName + "\"");
        if (!query.sink) fail(PA_ERR_NOENTITY, "Cannot read the default sink \"" + *server.sinkName + "\"");
        if (!pa_channel_map_valid(&query.sink->map) || query.sink->map.channels != query.sink->spec.channels)
            fail(PA_ERR_NOTSUPPORTED, "The default sink \"" + *server.sinkName + "\" has no usable channel map");
        return *query.sink;
    }

    // Waits (bounded) for an operation to finish. Lock held by the caller. On a timeout the
    // operation is cancelled so its callback can no longer touch the caller's stack.
    void await(pa_operation* op, const std::string& what) {
        if (!op) fail(pa_context_errno(context_), what);
        pa_operation_set_state_callback(
            op, [](pa_operation*, void* userdata) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0); },
            loop());
        const bool finished = waitFor(loop(), kServerTimeoutSeconds, [&] {
            return pa_operation_get_state(op) != PA_OPERATION_RUNNING || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
        });
        const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
        if (!done) pa_operation_cancel(op);
        pa_operation_set_state_callback(op, nullptr, nullptr);
        pa_operation_unref(op);
        if (!finished) fail(PA_ERR_TIMEOUT, what + " (no answer within " + secondsText(kServerTimeoutSeconds) + ")");
        if (!done) fail(errorOr(PA_ERR_CONNECTIONTERMINATED), what);
    }

    // The context's last error, or `fallback` when it recorded none.
    int errorOr(int fallback) const {
        const int err = pa_context_errno(context_);
        return err != PA_OK ? err : fallback;
    }

private:
    Connection() {
        loop_.reset(pa_threaded_mainloop_new());
        if (!loop_) fail(PA_ERR_INTERNAL, "Cannot create the sound server's event loop");
        pa_threaded_mainloop_set_name(loop(), "vaun-pulse");
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop()), "Vaun");
        if (!context_) fail(PA_ERR_INTERNAL, "Cannot create a sound server context");
        pa_context_set_state_callback(context_, &Connection::onState, this);
    }

    void connect() {
        if (pa_threaded_mainloop_start(loop()) < 0) fail(PA_ERR_INTERNAL, "Cannot start the sound server's event loop");
        LoopLock lock(loop());
        const std::string what = "Cannot connect to the sound server";
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) fail(errorOr(PA_ERR_CONNECTIONREFUSED), what);
        const bool settled = waitFor(loop(), kServerTimeoutSeconds, [&] {
            const pa_context_state_t s = pa_context_get_state(context_);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
        if (!settled) fail(PA_ERR_TIMEOUT, what + " (no answer within " + secondsText(kServerTimeoutSeconds) + ")");
        if (pa_context_get_state(context_) != PA_CONTEXT_READY) fail(errorOr(PA_ERR_CONNECTIONREFUSED), what);
        ready_ = true;
    }

    static void onState(pa_context* context, void* userdata) {
        auto* self = static_cast<Connection*>(userdata);
        if (self->ready_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) self->lost_.store(true, std::memory_order_release);
        pa_threaded_mainloop_signal(self->loop(), 0);
    }

    LoopPtr loop_;
    pa_context* context_ = nullptr;
    bool ready_ = false;  // guarded by the loop lock
    std::atomic<bool> lost_{false};
};

class PulseOutput final : public AudioOutput {
public:
    PulseOutput(std::unique_ptr<Connection> connection, SinkInfo sink, std::uint32_t rateHz)
        : connection_(std::move(connection)), sink_(std::move(sink)) {
        spec_.format = PA_SAMPLE_FLOAT32NE;
        spec_.rate = rateHz;
        spec_.channels = sink_.spec.channels;
        frameBytes_ = pa_frame_size(&spec_);
    }

    ~PulseOutput() override {
        LoopLock lock(connection_->loop());
        closeStream();
    }

    OutputFormat format() const override { return {double(spec_.rate), spec_.channels}; }

    void start(Render render) override {
        LoopLock lock(connection_->loop());
        closeStream();
        pa_context* context = connection_->context();
        const std::string what = "Cannot open a playback stream on \"" + sink_.name + "\"";
        if (connection_->lost() || pa_context_get_state(context) != PA_CONTEXT_READY)
            fail(connection_->errorOr(PA_ERR_CONNECTIONTERMINATED), what);

        stream_ = pa_stream_new(context, "Preview", &spec_, &sink_.map);
        if (!stream_) fail(connection_->errorOr(PA_ERR_INTERNAL), what);
        render_ = std::move(render);
        streamFailed_.store(false, std::memory_order_release);
        closing_ = false;
        playedAtStop_ = 0;
        lastPlayed_ = 0;
        pa_stream_set_state_callback(stream_, &PulseOutput::onState, this);
        pa_stream_set_write_callback(stream_, &PulseOutput::onWrite, this);
        pa_stream_set_underflow_callback(stream_, &PulseOutput::onUnderflow, this);

        pa_buffer_attr attr;
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = std::uint32_t(pa_usec_to_bytes(kTargetLatencyUsec, &spec_));
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(-1);
        // DONT_MOVE: the route was chosen for this sink's channel count, so a stream the
        // server would move elsewhere (sink unplugged) fails instead and the owner hears of it.
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                             PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_playback(stream_, sink_.name.c_str(), &attr, flags, nullptr, nullptr) < 0) {
            const int err = connection_->errorOr(PA_ERR_INTERNAL);
            closeStream();
            fail(err, what);
        }
        const bool settled = waitFor(connection_->loop(), kServerTimeoutSeconds, [&] {
            const pa_stream_state_t s = pa_stream_get_state(stream_);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        });
        if (!settled || pa_stream_get_state(stream_) != PA_STREAM_READY) {
            const int err = settled ? connection_->errorOr(PA_ERR_INTERNAL) : PA_ERR_TIMEOUT;
            closeStream();
            // The refusal is reported by the exception; failed() keeps meaning "failed while playing".
            streamFailed_.store(false, std::memory_order_release);
            fail(err, settled ? what : what + " (no answer within " + secondsText(kServerTimeoutSeconds) + ")");
        }
    }

    void stop() override {
        LoopLock lock(connection_->loop());
        closeStream();
    }

    bool isRunning() const override {
        LoopLock lock(connection_->loop());
        return stream_ && !failed();
    }

    std::int64_t framesPlayed() const override {
        LoopLock lock(connection_->loop());
        return stream_ ? playedFrames() : playedAtStop_;
    }

    bool failed() const override {
        return streamFailed_.load(std::memory_order_acquire) || connection_->lost();
    }

    Error failure() const override {
        // The server gone, or the stream failed (its sink removed, the stream killed).
        return PulseError(connection_->lost() ? PA_ERR_CONNECTIONTERMINATED : PA_ERR_NOENTITY,
                          "The audio device stopped or went away.");
    }

    std::int64_t underruns() const override { return underruns_.load(std::memory_order_relaxed); }

private:
    // Frames heard so far on the current stream: the server's playback time, interpolated
    // between timing updates, already net of the sink's latency. Lock held.
    std::int64_t playedFrames() const {
        pa_usec_t usec = 0;
        if (pa_stream_get_time(stream_, &usec) == 0) {
            const auto frames = std::int64_t(double(usec) * double(spec_.rate) / double(PA_USEC_PER_SEC));
            lastPlayed_ = std::max(lastPlayed_, frames);
        }
        return lastPlayed_;
    }

    // Detaches our callbacks first, so render is never called once this returns, then
    // disconnects and waits (bounded) for the server to let go. Lock held.
    void closeStream() {
        if (!stream_) return;
        playedAtStop_ = playedFrames();
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
        closing_ = true;
        if (pa_stream_get_state(stream_) == PA_STREAM_READY && pa_stream_disconnect(stream_) == 0) {
            waitFor(connection_->loop(), kCloseTimeoutSeconds, [&] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)); });
        }
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_unref(stream_);
        stream_ = nullptr;
        render_ = nullptr;
    }

    static void onState(pa_stream* stream, void* userdata) {
        auto* self = static_cast<PulseOutput*>(userdata);
        if (!self->closing_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            self->streamFailed_.store(true, std::memory_order_release);
        pa_threaded_mainloop_signal(self->connection_->loop(), 0);
    }

    // On the loop thread: fills the server's buffers straight from render, in as many
    // pieces as the server hands out. No allocation of our own.
    static void onWrite(pa_stream* stream, std::size_t bytes, void* userdata) {
        auto* self = static_cast<PulseOutput*>(userdata);
        const std::size_t frameBytes = self->frameBytes_;
        while (bytes >= frameBytes) {
            void* data = nullptr;
            std::size_t n = bytes;
            if (pa_stream_begin_write(stream, &data, &n) < 0 || !data) return;
            n -= n % frameBytes;
            if (n == 0) {
                pa_stream_cancel_write(stream);
                return;
            }
            self->fill(static_cast<float*>(data), std::uint32_t(n / frameBytes));
            if (pa_stream_write(stream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
            bytes -= std::min(n, bytes);
        }
    }

    void fill(float* interleaved, std::uint32_t frames) noexcept {
        try {
            if (render_) {
                render_(interleaved, frames);
                return;
            }
        } catch (...) {
            // Nothing may unwind through libpulse; a failing render plays silence.
        }
        std::memset(interleaved, 0, std::size_t(frames) * frameBytes_);
    }

    static void onUnderflow(pa_stream*, void* userdata) {
        static_cast<PulseOutput*>(userdata)->underruns_.fetch_add(1, std::memory_order_relaxed);
    }

    std::unique_ptr<Connection> connection_;
    SinkInfo sink_;
    pa_sample_spec spec_{};
    std::size_t frameBytes_ = 0;

    // Guarded by the loop lock (the loop thread holds it while it runs our callbacks).
    pa_stream* stream_ = nullptr;
    Render render_;
    bool closing_ = false;
    std::int64_t playedAtStop_ = 0;
    mutable std::int64_t lastPlayed_ = 0;

    std::atomic<bool> streamFailed_{false};
    std::atomic<std::int64_t> underruns_{0};
};

} // namespace

bool isServerTimeout(const Error& error) { return error.domain() == PulseError::kDomain && error.code() == PA_ERR_TIMEOUT; }

OutputFormat defaultSinkFormat() {
    const auto connection = Connection::open();
    LoopLock lock(connection->loop());
    const SinkInfo sink = connection->defaultSink();
    return {double(sink.spec.rate), sink.spec.channels};
}

std::unique_ptr<AudioOutput> openPulseOutput(double sampleRateHz) {
    if (!std::isfinite(sampleRateHz) || sampleRateHz < 1 || sampleRateHz > double(PA_RATE_MAX))
        fail(PA_ERR_INVALID, "Cannot play at " + std::to_string(sampleRateHz) + " Hz");
    auto connection = Connection::open();
    SinkInfo sink;
    {
        LoopLock lock(connection->loop());
        sink = connection->defaultSink();
    }
    return std::make_unique<PulseOutput>(std::move(connection), std::move(sink), std::uint32_t(std::lround(sampleRateHz)));
}

} // namespace vaun
