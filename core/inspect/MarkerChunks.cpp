#include "inspect/MarkerChunks.h"

#include "inspect/UTF8.h"

#include <algorithm>
#include <string_view>
#include <tuple>

namespace vaun {
namespace {

using Payload = std::vector<std::uint8_t>;

constexpr std::size_t kCuePointBytes = 24;
constexpr std::size_t kSamplerHeaderBytes = 36;
constexpr std::size_t kSamplerLoopBytes = 24;
constexpr std::size_t kLabelledTextHeaderBytes = 20;
constexpr std::size_t kInstrumentBytes = 20;

std::uint32_t u32le(const std::uint8_t* at) {
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

std::uint16_t u16be(const std::uint8_t* at) { return std::uint16_t(at[0] << 8 | at[1]); }

std::uint32_t u32be(const std::uint8_t* at) {
    return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | std::uint32_t(at[3]);
}

const Payload* firstPayload(const std::vector<RIFFParser::Chunk>& chunks, std::string_view id) {
    const auto found = std::find_if(chunks.begin(), chunks.end(), [&](const auto& chunk) { return chunk.id == id; });
    return found == chunks.end() ? nullptr : &found->payload;
}

// Names end at their size or first NUL; writers pad them with spaces and line breaks.
std::optional<std::string> text(const std::uint8_t* begin, std::size_t size) {
    auto length = std::size_t(std::find(begin, begin + size, std::uint8_t(0)) - begin);
    while (length > 0 && (begin[length - 1] == ' ' || begin[length - 1] == '\r' || begin[length - 1] == '\n'))
        --length;
    if (length == 0) return std::nullopt;
    if (utf8::isValid(begin, length)) return std::string(begin, begin + length);
    return utf8::fromLatin1(begin, length);
}

std::vector<Marker> ordered(std::vector<Marker> markers) {
    std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) {
        return std::tie(a.start, a.id) < std::tie(b.start, b.id);
    });
    if (markers.size() > Marker::maxMarkers) markers.resize(Marker::maxMarkers);
    return markers;
}

struct Cue {
    std::uint32_t id = 0;
    std::int64_t frame = 0;
    std::optional<std::string> label;
    std::optional<std::string> note;
    std::optional<std::string> labelledText; // the label's stand-in when there is no "labl"
    std::optional<std::int64_t> length;
    bool namesLoop = false;
};

// Sorted by id so that names find their point in log time; names attach by id, so only the
// first point of an id is kept.
std::vector<Cue> readCuePoints(const Payload* payload) {
    std::vector<Cue> cues;
    if (!payload || payload->size() < 4) return cues;
    const std::uint8_t* data = payload->data();
    const std::size_t count = std::min<std::size_t>(u32le(data), (payload->size() - 4) / kCuePointBytes);
    cues.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* point = data + 4 + i * kCuePointBytes;
        const std::uint32_t position = u32le(point + 4);
        const std::uint32_t sampleOffset = u32le(point + 20);
        Cue& cue = cues.emplace_back();
        cue.id = u32le(point);
        cue.frame = sampleOffset != 0 ? sampleOffset : position; // some writers fill in only the position
    }
    std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.id < b.id; });
    cues.erase(std::unique(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.id == b.id; }),
               cues.end());
    return cues;
}

Cue* findCue(std::vector<Cue>& cues, std::uint32_t id) {
    const auto found =
        std::lower_bound(cues.begin(), cues.end(), id, [](const Cue& c, std::uint32_t v) { return c.id < v; });
    return found != cues.end() && found->id == id ? &*found : nullptr;
}

// One "LIST" chunk; only an "adtl" list carries names. The first entry that gives a cue a
// value wins, so a later list cannot rename a point.
void readAssociatedData(const Payload& list, std::vector<Cue>& cues) {
    if (list.size() < 4 || std::string_view(reinterpret_cast<const char*>(list.data()), 4) != "adtl") return;
    const std::uint8_t* data = list.data();
    // `at` may pass the end by the pad byte of a last odd entry, never more.
    for (std::size_t at = 4; at + 8 <= list.size();) {
        const std::string_view kind(reinterpret_cast<const char*>(data + at), 4);
        const std::uint32_t size = u32le(data + at + 4);
        const std::uint8_t* entry = data + at + 8;
        if (size > list.size() - at - 8) break;
        at += 8 + std::size_t(size) + (size & 1);
        if (size < 4) continue;
        Cue* cue = findCue(cues, u32le(entry));
        if (!cue) continue;
        if (kind == "labl" && !cue->label) {
            cue->label = text(entry + 4, size - 4);
        } else if (kind == "note" && !cue->note) {
            cue->note = text(entry + 4, size - 4);
        } else if (kind == "ltxt" && size >= kLabelledTextHeaderBytes) {
            if (const std::uint32_t length = u32le(entry + 4); length > 0 && !cue->length) cue->length = length;
            if (!cue->labelledText)
                cue->labelledText = text(entry + kLabelledTextHeaderBytes, size - kLabelledTextHeaderBytes);
        }
    }
}

