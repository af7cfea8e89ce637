#include "InterruptWatch.h"

#include <ctime>

namespace vaun {

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, &previous_);
    // A launcher may have left SIGINT ignored (background jobs of a script), and an ignored
    // signal is dropped before anyone can wait for it.
    struct sigaction taken {};
    taken.sa_handler = SIG_DFL;
    sigemptyset(&taken.sa_mask);
    sigaction(SIGINT, &taken, &previousAction_);
    thread_ = std::thread([this, interrupt, onInterrupt = std::move(onInterrupt)] {
        // Wakes now and then to see whether it should stop.
        const timespec poll{0, 100'000'000};
        while (!stop_.load(std::memory_order_acquire)) {
            if (sigtimedwait(&interrupt, nullptr, &poll) == SIGINT && onInterrupt) onInterrupt();
        }
    });
}

InterruptWatch::~InterruptWatch() {
    stop_.store(true, std::memory_order_release);
    thread_.join();
    // One that came in too late is dropped rather than let through to a default action.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    const timespec now{0, 0};
    while (sigtimedwait(&interrupt, nullptr, &now) == SIGINT) {
    }
    sigaction(SIGINT, &previousAction_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace vaun
