// libFuzzer target: WAVE and AIFF marker chunks. The first byte picks the reader (even:
// WAVE, odd: AIFF); then chunks follow as a 4-byte id, a 2-byte little-endian length and
// that many payload bytes, the last one cut short by the end of the input.
#include "Check.h"
#include "inspect/MarkerChunks.h"

#include <algorithm>
#include <tuple>

using vaun::Marker;
using vaun::MarkerChunks;
using vaun::RIFFParser;
using vaun::fuzz::isUTF8;
using vaun::fuzz::require;

namespace {

bool isName(const std::optional<std::string>& text) {
    if (!text) return true;
    const char last = text->empty() ? ' ' : text->back();
    return isUTF8(*text) && text->find('\0') == std::string::npos && last != ' ' && last != '\r' && last != '\n';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool aiff = data[0] & 1;
    std::vector<RIFFParser::Chunk> chunks;
    for (std::size_t at = 1; size - at >= 6;) {
        const std::size_t length = std::min<std::size_t>(data[at + 4] | data[at + 5] << 8, size - at - 6);
        const std::uint8_t* payload = data + at + 6;
        chunks.push_back({std::string(data + at, data + at + 4), {payload, payload + length}, at});
        at += 6 + length;
    }
    const std::vector<Marker> markers = aiff ? MarkerChunks::readAIFF(chunks) : MarkerChunks::readWave(chunks);

    require(markers.size() <= Marker::maxMarkers);
    require(std::is_sorted(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) {
        return std::tie(a.start, a.id) < std::tie(b.start, b.id);
    }));
    std::size_t loops = 0;
    for (const Marker& m : markers) {
        require(isName(m.label) && isName(m.note));
        require(m.start >= 0 && m.start <= 0xFFFFFFFF);
        require(!m.length || (*m.length > 0 && *m.length <= 0x100000000));
        require(m.kind != Marker::Kind::chapter);
        require((m.kind == Marker::Kind::marker) == !m.length);
        require((m.kind == Marker::Kind::loop) == m.playCount.has_value());
        loops += m.kind == Marker::Kind::loop;
        if (aiff) {
            require(m.kind != Marker::Kind::region && !m.note);
            require(m.kind != Marker::Kind::loop ||
                    (!m.id && *m.playCount == 0 && (m.label == "Sustain loop" || m.label == "Release loop")));
        } else {
            require(m.id.has_value());
        }
    }
    require(!aiff || loops <= 2);
    return 0;
}
