#pragma once
// A hard time limit for the whole process. Decoding a hostile file can hang inside the
// decoder or in a blocking read, where no cancellation poll is ever reached, so the limit
// ends the process from a thread of its own.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

namespace vaun {

class Watchdog {
public:
    // When `limit` passes before disarm(), removes the file being written (if any) and ends
    // the process at once with `status`.
    Watchdog(std::chrono::milliseconds limit, int status);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // `path` is being written: a time-out removes it, so no half-written file is left.
    void guard(const std::filesystem::path& path);
    // Stops the clock; the process then ends on its own terms.
    void disarm();

private:
    void watch(std::chrono::steady_clock::time_point deadline, int status);

    std::mutex mutex_;
    std::condition_variable changed_;
    bool disarmed_ = false;
    std::optional<std::filesystem::path> partial_;
    std::thread thread_;
};

} // namespace vaun
