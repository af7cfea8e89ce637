#include "MetadataJSON.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vaun {
namespace {

// Length of the well-formed UTF-8 sequence at the start of `s` (RFC 3629), 0 when ill-formed.
std::size_t sequenceLength(std::string_view s) {
    const auto b = [&](std::size_t i) { return std::uint8_t(s[i]); };
    const auto tail = [&](std::size_t i, std::uint8_t lo = 0x80, std::uint8_t hi = 0xBF) {
        return i < s.size() && b(i) >= lo && b(i) <= hi;
    };
    const std::uint8_t lead = b(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return tail(1) ? 2 : 0;
    if (lead == 0xE0) return tail(1, 0xA0) && tail(2) ? 3 : 0;
    if (lead == 0xED) return tail(1, 0x80, 0x9F) && tail(2) ? 3 : 0; // no surrogates
    if (lead >= 0xE1 && lead <= 0xEF) return tail(1) && tail(2) ? 3 : 0;
    if (lead == 0xF0) return tail(1, 0x90) && tail(2) && tail(3) ? 4 : 0;
    if (lead >= 0xF1 && lead <= 0xF3) return tail(1) && tail(2) && tail(3) ? 4 : 0;
    if (lead == 0xF4) return tail(1, 0x80, 0x8F) && tail(2) && tail(3) ? 4 : 0;
    return 0;
}

class Writer {
public:
    std::string out = "{";

    void key(std::string_view name) {
        if (!first_) out += ", ";
        first_ = false;
        appendJsonString(out, name);
        out += ": ";
    }
    void null() { out += "null"; }
    void boolean(bool v) { out += v ? "true" : "false"; }
    template <typename Int>
    void integer(Int v) {
        char buffer[24];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        out.append(buffer, r.ptr);
    }
    // Shortest text that reads back to the same value; JSON has no NaN or infinity.
    void number(double v) {
        if (!std::isfinite(v)) return null();
        char buffer[32];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        out.append(buffer, r.ptr);
    }
    void string(std::string_view s) { appendJsonString(out, s); }

    template <typename T, typename Write>
    void optional(const std::optional<T>& v, Write write) {
        if (v) write(*v);
        else null();
    }
    void optionalString(const std::optional<std::string>& v) {
        optional(v, [&](const std::string& s) { string(s); });
    }
    void optionalNumber(const std::optional<double>& v) {
        optional(v, [&](double d) { number(d); });
    }
    template <typename Int>
    void optionalInteger(const std::optional<Int>& v) {
        optional(v, [&](Int i) { integer(i); });
    }
    void stringList(const std::vector<std::string>& list) {
        out += '[';
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i > 0) out += ", ";
            string(list[i]);
        }
        out += ']';
    }
    template <typename T, typename Write>
    void list(const std::vector<T>& items, Write write) {
        out += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0) out += ", ";
            write(items[i]);
        }
        out += ']';
    }
    void beginObject() {
        out += '{';
        first_ = true;
    }
    void endObject() {
        out += '}';
        first_ = false;
    }

private:
    bool first_ = true;
};

void writeBWF(Writer& w, const BWFChunk& bwf) {
    w.beginObject();
    w.key("description");
    w.string(bwf.description);
    w.key("originator");
    w.string(bwf.originator);
    w.key("originatorReference");
    w.string(bwf.originatorReference);
    w.key("originationDate");
    w.string(bwf.originationDate);
    w.key("originationTime");
    w.string(bwf.originationTime);
    w.key("timeReferenceSamples");
    w.integer(bwf.timeReferenceSamples);
    w.key("version");
    w.integer(bwf.version);
    w.key("timeReferenceSeconds");
    w.optionalNumber(bwf.timeReferenceSeconds);
    w.key("umid");
    w.optionalString(bwf.umid);
    w.key("codingHistory");
    w.string(bwf.codingHistory);
    w.key("loudnessValue");
    w.optionalNumber(bwf.loudnessValue);
    w.key("loudnessRange");
    w.optionalNumber(bwf.loudnessRange);
    w.key("maxTruePeakLevel");
    w.optionalNumber(bwf.maxTruePeakLevel);
    w.key("maxMomentaryLoudness");
    w.optionalNumber(bwf.maxMomentaryLoudness);
    w.key("maxShortTermLoudness");
    w.optionalNumber(bwf.maxShortTermLoudness);
    w.endObject();
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    appendJsonString(out, text);
    return out;
}

void appendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    while (!text.empty()) {
        // Printable ASCII needs no escape: copied a run at a time, as most text is.
        std::size_t plain = 0;
        while (plain < text.size()) {
            const auto b = std::uint8_t(text[plain]);
            if (b < 0x20 || b > 0x7E || b == '"' || b == '\\') break;
            ++plain;
        }
        out.append(text.substr(0, plain));
        text.remove_prefix(plain);
        if (text.empty()) break;
        const auto c = std::uint8_t(text.front());
        const std::size_t n = sequenceLength(text);
        if (n == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD in place of each stray byte
            text.remove_prefix(1);
            continue;
        }
        if (n > 1) {
            out.append(text.substr(0, n));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            switch (c) {
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            }
        } else {
            out += char(c);
        }
        text.remove_prefix(n);
    }
    out += '"';
}

