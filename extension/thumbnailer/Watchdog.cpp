#include "Watchdog.h"

#include <unistd.h>

namespace vaun {

Watchdog::Watchdog(std::chrono::milliseconds limit, int status)
    : thread_([this, deadline = std::chrono::steady_clock::now() + limit, status] { watch(deadline, status); }) {}

Watchdog::~Watchdog() {
    disarm();
    thread_.join();
}

void Watchdog::guard(const std::filesystem::path& path) {
    const std::lock_guard lock(mutex_);
    partial_ = path;
}

void Watchdog::disarm() {
    {
        const std::lock_guard lock(mutex_);
        disarmed_ = true;
    }
    changed_.notify_all();
}

void Watchdog::watch(std::chrono::steady_clock::time_point deadline, int status) {
    std::unique_lock lock(mutex_);
    if (changed_.wait_until(lock, deadline, [this] { return disarmed_; })) return;
    // Holding the lock, a finished write cannot be disarmed meanwhile: the outcome is either
    // a whole file and success, or no file and `status`.
    if (partial_) ::unlink(partial_->c_str());
    static constexpr char message[] = "vaun-thumbnailer: timed out\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(status);
}

} // namespace vaun
