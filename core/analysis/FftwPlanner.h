#pragma once
// FFTW's planner keeps global state: plan creation and destruction anywhere in the
// process must hold this lock. Executing a finished plan needs no lock.
#include <mutex>

namespace vaun {

inline std::mutex& fftwPlannerMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace vaun