std::string isoDate(const AudioMetadata::Date& date) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(date);
    const auto day = floor<days>(seconds);
    const year_month_day ymd(day);
    const hh_mm_ss time(seconds - day);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()));
    return buffer;
}

std::string metadataJSON(const AudioMetadata& m) {
    Writer w;
    const auto date = [&](const AudioMetadata::Date& d) { w.string(isoDate(d)); };
    w.key("fileName");
    w.string(m.fileName);
    w.key("fileSizeBytes");
    w.integer(m.fileSizeBytes);
    w.key("containerUTType");
    w.optionalString(m.containerUTType);
    w.key("containerDescription");
    w.optionalString(m.containerDescription);
    w.key("codec");
    w.optionalString(m.codec);
    w.key("durationSeconds");
    w.optionalNumber(m.durationSeconds);
    w.key("sampleRateHz");
    w.optionalNumber(m.sampleRateHz);
    w.key("bitDepth");
    w.optionalInteger(m.bitDepth);
    w.key("channels");
    w.optionalInteger(m.channels);
    w.key("channelLayoutName");
    w.optionalString(m.channelLayoutName);
    w.key("bitRate");
    w.optionalInteger(m.bitRate);
    w.key("creationDate");
    w.optional(m.creationDate, date);
    w.key("modificationDate");
    w.optional(m.modificationDate, date);
    w.key("bwfTimeReferenceSamples");
    w.optionalInteger(m.bwfTimeReferenceSamples);
    w.key("bwfTimeReferenceSeconds");
    w.optionalNumber(m.bwfTimeReferenceSeconds);
    w.key("iXMLProject");
    w.optionalString(m.iXMLProject);
    w.key("iXMLScene");
    w.optionalString(m.iXMLScene);
    w.key("iXMLTape");
    w.optionalString(m.iXMLTape);
    w.key("iXMLTrack");
    w.optionalString(m.iXMLTrack);
    w.key("iXMLNotes");
    w.optionalString(m.iXMLNotes);
    w.key("hasArtwork");
    w.boolean(m.hasArtwork);
    w.key("artworkData");
    w.optional(m.artworkData, [&](const std::vector<std::uint8_t>& bytes) { w.integer(bytes.size()); });
    w.key("bwf");
    w.optional(m.bwf, [&](const BWFChunk& bwf) { writeBWF(w, bwf); });
    w.key("channelLabels");
    w.stringList(m.channelLabels);
    w.key("isADM");
    w.boolean(m.isADM);
    w.key("admTrackCount");
    w.optionalInteger(m.admTrackCount);
    w.key("hasDolbyMetadata");
    w.boolean(m.hasDolbyMetadata);
    w.key("isRF64");
    w.boolean(m.isRF64);
    w.key("warnings");
    w.stringList(m.warnings);
    w.key("codecProfile");
    w.optionalString(m.codecProfile);
    w.key("tags");
    w.beginObject();
    for (const auto& [key, value] : m.tags) {
        w.key(key);
        w.string(value);
    }
    w.endObject();
    w.key("timecode");
    w.optional(m.timecode, [&](const Timecode& tc) {
        w.beginObject();
        w.key("start");
        w.string(tc.text());
        w.key("rate");
        w.string(tc.rateText());
        w.key("dropFrame");
        w.boolean(tc.dropFrame);
        w.endObject();
    });
    w.key("iXMLTake");
    w.optionalString(m.iXMLTake);
    w.key("iXMLCircled");
    w.optional(m.iXMLCircled, [&](bool circled) { w.boolean(circled); });
    w.key("iXMLUbits");
    w.optionalString(m.iXMLUbits);
    w.key("iXMLFamilyUID");
    w.optionalString(m.iXMLFamilyUID);
    w.key("tracks");
    w.list(m.tracks, [&](const AudioMetadata::Track& t) {
        w.beginObject();
        w.key("channel");
        w.integer(t.channel);
        w.key("name");
        w.optionalString(t.name);
        w.key("function");
        w.optionalString(t.function);
        w.endObject();
    });
    w.key("markers");
    w.list(m.markers, [&](const Marker& marker) {
        static constexpr const char* kKinds[] = {"marker", "region", "loop", "chapter"};
        w.beginObject();
        w.key("kind");
        w.string(kKinds[int(marker.kind)]);
        w.key("id");
        w.optionalInteger(marker.id);
        w.key("start");
        w.integer(marker.start);
        w.key("length");
        w.optionalInteger(marker.length);
        w.key("label");
        w.optionalString(marker.label);
        w.key("note");
        w.optionalString(marker.note);
        w.endObject();
    });
    w.out += '}';
    return std::move(w.out);
}

} // namespace vaun
