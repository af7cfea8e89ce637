#pragma once
// The delivery targets a loudness report checks against, and the verdict on one file's
// measurements. Values are held and compared in integer tenths, as a meter shows them, so
// a reading exactly on a tolerance's edge is decided exactly.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vaun::report {

struct LoudnessTarget {
    std::string_view name;
    bool measureOnly = false;
    int integratedTenths = 0; // −230 for −23.0
    int toleranceTenths = 0;  // 5 for ±0.5
    int truePeakTenths = 0;   // highest true peak that passes
    std::string_view unit;    // "LUFS", or "LKFS" where the document says so
    std::string_view summary; // "−23 LUFS ±0.5 LU, true peak ≤ −1 dBTP"
    std::string_view source;  // the documents the values come from
};

// ebu-r128, ebu-r128-live, atsc-a85, streaming, apple-music, none.
std::span<const LoudnessTarget> loudnessTargets();
const LoudnessTarget* findTarget(std::string_view name);
const LoudnessTarget& defaultTarget(); // none

// A value rounded to one decimal as the report prints it, in tenths; absent for NaN and
// infinities and for magnitudes beyond any level.
std::optional<int> tenths(double value);
// "−23.4" with the minus sign U+2212; "−23" rather than "−23.0" when `trimWhole`.
std::string displayTenths(int tenths, bool trimWhole = false);

struct Verdict {
    bool passed = true;
    std::vector<std::string> reasons;
};

// Passes when the rounded integrated loudness lies within the tolerance (edges included)
// and the rounded true peak does not exceed the limit; an absent integrated loudness
// (below the gate) fails, an absent true peak (digital silence) does not.
Verdict verdict(std::optional<double> integratedLUFS, std::optional<double> truePeakDBTP, const LoudnessTarget& target);

} // namespace vaun::report
