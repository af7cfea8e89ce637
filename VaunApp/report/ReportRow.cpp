#include "report/ReportRow.h"

#include "MetadataJSON.h"

#include <charconv>
#include <cmath>

namespace vaun::report {
namespace {

constexpr const char* kFields[] = {"path",         "container", "codec",      "channels", "sampleRate",
                                   "duration",     "integrated", "lra",       "truePeak", "samplePeak",
                                   "maxMomentary", "maxShortTerm", "verdict", "reasons",  "error"};

// Fixed decimals with '.', whatever the locale; empty for an absent or non-finite value.
std::string fixed(const std::optional<double>& value, int decimals) {
    if (!value || !std::isfinite(*value)) return {};
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return {};
    std::string out(buffer, r.ptr);
    if (out.starts_with("-") && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1); // no "-0.0"
    return out;
}

template <typename Int>
std::string integer(const std::optional<Int>& value) {
    return value ? std::to_string(*value) : std::string();
}

// The fields in order, as text; `isNumber` says which are bare numbers in JSON.
struct Cell {
    std::string text;
    bool present = false;
    bool isNumber = false;
};

std::vector<Cell> cells(const ReportRow& row) {
    const auto text = [](const std::optional<std::string>& s) { return Cell{s.value_or(""), bool(s), false}; };
    const auto number = [](std::string s) {
        const bool present = !s.empty();
        return Cell{std::move(s), present, true};
    };
    return {Cell{row.path, true, false},
            text(row.container),
            text(row.codec),
            number(integer(row.channels)),
            number(integer(row.sampleRate)),
            number(fixed(row.duration, 3)),
            number(fixed(row.integrated, 1)),
            number(fixed(row.lra, 1)),
            number(fixed(row.truePeak, 1)),
            number(fixed(row.samplePeak, 1)),
            number(fixed(row.maxMomentary, 1)),
            number(fixed(row.maxShortTerm, 1)),
            Cell{verdictName(row.verdict), true, false}};
}

} // namespace

const char* verdictName(Outcome verdict) {
    switch (verdict) {
    case Outcome::pass: return "pass";
    case Outcome::fail: return "fail";
    case Outcome::unreadable: break;
    }
    return "unreadable";
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csvHeader() {
    std::string out;
    for (const char* name : kFields) {
        if (!out.empty()) out += ',';
        out += name;
    }
    return out + "\n";
}

std::string csvLine(const ReportRow& row) {
    std::string out;
    bool first = true;
    for (const auto& c : cells(row)) {
        if (!first) out += ',';
        first = false;
        out += csvField(c.text);
    }
    std::string reasons;
    for (const auto& r : row.reasons) {
        if (!reasons.empty()) reasons += "; ";
        reasons += r;
    }
    out += ',';
    out += csvField(reasons);
    out += ',';
    out += csvField(row.error.value_or(""));
    return out + "\n";
}

std::string jsonLine(const ReportRow& row) {
    std::string out = "{";
    const auto all = cells(row);
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i) out += ", ";
        out += jsonString(kFields[i]) + ": ";
        out += !all[i].present ? "null" : all[i].isNumber ? all[i].text : jsonString(all[i].text);
    }
    out += ", \"reasons\": [";
    for (std::size_t i = 0; i < row.reasons.size(); ++i) {
        if (i) out += ", ";
        out += jsonString(row.reasons[i]);
    }
    out += "], \"error\": " + (row.error ? jsonString(*row.error) : std::string("null"));
    return out + "}\n";
}

} // namespace vaun::report
