#pragma once
// Production metadata from an "iXML" chunk: project, scene, tape, track and notes.
// The payload is untrusted: size, nesting, element count and text are bounded, and
// document type declarations and entities are refused.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct IXMLChunk {
    std::optional<std::string> project;
    std::optional<std::string> scene;
    std::optional<std::string> tape;
    std::optional<std::string> track;
    std::optional<std::string> notes;

    bool operator==(const IXMLChunk&) const = default;

    static constexpr std::int64_t defaultMaxBytes = 1048576;
    // Absent when the document is invalid, oversized or not a BWFXML document.
    static std::optional<IXMLChunk> parse(const std::vector<std::uint8_t>& payload,
                                          std::int64_t maxBytes = defaultMaxBytes);
    static std::optional<IXMLChunk> parse(const std::uint8_t* data, std::size_t size,
                                          std::int64_t maxBytes = defaultMaxBytes);
};

} // namespace vaun
