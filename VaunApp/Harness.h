#pragma once
// The shape every one-shot harness mode shares: produce one line for standard output, or
// report "<mode> FAIL: <description>" on standard error.
#include <cstdio>
#include <exception>
#include <string>

namespace vaun {

// Prints produce()'s line with a newline and returns 0; on an exception prints
// mode + " FAIL: " + its description and returns 2.
template <typename Produce>
int runHarness(const char* mode, Produce&& produce) {
    try {
        const std::string line = produce() + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s FAIL: %s\n", mode, e.what());
        return 2;
    }
}

} // namespace vaun
