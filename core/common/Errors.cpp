#include "common/Errors.h"

namespace vaun {

Error::Error(std::string domain, int code, std::string description)
    : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

} // namespace vaun
