#pragma once
// `vaun --report`: loudness and peaks of every audio file of a delivery, measured in
// parallel, one row per file in path order, checked against a named target.
#include <string>
#include <vector>

namespace vaun::report {

// `arguments` are those after the program name without "--report". Returns the exit
// status: 0 all passed, 1 any failed or unreadable, 2 usage error, 130 interrupted.
int reportCommand(const std::vector<std::string>& arguments);

// The text of `vaun --report --help`, targets and their sources included.
std::string reportUsage();

} // namespace vaun::report
