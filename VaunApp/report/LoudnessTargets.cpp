#include "report/LoudnessTargets.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace vaun::report {
namespace {

constexpr std::string_view kMinus = "\u2212";

constexpr std::array<LoudnessTarget, 6> kTargets{{
    {"ebu-r128", false, -230, 5, -10, "LUFS", "\u221223 LUFS \u00b10.5 LU, true peak \u2264 \u22121 dBTP",
     "EBU R 128 (2020); \u00b10.5 LU since its 2014 revision"},
    {"ebu-r128-live", false, -230, 10, -10, "LUFS", "\u221223 LUFS \u00b11 LU, true peak \u2264 \u22121 dBTP",
     "EBU R 128 (2020), EBU Tech 3343 and 3344: \u00b11 LU for live"},
    {"atsc-a85", false, -240, 20, -20, "LKFS", "\u221224 LKFS \u00b12 dB, true peak \u2264 \u22122 dBTP",
     "ATSC A/85:2013 (Recommended Practice)"},
    {"streaming", false, -140, 10, -10, "LUFS", "\u221214 LUFS \u00b11 LU, true peak \u2264 \u22121 dBTP",
     "the large services' practice; AES TD1008 for \u22121 dBTP"},
    {"apple-music", false, -160, 10, -10, "LUFS", "\u221216 LUFS \u00b11 LU, true peak \u2264 \u22121 dBTP",
     "Apple's published Apple Music guidance (Sound Check)"},
    {"none", true, 0, 0, 0, "LUFS", "measure only, every readable file passes", ""},
}};

} // namespace

std::span<const LoudnessTarget> loudnessTargets() { return kTargets; }

const LoudnessTarget* findTarget(std::string_view name) {
    for (const auto& t : kTargets)
        if (t.name == name) return &t;
    return nullptr;
}

const LoudnessTarget& defaultTarget() { return kTargets.back(); }

std::optional<int> tenths(double value) {
    // Far beyond any level in dB; keeps the conversion below in range.
    if (!std::isfinite(value) || std::fabs(value) > 1e6) return std::nullopt;
    // The same text the report prints, read back: the verdict sees what the user sees.
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (r.ec != std::errc()) return std::nullopt;
    int whole = 0;
    const char* p = buffer;
    const bool negative = *p == '-';
    if (negative) ++p;
    const auto w = std::from_chars(p, r.ptr, whole);
    if (w.ec != std::errc() || w.ptr + 2 != r.ptr || *w.ptr != '.') return std::nullopt;
    const int t = whole * 10 + (w.ptr[1] - '0');
    return negative ? -t : t;
}

std::string displayTenths(int t, bool trimWhole) {
    std::string out = t < 0 ? std::string(kMinus) : std::string();
    const int magnitude = std::abs(t);
    out += std::to_string(magnitude / 10);
    if (!trimWhole || magnitude % 10 != 0) {
        out += '.';
        out += char('0' + magnitude % 10);
    }
    return out;
}

Verdict verdict(std::optional<double> integratedLUFS, std::optional<double> truePeakDBTP, const LoudnessTarget& target) {
    Verdict v;
    if (target.measureOnly) return v;
    const std::string unit(target.unit);
    const std::string range = displayTenths(target.integratedTenths, true) + " \u00b1" +
                              displayTenths(target.toleranceTenths, true);
    const auto integrated = integratedLUFS ? tenths(*integratedLUFS) : std::nullopt;
    if (!integrated) {
        v.reasons.push_back("integrated loudness below the gate");
    } else if (*integrated > target.integratedTenths + target.toleranceTenths) {
        v.reasons.push_back("integrated " + displayTenths(*integrated) + " " + unit + " above " + range);
    } else if (*integrated < target.integratedTenths - target.toleranceTenths) {
        v.reasons.push_back("integrated " + displayTenths(*integrated) + " " + unit + " below " + range);
    }
    if (const auto peak = truePeakDBTP ? tenths(*truePeakDBTP) : std::nullopt; peak && *peak > target.truePeakTenths)
        v.reasons.push_back("true peak " + displayTenths(*peak) + " dBTP above " + displayTenths(target.truePeakTenths));
    v.passed = v.reasons.empty();
    return v;
}

} // namespace vaun::report
