#include "ADMJSON.h"

#include "MetadataJSON.h"

#include <charconv>
#include <cmath>

namespace vaun {
namespace {

std::string number(std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return "null";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *value);
    return std::string(buffer, result.ptr);
}

} // namespace

std::string admJSON(const ADMModel& model) {
    std::string json = "{\"programme\":" + jsonString(model.programme) + ",\"content\":" + jsonString(model.content) +
                       ",\"tracks\":[";
    for (std::size_t t = 0; t < model.tracks.size(); ++t) {
        const auto& track = model.tracks[t];
        if (t > 0) json += ',';
        json += "{\"index\":" + std::to_string(track.index) + ",\"object\":" + jsonString(track.object) +
                ",\"type\":" + jsonString(track.type) + ",\"label\":" + jsonString(track.label) +
                ",\"objectStart\":" + number(track.objectStartSeconds) +
                ",\"objectDuration\":" + number(track.objectDurationSeconds);
        if (track.type == "HOA") {
            const auto integer = [](std::optional<int> v) { return v ? std::to_string(*v) : std::string("null"); };
            json += ",\"order\":" + integer(track.order) + ",\"degree\":" + integer(track.degree) +
                    ",\"normalization\":" + jsonString(track.normalization);
        }
        json += ",\"blocks\":[";
        for (std::size_t b = 0; b < track.blocks.size(); ++b) {
            const auto& block = track.blocks[b];
            if (b > 0) json += ',';
            json += "{\"rtime\":" + number(block.rtimeSeconds) + ",\"duration\":" + number(block.durationSeconds);
            if (block.x) json += ",\"x\":" + number(block.x) + ",\"y\":" + number(block.y) + ",\"z\":" + number(block.z);
            json += ",\"azimuth\":" + number(block.azimuth) + ",\"elevation\":" + number(block.elevation) +
                    ",\"distance\":" + number(block.distance) + '}';
        }
        json += "]}";
    }
    json += "],\"otherProgrammes\":[";
    for (std::size_t p = 0; p < model.otherProgrammes.size(); ++p) {
        if (p > 0) json += ',';
        json += jsonString(model.otherProgrammes[p]);
    }
    json += "],\"warnings\":[";
    for (std::size_t w = 0; w < model.warnings.size(); ++w) {
        if (w > 0) json += ',';
        json += jsonString(model.warnings[w]);
    }
    return json + "]}";
}

} // namespace vaun
