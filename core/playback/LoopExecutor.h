#pragma once
// An executor for a thread without an event loop of its own (the command line, tests):
// posted work waits in a queue until that thread runs it.
#include "playback/Executor.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace vaun {

class LoopExecutor final : public Executor {
public:
    void post(std::function<void()> work) override;

    // Runs the work posted so far; returns how many pieces ran.
    std::size_t runPending();
    // Runs posted work as it arrives and `tick` every `interval`, until `done()` holds
    // (checked after every piece of work and every tick).
    void runUntil(const std::function<bool()>& done, std::chrono::milliseconds interval,
                  const std::function<void()>& tick);

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

} // namespace vaun
