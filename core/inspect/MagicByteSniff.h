#pragma once
// Recognises a container from its first bytes alone: WAVE, AIFF/AIFF-C, CAF, FLAC, MP3 and
// MPEG-4. A pure function of the bytes it is given.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct MagicByteSniff {
    struct Hit {
        std::string utType;
        std::string displayName;
        bool operator==(const Hit&) const = default;
    };

    // Absent when nothing is recognised. Needs at least 4 bytes; 12 are enough for every test.
    static std::optional<Hit> detect(const std::uint8_t* head, std::size_t size);
    static std::optional<Hit> detect(const std::vector<std::uint8_t>& head) {
        return detect(head.data(), head.size());
    }
};

} // namespace vaun
