#pragma once
// Errors are exceptions. Our own carry a domain, a numeric code and a description;
// cancellation is a separate type so callers can tell it apart from every failure.
#include <exception>
#include <functional>
#include <string>

namespace vaun {

class Error : public std::exception {
public:
    Error(std::string domain, int code, std::string description);

    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string domain_;
    int code_;
    std::string description_;
};

// Errors of the system's own making: domain "Vaun".
class VaunError : public Error {
public:
    static constexpr const char* kDomain = "Vaun";
    VaunError(int code, std::string description) : Error(kDomain, code, std::move(description)) {}
};

// Failures reported by FFmpeg: domain "FFmpeg", code is the AVERROR value and the
// description carries FFmpeg's own message.
class DecoderError : public Error {
public:
    static constexpr const char* kDomain = "FFmpeg";
    DecoderError(int averror, std::string description) : Error(kDomain, averror, std::move(description)) {}
};

// Operating-system failures: domain "POSIX", code is errno.
class SystemError : public Error {
public:
    static constexpr const char* kDomain = "POSIX";
    SystemError(int err, std::string description) : Error(kDomain, err, std::move(description)) {}
};

class CancellationError : public std::exception {
public:
    const char* what() const noexcept override { return "Cancelled"; }
};

// Polled between blocks by long operations; true means stop with CancellationError.
using CancellationTest = std::function<bool()>;

inline CancellationTest neverCancelled() {
    return [] { return false; };
}

inline void throwIfCancelled(const CancellationTest& isCancelled) {
    if (isCancelled && isCancelled()) throw CancellationError();
}

} // namespace vaun
