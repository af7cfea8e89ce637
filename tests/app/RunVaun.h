#pragma once
// Runs the `vaun` program as a user would, capturing its output and status.
#include "TestAudio.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vaun::test {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs vaun with `args` under a time limit and a 1 GiB address-space cap, with its output
// in files under `dir`; a crash, a kill or a hang shows as a status above 100.
inline Outcome runVaun(const std::filesystem::path& dir, const std::vector<std::string>& args, int seconds = 120) {
    std::string cmd = "ulimit -v 1048576; timeout -s KILL " + std::to_string(seconds) + " ";
    cmd += shellQuote(VAUN_BINARY);
    for (const auto& a : args) cmd.append(" ").append(shellQuote(a));
    cmd.append(" >").append(shellQuote((dir / "out").string()));
    cmd.append(" 2>").append(shellQuote((dir / "err").string()));
    Outcome o;
    o.status = run("(" + cmd + ")");
    o.out = slurp(dir / "out");
    o.err = slurp(dir / "err");
    return o;
}

} // namespace vaun::test
