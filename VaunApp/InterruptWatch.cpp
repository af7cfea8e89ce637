#include "InterruptWatch.h"

#include <pthread.h>

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
        for (;;) {
            int signal = 0;
            if (sigwait(&interrupt, &signal) != 0) return;
            if (stop_.load(std::memory_order_acquire)) return;
            if (onInterrupt) onInterrupt();
        }
    });
}

InterruptWatch::~InterruptWatch() {
    // The watcher is woken by a signal of its own rather than polled, so a command's
    // exit does not wait for its next wake.
    stop_.store(true, std::memory_order_release);
    pthread_kill(thread_.native_handle(), SIGINT);
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
