// Streaming read of the ADM XML: only the elements the model needs are kept.
#include "inspect/ADMChunks.h"

#include "inspect/UTF8.h"
#include "inspect/XMLHardening.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <cstring>
#include <string_view>

namespace vaun {
namespace {

constexpr std::size_t kFeedBytes = 1 << 16;

bool containsIgnoringCase(std::string_view text, std::string_view upperNeedle) {
    const auto it = std::search(text.begin(), text.end(), upperNeedle.begin(), upperNeedle.end(), [](char a, char b) {
        return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
    });
    return it != text.end();
}

std::string_view localName(const char* name) {
    std::string_view n(name);
    const auto colon = n.rfind(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

std::string trimmed(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

std::optional<double> number(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

// The pack and channel type: typeDefinition by name, or typeLabel by number.
std::string typeOf(const std::map<std::string, std::string>& attributes) {
    if (auto it = attributes.find("typeDefinition"); it != attributes.end()) return it->second;
    if (auto it = attributes.find("typeLabel"); it != attributes.end()) {
        static const std::pair<const char*, const char*> labels[] = {
            {"0001", "DirectSpeakers"}, {"0002", "Matrix"}, {"0003", "Objects"}, {"0004", "HOA"}, {"0005", "Binaural"}};
        for (const auto& [label, name] : labels)
            if (it->second == label) return name;
    }
    return {};
}

class Delegate {
public:
    Delegate(XML_Parser parser, const AXMLOptions& options) : parser_(parser), options_(options) {
        xml::Events::attach(parser, *this);
    }

    bool invalid() const { return invalid_; }
    void refuse() {
        invalid_ = true;
        XML_StopParser(parser_, XML_FALSE);
    }
    AXMLDocument& document() { return document_; }

private:
    friend struct xml::Events;

    struct Open {
        std::string name;
        std::map<std::string, std::string> attributes;
        std::string text;
    };

    std::string attribute(const Open& open, const char* key) const {
        const auto it = open.attributes.find(key);
        return it == open.attributes.end() ? std::string() : it->second;
    }

    void start(const char* elementName, const char** attributes) {
        if (invalid_) return;
        ++elements_;
        if (stack_.size() >= options_.maxDepth || elements_ > options_.maxElements) return refuse();
        Open open{std::string(localName(elementName)), {}, {}};
        for (std::size_t i = 0; attributes[i] && attributes[i + 1]; i += 2)
            open.attributes.emplace(localName(attributes[i]), attributes[i + 1]);
        opened(open);
        stack_.push_back(std::move(open));
    }

    void characters(std::string_view fragment) {
        if (invalid_ || stack_.empty()) return;
        std::string& text = stack_.back().text;
        if (fragment.size() > options_.maxTextBytes - text.size()) return refuse();
        text.append(fragment);
    }

    void opened(const Open& e) {
        const std::string& n = e.name;
        if (n == "audioProgramme") {
            document_.programmes.push_back({attribute(e, "audioProgrammeID"), {attribute(e, "audioProgrammeName"), {}}});
        } else if (n == "audioContent") {
            content_ = attribute(e, "audioContentID");
            document_.contents[content_].name = attribute(e, "audioContentName");
        } else if (n == "audioObject") {
            document_.objects.push_back({attribute(e, "audioObjectID"), attribute(e, "audioObjectName"), {}, {}, {},
                                         AXMLDocument::parseTime(attribute(e, "start")),
                                         AXMLDocument::parseTime(attribute(e, "duration"))});
        } else if (n == "audioPackFormat") {
            pack_ = attribute(e, "audioPackFormatID");
            auto& pack = document_.packFormats[pack_];
            pack = {attribute(e, "audioPackFormatName"), typeOf(e.attributes), {}, {}, {}};
        } else if (n == "audioChannelFormat") {
            channel_ = attribute(e, "audioChannelFormatID");
            document_.channelFormats[channel_] = {attribute(e, "audioChannelFormatName"), typeOf(e.attributes), {}, {}};
        } else if (n == "audioBlockFormat" && parent() == "audioChannelFormat" && options_.keepBlocks) {
            AXMLDocument::Block block;
            block.rtimeSeconds = AXMLDocument::parseTime(attribute(e, "rtime"));
            block.durationSeconds = AXMLDocument::parseTime(attribute(e, "duration"));
            document_.channelFormats[channel_].blocks.push_back(block);
        } else if (n == "audioStreamFormat") {
            stream_ = attribute(e, "audioStreamFormatID");
        } else if (n == "audioTrackFormat") {
            trackFormat_ = attribute(e, "audioTrackFormatID");
        } else if (n == "audioTrackUID") {
            uid_ = attribute(e, "UID");
            document_.trackUIDs[uid_];
        }
    }

    std::string_view parent() const { return stack_.size() >= 1 ? std::string_view(stack_.back().name) : ""; }

    void end() {
        if (invalid_ || stack_.empty()) return;
        Open closed = std::move(stack_.back());
        stack_.pop_back();
        const std::string_view in = parent();
        const std::string& n = closed.name;
        std::string text = trimmed(closed.text);
        if (in == "audioProgramme" && n == "audioContentIDRef" && !document_.programmes.empty()) {
            document_.programmes.back().second.refs.push_back(text);
        } else if (in == "audioContent" && n == "audioObjectIDRef") {
            document_.contents[content_].refs.push_back(text);
        } else if (in == "audioObject" && !document_.objects.empty()) {
            auto& object = document_.objects.back();
            if (n == "audioPackFormatIDRef") object.packFormats.push_back(text);
            else if (n == "audioTrackUIDRef") object.trackUIDs.push_back(text);
            else if (n == "audioObjectIDRef") object.objects.push_back(text);
        } else if (in == "audioPackFormat") {
            auto& pack = document_.packFormats[pack_];
            if (n == "audioChannelFormatIDRef") pack.channelFormats.push_back(text);
            else if (n == "audioPackFormatIDRef") pack.packFormats.push_back(text);
            else if (n == "normalization") pack.normalization = text;
        } else if (in == "audioBlockFormat" && stack_.size() >= 2 &&
                   stack_[stack_.size() - 2].name == "audioChannelFormat") {
            auto& channel = document_.channelFormats[channel_];
            if (n == "speakerLabel") {
                if (channel.speakerLabel.empty()) channel.speakerLabel = text;
            } else if (!channel.blocks.empty() && (n == "order" || n == "degree")) {
                const auto value = number(text);
                if (value && std::fabs(*value) <= 64 && *value == std::floor(*value))
                    (n == "order" ? channel.blocks.back().order : channel.blocks.back().degree) = int(*value);
            } else if (n == "normalization" && !channel.blocks.empty()) {
                channel.blocks.back().normalization = text;
            } else if (n == "position" && !channel.blocks.empty() && attribute(closed, "bound").empty()) {
                // A nested redefinition of the same channel format may have emptied its blocks.
                // A bound gives the position's tolerance, not the position.
                auto& block = channel.blocks.back();
                const std::string coordinate = attribute(closed, "coordinate");
                const auto value = number(text);
                if (coordinate == "azimuth") block.azimuth = value;
                else if (coordinate == "elevation") block.elevation = value;
                else if (coordinate == "distance") block.distance = value;
                else if (coordinate == "X") block.x = value;
                else if (coordinate == "Y") block.y = value;
                else if (coordinate == "Z") block.z = value;
            }
        } else if (in == "audioStreamFormat" && n == "audioChannelFormatIDRef") {
            document_.streamFormatChannels[stream_] = text;
        } else if (in == "audioTrackFormat" && n == "audioStreamFormatIDRef") {
            document_.trackFormatStreams[trackFormat_] = text;
        } else if (in == "audioTrackUID") {
            auto& uid = document_.trackUIDs[uid_];
            if (n == "audioTrackFormatIDRef") uid.trackFormat = text;
            else if (n == "audioChannelFormatIDRef") uid.channelFormat = text;
            else if (n == "audioPackFormatIDRef") uid.packFormat = text;
        }
    }

    XML_Parser parser_;
    AXMLOptions options_;
    AXMLDocument document_;
    std::vector<Open> stack_;
    std::string content_, pack_, channel_, stream_, trackFormat_, uid_;
    bool invalid_ = false;
    std::int64_t elements_ = 0;
};

using ParserHandle = std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)>;

} // namespace

std::optional<double> AXMLDocument::parseTime(const std::string& text) {
    // hh:mm:ss then either a decimal fraction or "samplesSrate".
    const auto first = text.find(':'), second = text.find(':', first == std::string::npos ? 0 : first + 1);
    if (first == std::string::npos || second == std::string::npos) return std::nullopt;
    const auto hours = number(std::string_view(text).substr(0, first));
    const auto minutes = number(std::string_view(text).substr(first + 1, second - first - 1));
    if (!hours || !minutes || *hours < 0 || *minutes < 0) return std::nullopt;
    std::string rest = text.substr(second + 1);
    std::optional<double> seconds;
    if (const auto s = rest.find('S'); s != std::string::npos) {
        const auto dot = rest.find('.');
        if (dot == std::string::npos || dot > s) return std::nullopt;
        const auto whole = number(std::string_view(rest).substr(0, dot));
        const auto samples = number(std::string_view(rest).substr(dot + 1, s - dot - 1));
        const auto rate = number(std::string_view(rest).substr(s + 1));
        if (!whole || !samples || !rate || *rate <= 0) return std::nullopt;
        seconds = *whole + *samples / *rate;
    } else {
        seconds = number(rest);
    }
    if (!seconds || *seconds < 0) return std::nullopt;
    return *hours * 3600 + *minutes * 60 + *seconds;
}

std::optional<AXMLDocument> AXMLDocument::parse(const std::uint8_t* data, std::size_t size, const AXMLOptions& options,
                                                const CancellationTest& isCancelled) {
    if (options.maxBytes < 1 || size > static_cast<std::uint64_t>(options.maxBytes)) return std::nullopt;
    while (size > 0 && data[size - 1] == 0) --size;
    if (size == 0 || !utf8::isValid(data, size) || std::memchr(data, 0, size) != nullptr) return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (containsIgnoringCase(text, "<!DOCTYPE") || containsIgnoringCase(text, "<!ENTITY")) return std::nullopt;

    const ParserHandle parser(XML_ParserCreate("UTF-8"), XML_ParserFree);
    if (!parser) return std::nullopt;
    Delegate delegate(parser.get(), options);
    std::size_t offset = 0;
    do {
        throwIfCancelled(isCancelled);
        const std::size_t piece = std::min(size - offset, kFeedBytes);
        const bool last = offset + piece == size;
        if (XML_Parse(parser.get(), text.data() + offset, static_cast<int>(piece), last ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK)
            return std::nullopt;
        offset += piece;
    } while (offset < size);
    if (delegate.invalid()) return std::nullopt;
    return std::move(delegate.document());
}

} // namespace vaun
