#pragma once
// Ctrl-C for a command that must finish cleanly: SIGINT is blocked in the calling thread
// (and so in every thread it starts afterwards) and taken by a thread of its own, which
// calls back there. No work happens in a signal handler.
#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace vaun {

class InterruptWatch {
public:
    // Make it before any other thread, so they all inherit the blocked signal.
    explicit InterruptWatch(std::function<void()> onInterrupt);
    // Stops watching, drops an interrupt that came too late and restores the signal's
    // handling.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    sigset_t previous_{};
    struct sigaction previousAction_ {};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace vaun
