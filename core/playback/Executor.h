#pragma once
// Hands work over to the owner's thread. The core knows no event loop: the user interface
// supplies one backed by its own, the command line one backed by a simple loop.
#include <functional>

namespace vaun {

class Executor {
public:
    virtual ~Executor() = default;
    // Runs `work` later on the owner's thread. Callable from any thread; never blocks long.
    virtual void post(std::function<void()> work) = 0;
};

} // namespace vaun
