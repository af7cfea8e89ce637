#pragma once
// Background threads for the preview and the way back from them to the UI thread.
//
// A WorkerThread is never waited for by its owner while it may still be busy: dropping the
// handle cancels it and lets it run out on its own (it shares nothing with the owner but its
// own state and what its body captured), so the UI thread never blocks on file I/O or
// decoding. Results go back through a MainThreadPort, which the owner closes before it goes.
#include "common/Errors.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vaun {

class WorkerThread {
public:
    // userInitiated: the user waits for it; utility: may take long, yields to everything else.
    enum class Priority { userInitiated, utility };
    using Body = std::function<void(const CancellationTest& isCancelled)>;

    WorkerThread(Priority priority, Body body);
    // Cancels; joins only a thread that has already finished, else lets it finish alone.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void cancel();
    bool isCancelled() const;

private:
    struct State {
        std::atomic<bool> cancelled{false};
        std::atomic<bool> finished{false};
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// Queues work on a QObject's thread from any thread, until closed.
class MainThreadPort {
public:
    explicit MainThreadPort(QObject& receiver) : receiver_(&receiver) {}
    // Dropped once the port is closed; what was queued before is dropped with the receiver.
    void post(std::function<void()> work);
    // On the receiver's thread, before the receiver goes.
    void close();

private:
    std::mutex mutex_;
    QObject* receiver_;
};

} // namespace vaun
