#include "inspect/IXMLChunk.h"

#include "inspect/UTF8.h"
#include "inspect/XMLHardening.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>

namespace vaun {
namespace {

constexpr std::size_t kMaxOpenElements = 32;
constexpr std::int64_t kMaxElements = 8192;
constexpr std::size_t kMaxTextBytes = 65536;
constexpr std::size_t kFeedBytes = 1 << 20;
constexpr std::string_view kRoot = "BWFXML";

// A collected element: its name and the element it must sit directly in ("" for the root).
struct Collected {
    std::string_view parent, name;
    std::optional<std::string> IXMLChunk::*field;
};
constexpr Collected kCollected[] = {
    {"", "PROJECT", &IXMLChunk::project},
    {"", "SCENE", &IXMLChunk::scene},
    {"", "TAPE", &IXMLChunk::tape},
    {"", "TRACK", &IXMLChunk::track},
    {"", "NOTE", &IXMLChunk::notes},
    {"", "TAKE", &IXMLChunk::take},
    {"", "CIRCLED", &IXMLChunk::circled},
    {"", "UBITS", &IXMLChunk::ubits},
    {"FILE_SET", "FAMILY_UID", &IXMLChunk::familyUID},
    {"SPEED", "NOTE", &IXMLChunk::speedNote},
    {"SPEED", "TIMECODE_RATE", &IXMLChunk::timecodeRate},
    {"SPEED", "TIMECODE_FLAG", &IXMLChunk::timecodeFlag},
    {"SPEED", "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI", &IXMLChunk::timestampSamplesHigh},
    {"SPEED", "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO", &IXMLChunk::timestampSamplesLow},
    {"SPEED", "TIMESTAMP_SAMPLE_RATE", &IXMLChunk::timestampSampleRate},
};

struct TrackField {
    std::string_view name;
    std::optional<std::string> IXMLChunk::Track::*field;
};
constexpr TrackField kTrackFields[] = {
    {"CHANNEL_INDEX", &IXMLChunk::Track::channelIndex},
    {"INTERLEAVE_INDEX", &IXMLChunk::Track::interleaveIndex},
    {"NAME", &IXMLChunk::Track::name},
    {"FUNCTION", &IXMLChunk::Track::function},
};

bool containsIgnoringCase(std::string_view text, std::string_view upperNeedle) {
    const auto it = std::search(text.begin(), text.end(), upperNeedle.begin(), upperNeedle.end(), [](char a, char b) {
        return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
    });
    return it != text.end();
}

// White space and line breaks in Unicode's sense: categories Zs, Zl, Zp, tab, LF to CR and NEL.
bool isSpaceOrNewline(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// `text` comes from the XML parser and is valid UTF-8.
std::string trimmed(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t begin = 0, end = text.size();
    while (begin < end) {
        char32_t c = 0;
        const std::size_t length = utf8::sequenceAt(bytes, end, begin, c);
        if (length == 0 || !isSpaceOrNewline(c)) break;
        begin += length;
    }
    while (end > begin) {
        std::size_t lead = end - 1;
        while (lead > begin && (bytes[lead] & 0xC0) == 0x80) --lead;
        char32_t c = 0;
        if (utf8::sequenceAt(bytes, end, lead, c) != end - lead || !isSpaceOrNewline(c)) break;
        end = lead;
    }
    return text.substr(begin, end - begin);
}

// Collects the text of elements as the parser reports them, refusing anything over the
// limits or any declaration, and stopping the parser at the first refusal.
class Delegate {
public:
    explicit Delegate(XML_Parser parser) : parser_(parser) { xml::Events::attach(parser, *this); }

    bool invalid() const { return invalid_; }
    void refuse() {
        invalid_ = true;
        XML_StopParser(parser_, XML_FALSE);
    }

    std::optional<IXMLChunk> result() const {
        if (invalid_ || !root_ || *root_ != kRoot) return std::nullopt;
        IXMLChunk chunk = chunk_;
        // A track list's first name stands for the track when TRACK carries no text of its own.
        if (!chunk.track) chunk.track = firstTrackName_;
        return chunk;
    }

private:
    friend struct xml::Events;

    struct Open {
        std::string name;
        std::string text;
        bool track = false; // a TRACK of the track list, collected
    };

    // The parser may still deliver a callback or two after a stop, hence the checks of invalid_.
    void start(const char* elementName, const char** /*attributes*/) {
        if (invalid_) return;
        ++elements_;
        if (stack_.size() >= kMaxOpenElements || elements_ > kMaxElements) return refuse();
        if (!root_) root_ = elementName;
        const bool listed = std::string_view(elementName) == "TRACK" && inRoot(1) && stack_.back().name == "TRACK_LIST";
        stack_.push_back({elementName, {}, listed && chunk_.tracks.size() < IXMLChunk::maxTracks});
        if (stack_.back().track) chunk_.tracks.emplace_back();
    }

    void characters(std::string_view fragment) {
        if (invalid_ || stack_.empty()) return;
        std::string& text = stack_.back().text;
        if (fragment.size() > kMaxTextBytes - text.size()) return refuse();
        text.append(fragment);
    }

    void end() {
        if (invalid_ || stack_.empty()) return;
        Open closed = std::move(stack_.back());
        stack_.pop_back();
        if (stack_.empty()) return;
        const bool inTrack = stack_.back().name == "TRACK";
        if (closed.name == "NAME" && (inTrack || inRoot(0))) store(firstTrackName_, closed.text);
        if (inTrack && stack_.back().track) {
            for (const TrackField& f : kTrackFields)
                if (closed.name == f.name) store(chunk_.tracks.back().*f.field, closed.text);
            return;
        }
        for (const Collected& c : kCollected) {
            if (closed.name != c.name) continue;
            const bool placed = c.parent.empty() ? inRoot(0) : inRoot(1) && stack_.back().name == c.parent;
            if (placed) store(chunk_.*c.field, closed.text);
        }
    }

    // The innermost open element lies `depth` levels below the root.
    bool inRoot(std::size_t depth) const { return stack_.size() == depth + 1 && stack_.front().name == kRoot; }

    // The first non-empty occurrence wins.
    static void store(std::optional<std::string>& field, const std::string& text) {
        if (field) return;
        std::string value = trimmed(text);
        if (!value.empty()) field = std::move(value);
    }

    XML_Parser parser_;
    IXMLChunk chunk_;
    std::optional<std::string> firstTrackName_;
    std::vector<Open> stack_;
    std::optional<std::string> root_;
    bool invalid_ = false;
    std::int64_t elements_ = 0;
};

using ParserHandle = std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)>;

} // namespace

std::optional<IXMLChunk> IXMLChunk::parse(const std::vector<std::uint8_t>& payload, std::int64_t maxBytes) {
    return parse(payload.data(), payload.size(), maxBytes);
}

std::optional<IXMLChunk> IXMLChunk::parse(const std::uint8_t* data, std::size_t size, std::int64_t maxBytes) {
    if (maxBytes < 1 || size > static_cast<std::uint64_t>(maxBytes)) return std::nullopt;
    while (size > 0 && data[size - 1] == 0) --size;
    if (!utf8::isValid(data, size)) return std::nullopt;
    if (size > 0 && std::memchr(data, 0, size) != nullptr) return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (containsIgnoringCase(text, "<!DOCTYPE") || containsIgnoringCase(text, "<!ENTITY")) return std::nullopt;

    // The bytes were checked as UTF-8 above; an encoding declaration must not reinterpret them.
    const ParserHandle parser(XML_ParserCreate("UTF-8"), XML_ParserFree);
    if (!parser) return std::nullopt;
    Delegate delegate(parser.get());
    std::size_t offset = 0;
    do {
        const std::size_t piece = std::min(size - offset, kFeedBytes);
        const bool last = offset + piece == size;
        if (XML_Parse(parser.get(), text.data() + offset, static_cast<int>(piece), last ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK)
            return std::nullopt;
        offset += piece;
    } while (offset < size);
    return delegate.result();
}

} // namespace vaun
