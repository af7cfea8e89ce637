#pragma once
// What a prepare request's completion delivered: how often it ran and with which error.
#include <exception>
#include <functional>

namespace vaun::test {

struct PrepareOutcome {
    int calls = 0;
    std::exception_ptr error;

    bool done() const { return calls > 0; }
    std::function<void(std::exception_ptr)> callback() {
        return [this](std::exception_ptr e) {
            ++calls;
            error = e;
        };
    }
    // The error is an E.
    template <class E>
    bool is() const {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const E&) {
            return true;
        } catch (...) {
        }
        return false;
    }
};

} // namespace vaun::test
