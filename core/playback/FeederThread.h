#pragma once
// Runs a feeder on a thread of its own, taking commands from the owner's thread. The owner
// never waits on the feeder for long: a read can hang on a stuck file system, so halting does
// not wait for the current step, and on destruction the thread, if it does not end at once,
// is left to finish that step alone. It shares ownership of the feeder (and, through it,
// of everything the feeder writes to), so nothing it touches goes away under it.
#include "playback/Feeder.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

namespace vaun {

class FeederThread {
public:
    explicit FeederThread(std::shared_ptr<Feeder> feeder);
    ~FeederThread();
    FeederThread(const FeederThread&) = delete;
    FeederThread& operator=(const FeederThread&) = delete;

    void begin(std::int64_t frame, std::uint64_t segment);
    // Asks the feeder to stop writing; returns at once.
    void halt();
    // Waits (at most `timeout`) until segment `segment` has `frames` frames in the ring or has
    // ended.
    void waitPrimed(std::uint64_t segment, std::int64_t frames, std::chrono::milliseconds timeout);

    // How long destruction waits for the thread before leaving it to end alone.
    static constexpr std::chrono::milliseconds kQuitWait{50};

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace vaun
