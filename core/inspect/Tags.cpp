#include "inspect/Tags.h"

#include "inspect/UTF8.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>

namespace vaun {
namespace {

struct Rename {
    std::string_view from, to;
};

// Frames and INFO items FFmpeg passes on under their identifiers.
constexpr std::array kRenames = {
    Rename{"tbpm", "bpm"},           Rename{"tbp", "bpm"},           Rename{"tcm", "composer"},
    Rename{"tpa", "disc"},           Rename{"tt1", "grouping"},      Rename{"tit1", "grouping"},
    Rename{"tt3", "subtitle"},       Rename{"tit3", "subtitle"},     Rename{"tye", "date"},
    Rename{"tcr", "copyright"},      Rename{"tkey", "initial_key"},  Rename{"tke", "initial_key"},
    Rename{"tmed", "media"},         Rename{"tmt", "media"},         Rename{"tsrc", "isrc"},
    Rename{"trc", "isrc"},           Rename{"text", "lyricist"},     Rename{"txt", "lyricist"},
    Rename{"tope", "original_artist"}, Rename{"toa", "original_artist"}, Rename{"tmoo", "mood"},
    Rename{"ieng", "engineer"},      Rename{"isrc", "source"},       Rename{"isbj", "subject"},
    Rename{"ikey", "keywords"},      Rename{"imed", "medium"},       Rename{"icms", "commissioned"},
    Rename{"iarl", "archival_location"}, Rename{"tsc", "composer-sort"}, Rename{"tsoc", "composer-sort"},
    Rename{"ts2", "album_artist-sort"}, Rename{"tso2", "album_artist-sort"}, Rename{"tdor", "original_date"},
    Rename{"tory", "original_date"}, Rename{"tor", "original_date"},
};

// Facts of the container rather than tags, and the encoder delay the length already honours.
constexpr std::array<std::string_view, 13> kTechnical = {
    "major_brand", "minor_version", "compatible_brands", "creation_time", "handler_name",
    "vendor_id",   "language",      "duration",          "itunsmpb",      "itunnorm",
    "gapless_playback", "encoder_delay", "encoding params"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& keys, std::string_view key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

constexpr std::size_t kMaxKeyBytes = 256;

std::string cleanText(std::string_view raw, std::size_t limit);

std::string keyOf(std::string_view raw) {
    std::string key = cleanText(raw, kMaxKeyBytes);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    for (const Rename& r : kRenames)
        if (key == r.from) return std::string(r.to);
    return key;
}

bool keep(std::uint8_t c) { return c >= 0x20 || c == '\t' || c == '\n' || c == '\r'; }

std::string cleanText(std::string_view raw, std::size_t limit) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw.data());
    std::string text = utf8::isValid(bytes, raw.size()) ? std::string(raw) : utf8::fromWindows1252(bytes, raw.size());
    std::erase_if(text, [](char c) { return !keep(std::uint8_t(c)) || c == 0x7F; });
    if (text.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (std::uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    text.erase(0, first);
    return text;
}

bool shown(const Tags::List& elsewhere, const std::string& key, const std::string& value) {
    return std::any_of(elsewhere.begin(), elsewhere.end(), [&](const auto& entry) {
        return entry.first == key && (entry.second.empty() || cleanText(entry.second, Tags::maxValueBytes) == value);
    });
}

} // namespace

std::string Tags::text(std::string_view raw) { return cleanText(raw, maxValueBytes); }

Tags::List Tags::clean(const List& raw, const List& shownElsewhere) {
    List tags;
    std::unordered_set<std::string> seen;
    for (const auto& [rawKey, rawValue] : raw) {
        if (tags.size() >= maxTags) break;
        std::string key = keyOf(rawKey);
        if (key.empty() || among(kTechnical, key) || key.starts_with("id3v2_priv.") || seen.contains(key)) continue;
        std::string value = cleanText(rawValue, maxValueBytes);
        if (value.empty() || shown(shownElsewhere, key, value)) continue;
        seen.insert(key);
        tags.emplace_back(std::move(key), std::move(value));
    }
    return tags;
}

} // namespace vaun