// The loops of a "smpl" chunk. A cue point of a loop's id at its start is the loop's name.
std::vector<Marker> readSamplerLoops(const Payload* payload, std::vector<Cue>& cues) {
    std::vector<Marker> loops;
    if (!payload || payload->size() < kSamplerHeaderBytes) return loops;
    const std::uint8_t* data = payload->data();
    const std::size_t count =
        std::min<std::size_t>(u32le(data + 28), (payload->size() - kSamplerHeaderBytes) / kSamplerLoopBytes);
    loops.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* stored = data + kSamplerHeaderBytes + i * kSamplerLoopBytes;
        const std::uint32_t id = u32le(stored);
        const std::uint32_t start = u32le(stored + 8);
        const std::uint32_t end = u32le(stored + 12); // inclusive
        if (end < start) continue;
        Marker loop;
        loop.kind = Marker::Kind::loop;
        loop.id = id;
        loop.start = start;
        loop.length = std::int64_t(end) - start + 1;
        loop.playCount = u32le(stored + 20);
        if (Cue* cue = findCue(cues, id); cue && cue->frame == start) {
            loop.label = cue->label;
            loop.note = cue->note;
            cue->namesLoop = true;
        }
        loops.push_back(std::move(loop));
    }
    return loops;
}

// Every marker of a "MARK" chunk in file order; a name cut off by the chunk's end is kept
// as far as it goes.
std::vector<Marker> readMarks(const Payload* payload) {
    std::vector<Marker> marks;
    if (!payload || payload->size() < 2) return marks;
    const std::uint8_t* data = payload->data();
    const std::size_t size = payload->size();
    std::size_t at = 2;
    // `at` stays below size + 258: a name is at most 255 bytes plus its length and pad bytes.
    for (std::size_t i = 0, count = u16be(data); i < count && at + 6 <= size; ++i) {
        Marker mark;
        mark.id = u16be(data + at);
        mark.start = u32be(data + at + 2);
        at += 6;
        if (at < size) {
            const std::size_t length = data[at];
            mark.label = text(data + at + 1, std::min(length, size - at - 1));
            at += 1 + length + (length % 2 == 0 ? 1 : 0); // the pad keeps the name's bytes even
        }
        marks.push_back(std::move(mark));
    }
    return marks;
}

// An "INST" loop: play mode, then the ids of the markers at its start and end.
std::optional<Marker> readInstrumentLoop(const std::uint8_t* stored, const std::vector<Marker>& marks,
                                         const char* label) {
    if (u16be(stored) == 0) return std::nullopt; // not looped
    const auto position = [&](std::uint16_t id) -> std::optional<std::int64_t> {
        const auto found = std::find_if(marks.begin(), marks.end(), [&](const Marker& m) { return m.id == id; });
        return found == marks.end() ? std::nullopt : std::optional(found->start);
    };
    const auto begin = position(u16be(stored + 2));
    const auto end = position(u16be(stored + 4));
    if (!begin || !end || *end <= *begin) return std::nullopt;
    Marker loop;
    loop.kind = Marker::Kind::loop;
    loop.start = *begin;
    loop.length = *end - *begin;
    loop.label = label;
    loop.playCount = 0; // AIFF loops play until the note is released
    return loop;
}

} // namespace

std::vector<Marker> MarkerChunks::readWave(const std::vector<RIFFParser::Chunk>& chunks) {
    std::vector<Cue> cues = readCuePoints(firstPayload(chunks, "cue "));
    if (!cues.empty()) {
        for (const auto& chunk : chunks)
            if (chunk.id == "LIST") readAssociatedData(chunk.payload, cues);
    }
    for (Cue& cue : cues)
        if (!cue.label) cue.label = std::move(cue.labelledText);

    std::vector<Marker> markers = readSamplerLoops(firstPayload(chunks, "smpl"), cues);
    markers.reserve(markers.size() + cues.size());
    for (Cue& cue : cues) {
        if (cue.namesLoop) continue;
        Marker marker;
        marker.kind = cue.length ? Marker::Kind::region : Marker::Kind::marker;
        marker.id = cue.id;
        marker.start = cue.frame;
        marker.length = cue.length;
        marker.label = std::move(cue.label);
        marker.note = std::move(cue.note);
        markers.push_back(std::move(marker));
    }
    return ordered(std::move(markers));
}

std::vector<Marker> MarkerChunks::readAIFF(const std::vector<RIFFParser::Chunk>& chunks) {
    std::vector<Marker> markers = readMarks(firstPayload(chunks, "MARK"));
    const Payload* instrument = firstPayload(chunks, "INST");
    if (instrument && instrument->size() >= kInstrumentBytes) {
        auto sustain = readInstrumentLoop(instrument->data() + 8, markers, "Sustain loop");
        auto release = readInstrumentLoop(instrument->data() + 14, markers, "Release loop");
        for (auto* loop : {&sustain, &release})
            if (*loop) markers.push_back(std::move(**loop));
    }
    return ordered(std::move(markers));
}

} // namespace vaun
