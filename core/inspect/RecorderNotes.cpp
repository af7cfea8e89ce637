#include "inspect/RecorderNotes.h"

#include <algorithm>
#include <charconv>

namespace vaun {
namespace {

constexpr int kMaxChannel = 1024;

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isKeyChar(char c) { return isUpper(c) || isLower(c) || (c >= '0' && c <= '9') || c == '_'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<int> channelAfter(std::string_view key, std::string_view prefix) {
    if (!key.starts_with(prefix) || key.size() == prefix.size()) return std::nullopt;
    int channel = 0;
    const char* end = key.data() + key.size();
    if (std::from_chars(key.data() + prefix.size(), end, channel).ptr != end || channel < 1 || channel > kMaxChannel)
        return std::nullopt;
    return channel;
}

} // namespace

RecorderNotes RecorderNotes::parse(std::string_view description) {
    RecorderNotes notes;
    bool other = false;
    while (!description.empty()) {
        const std::size_t end = std::min(description.find_first_of("\r\n"), description.size());
        const std::string_view line = trimmed(description.substr(0, end));
        description.remove_prefix(std::min(end + 1, description.size()));
        if (line.empty()) continue;
        const std::size_t equals = line.find('=');
        std::string_view key = line.substr(0, std::min(equals, line.size()));
        if (equals == std::string_view::npos || key.empty() || !std::all_of(key.begin(), key.end(), isKeyChar)) {
            other = true;
            continue;
        }
        // Sound Devices marks its keys with a lower-case "s".
        if (key.size() > 1 && isLower(key[0]) && isUpper(key[1])) key.remove_prefix(1);
        std::string upper(key);
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return isLower(c) ? char(c - 32) : c; });
        notes.entries.emplace_back(std::move(upper), std::string(trimmed(line.substr(equals + 1))));
    }
    notes.onlyEntries = !other && !notes.entries.empty();
    return notes;
}

std::optional<std::string> RecorderNotes::value(std::string_view key) const {
    for (const auto& [k, v] : entries)
        if (k == key) return v.empty() ? std::nullopt : std::optional(v);
    return std::nullopt;
}

std::map<int, std::string> RecorderNotes::trackNames() const {
    std::map<int, std::string> names;
    for (const auto& [key, value] : entries) {
        if (value.empty()) continue;
        std::optional<int> channel = channelAfter(key, "TRK");
        if (!channel) channel = channelAfter(key, "TR");
        if (!channel && key == "TRL") channel = 1;
        if (!channel && key == "TRR") channel = 2;
        if (channel) names.emplace(*channel, value);
    }
    return names;
}

} // namespace vaun
