#include "playback/LoopExecutor.h"

namespace vaun {

void LoopExecutor::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    posted_.notify_one();
}

std::size_t LoopExecutor::runPending() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(queue_);
    }
    for (auto& work : batch) work();
    return batch.size();
}

void LoopExecutor::runUntil(const std::function<bool()>& done, std::chrono::milliseconds interval,
                            const std::function<void()>& tick) {
    auto nextTick = std::chrono::steady_clock::now() + interval;
    while (!done()) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            posted_.wait_until(lock, nextTick, [&] { return !queue_.empty(); });
            if (!queue_.empty()) {
                work = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        if (work) {
            work();
            continue;
        }
        nextTick += interval;
        if (tick) tick();
    }
}

} // namespace vaun
