#include "inspect/Timecode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vaun {
namespace {

std::int64_t nominalFrames(Timecode::Rate rate) {
    return (rate.numerator + rate.denominator / 2) / rate.denominator;
}

// Drop-frame counting exists for the NTSC rates only: 30000/1001 and its multiples.
bool canDropFrames(Timecode::Rate rate) {
    return rate.denominator == 1001 && rate.numerator % 30000 == 0;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

std::optional<Timecode::Rate> exactRate(double fps) {
    if (!std::isfinite(fps) || fps < 1 || fps > 1000) return std::nullopt;
    const double whole = std::round(fps);
    if (std::abs(fps - whole) < 0.005) return Timecode::Rate{std::int64_t(whole), 1};
    // 23.976 is 24 × 1000/1001, 29.97 is 30 × 1000/1001.
    const double ntsc = std::round(fps * 1.001);
    if (std::abs(fps - ntsc * 1000 / 1001) < 0.01) return Timecode::Rate{std::int64_t(ntsc) * 1000, 1001};
    return std::nullopt;
}

} // namespace

std::optional<Timecode> Timecode::make(std::uint64_t startSamples, double sampleRateHz, Rate rate, bool dropFrame) {
    if (!std::isfinite(sampleRateHz) || sampleRateHz < 1 || sampleRateHz > 1e7 || rate.denominator <= 0 ||
        rate.numerator <= 0 || double(rate.numerator) > 1000.0 * double(rate.denominator))
        return std::nullopt;
    return Timecode{startSamples, sampleRateHz, rate, dropFrame && canDropFrames(rate)};
}

std::string Timecode::text(double secondsIn) const {
    const auto rateHz = static_cast<std::uint64_t>(std::llround(sampleRateHz));
    if (rateHz == 0 || rate.numerator <= 0 || rate.denominator <= 0) return {};
    const std::int64_t fps = nominalFrames(rate);
    // Frame numbers 0 and 1 (0-3 at 59.94) are left out at each minute but every tenth.
    const std::int64_t drop = dropFrame ? fps / 15 : 0;
    const std::int64_t perTenMinutes = fps * 600 - 9 * drop;
    const auto perDay = static_cast<std::uint64_t>(perTenMinutes * 144);

    const double offset = std::isfinite(secondsIn) && secondsIn > 0 ? std::floor(secondsIn * sampleRateHz) : 0;
    const std::uint64_t extra = offset < 1.8e19 ? static_cast<std::uint64_t>(offset) : 0;
    const std::uint64_t samples = startSamples + std::min(extra, UINT64_MAX - startSamples);
    // Frames elapsed at the real rate, samples × num / (rate × den), taken modulo a day's
    // frames in pieces that cannot overflow; timecode then names them at the nominal rate.
    const auto num = static_cast<std::uint64_t>(rate.numerator), den = static_cast<std::uint64_t>(rate.denominator);
    const std::uint64_t unit = rateHz * den;
    const std::uint64_t whole = (samples / unit) % perDay * (num % perDay) % perDay;
    const std::uint64_t f = (whole + (samples % unit) * num / unit) % perDay;

    std::int64_t counted = static_cast<std::int64_t>(f);
    if (drop > 0) {
        const std::int64_t perMinute = fps * 60 - drop;
        const std::int64_t tens = counted / perTenMinutes, rest = counted % perTenMinutes;
        counted += 9 * drop * tens + (rest > drop ? drop * ((rest - drop) / perMinute) : 0);
    }
    const std::int64_t seconds = counted / fps;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld%c%02lld", static_cast<long long>(seconds / 3600 % 100),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60), drop > 0 ? ';' : ':',
                  static_cast<long long>(counted % fps));
    return buffer;
}

std::string Timecode::rateText() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", double(rate.numerator) / double(rate.denominator));
    std::string text = buffer;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
}

std::string Timecode::summary() const {
    return text() + " \xC2\xB7 " + rateText() + " fps " + (dropFrame ? "DF" : "ND");
}

std::optional<Timecode::ParsedRate> Timecode::parseRate(std::string_view text) {
    text = trimmed(text);
    ParsedRate parsed;
    // The recorder's flag trails the number: "-ND", "ND", " NDF", "DF".
    for (const auto& [suffix, drop] : {std::pair{"NDF", false}, {"ND", false}, {"DF", true}}) {
        const std::string_view s = suffix;
        if (text.size() > s.size() && text.substr(text.size() - s.size()) == s) {
            parsed.dropFrame = drop;
            text = trimmed(text.substr(0, text.size() - s.size()));
            if (!text.empty() && text.back() == '-') text.remove_suffix(1);
            break;
        }
    }
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        std::int64_t num = 0, den = 0;
        const std::string_view a = trimmed(text.substr(0, slash)), b = trimmed(text.substr(slash + 1));
        if (std::from_chars(a.data(), a.data() + a.size(), num).ptr != a.data() + a.size() ||
            std::from_chars(b.data(), b.data() + b.size(), den).ptr != b.data() + b.size() || num <= 0 || den <= 0 ||
            num > 1000 * den)
            return std::nullopt;
        // Only the rates timecode runs at: whole numbers and their NTSC (1000/1001) forms.
        const auto r = exactRate(double(num) / double(den));
        if (!r) return std::nullopt;
        parsed.rate = *r;
        return parsed;
    }
    double fps = 0;
    if (text.empty() || std::from_chars(text.data(), text.data() + text.size(), fps).ptr != text.data() + text.size())
        return std::nullopt;
    const auto rate = exactRate(fps);
    if (!rate) return std::nullopt;
    parsed.rate = *rate;
    return parsed;
}

} // namespace vaun
