#include "WorkerThread.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>

namespace vaun {
namespace {

// Linux keeps a nice value per thread; lowering one's own needs no privilege.
void lowerPriority() {
    const pid_t self = gettid();
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, id_t(self));
    if (errno == 0) setpriority(PRIO_PROCESS, id_t(self), std::min(current + 10, 19));
}

} // namespace

WorkerThread::WorkerThread(Priority priority, Body body) : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_, priority, body = std::move(body)]() mutable {
        if (priority == Priority::utility) lowerPriority();
        const CancellationTest isCancelled = [state] { return state->cancelled.load(std::memory_order_relaxed); };
        body(isCancelled);
        body = nullptr;
        state->finished.store(true, std::memory_order_release);
    });
}

WorkerThread::~WorkerThread() {
    cancel();
    if (!thread_.joinable()) return;
    if (state_->finished.load(std::memory_order_acquire)) thread_.join();
    else thread_.detach();
}

void WorkerThread::cancel() { state_->cancelled.store(true, std::memory_order_relaxed); }

bool WorkerThread::isCancelled() const { return state_->cancelled.load(std::memory_order_relaxed); }

void MainThreadPort::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (receiver_) QMetaObject::invokeMethod(receiver_, std::move(work), Qt::QueuedConnection);
}

void MainThreadPort::close() {
    std::lock_guard lock(mutex_);
    receiver_ = nullptr;
}

} // namespace vaun
