#pragma once
// Hands work from any thread to the thread of a QObject, through its event loop. Work still
// queued when the object is destroyed is dropped with it; posting must end before then (the
// players that post are owned by that object).
#include "playback/Executor.h"

#include <QObject>

namespace vaun {

class QtExecutor final : public Executor {
public:
    explicit QtExecutor(QObject& context) : context_(context) {}
    void post(std::function<void()> work) override;

private:
    QObject& context_;
};

} // namespace vaun
