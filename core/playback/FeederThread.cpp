#include "playback/FeederThread.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace vaun {
namespace {

using namespace std::chrono_literals;

// The feeder's pace while the ring is full.
constexpr auto kFullRingWait = 2ms;

} // namespace

struct FeederThread::State {
    struct Command {
        enum Kind { Begin, Halt, Quit } kind;
        std::int64_t frame = 0;
        std::uint64_t segment = 0;
    };
    struct Status {
        std::uint64_t segment = 0;
        std::int64_t written = 0;
        bool ended = false;
    };

    explicit State(std::shared_ptr<Feeder> f) : feeder(std::move(f)) {}

    void send(Command c) {
        {
            std::lock_guard lock(mutex);
            command = c; // a later command replaces one not yet taken
        }
        wake.notify_one();
    }

    std::shared_ptr<Feeder> feeder;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable progress;
    std::optional<Command> command;
    Status status;
    bool exited = false;
};

FeederThread::FeederThread(std::shared_ptr<Feeder> feeder)
    : state_(std::make_shared<State>(std::move(feeder))), thread_([state = state_] { run(state); }) {}

FeederThread::~FeederThread() {
    state_->send({State::Command::Quit});
    std::unique_lock lock(state_->mutex);
    const bool exited = state_->progress.wait_for(lock, kQuitWait, [&] { return state_->exited; });
    lock.unlock();
    if (exited) thread_.join();
    else thread_.detach(); // stuck in a read; it lets go of the feeder when that returns
}

void FeederThread::begin(std::int64_t frame, std::uint64_t segment) { state_->send({State::Command::Begin, frame, segment}); }

void FeederThread::halt() { state_->send({State::Command::Halt}); }

void FeederThread::waitPrimed(std::uint64_t segment, std::int64_t frames, std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    state_->progress.wait_for(lock, timeout, [&] {
        const State::Status& s = state_->status;
        return !state_->command && s.segment == segment && (s.written >= frames || s.ended);
    });
}

void FeederThread::run(const std::shared_ptr<State>& state) {
    Feeder& feeder = *state->feeder;
    Feeder::Progress last = Feeder::Progress::Idle;
    for (;;) {
        std::optional<State::Command> command;
        {
            std::unique_lock lock(state->mutex);
            const auto hasCommand = [&] { return state->command.has_value(); };
            if (last == Feeder::Progress::Idle || last == Feeder::Progress::Ended) state->wake.wait(lock, hasCommand);
            else if (last == Feeder::Progress::Full) state->wake.wait_for(lock, kFullRingWait, hasCommand);
            command = std::exchange(state->command, std::nullopt);
            if (command && command->kind == State::Command::Quit) {
                state->exited = true;
                state->progress.notify_all();
                return;
            }
        }
        if (command) {
            if (command->kind == State::Command::Halt) feeder.halt();
            else feeder.begin(command->frame, command->segment);
        }
        last = feeder.produce();
        {
            std::lock_guard lock(state->mutex);
            state->status = {feeder.segment(), feeder.written(), feeder.ended()};
        }
        state->progress.notify_all();
    }
}

} // namespace vaun
