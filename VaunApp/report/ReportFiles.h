#pragma once
// Which files a loudness report covers: the paths given and the audio files under the
// folders given, recursively, links followed and loops not.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vaun::report {

struct FoundFile {
    std::filesystem::path path; // absolute, as found under its argument
    std::string error;          // set when the path cannot be read at all
};

struct ReportFiles {
    std::vector<FoundFile> files; // sorted by path, each path once
    std::int64_t skipped = 0;     // files in folders that are no audio, special files, repeated folders
};

// Audio is what the type probe takes for supported audio, by extension or by content. A
// path given explicitly that is missing or unreadable is kept with its error; one that is
// no audio is skipped like any other. Throws CancellationError when cancelled.
ReportFiles collectReportFiles(const std::vector<std::filesystem::path>& arguments,
                               const std::function<bool()>& isCancelled);

// Lines of a list file ("-" for standard input), one path each; empty lines ignored.
// Throws SystemError when the list cannot be read.
std::vector<std::filesystem::path> readFileList(const std::string& list);

// Absolute, without "." components or doubled separators; ".." is kept, since a link may
// lie before it.
std::filesystem::path absoluteClean(const std::filesystem::path& path);

} // namespace vaun::report
