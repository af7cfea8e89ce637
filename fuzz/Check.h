#pragma once
// A failed invariant in a fuzz target must stop the run like any sanitizer finding.
#include "inspect/UTF8.h"

#include <string>

namespace vaun::fuzz {

inline void require(bool holds) {
    if (!holds) __builtin_trap();
}

inline bool isUTF8(const std::string& text) {
    return utf8::isValid(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

} // namespace vaun::fuzz
