#pragma once
// One line of a loudness report and its two written forms: CSV (a header line, RFC 4180
// quoting) and JSON lines. Numbers are written without the locale's help.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaun::report {

enum class Outcome { pass, fail, unreadable };

struct ReportRow {
    std::string path;
    std::optional<std::string> container;
    std::optional<std::string> codec;
    std::optional<int> channels;
    std::optional<std::int64_t> sampleRate;
    std::optional<double> duration;
    std::optional<double> integrated;
    std::optional<double> lra;
    std::optional<double> truePeak;
    std::optional<double> samplePeak;
    std::optional<double> maxMomentary;
    std::optional<double> maxShortTerm;
    Outcome verdict = Outcome::unreadable;
    std::vector<std::string> reasons;
    std::optional<std::string> error;
};

const char* verdictName(Outcome verdict);

// Header and rows each end with "\n".
std::string csvHeader();
std::string csvLine(const ReportRow& row);
std::string jsonLine(const ReportRow& row);

// A field quoted when it holds a comma, a double quote, CR or LF, its quotes doubled.
std::string csvField(const std::string& text);

} // namespace vaun::report
