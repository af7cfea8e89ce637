#pragma once
// The common DirectSpeakers definitions (ITU-R BS.2094) that files reference without
// defining them: pack formats, their channel formats, speaker labels and positions.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vaun {

struct ADMCommonDefinitions {
    struct Channel {
        std::string_view id, name, speakerLabel;
        double azimuth = 0, elevation = 0;
    };
    struct Pack {
        std::string_view id, name;
        std::vector<std::string_view> channels; // channel format IDs in order
    };

    static const Channel* channel(std::string_view id);
    static const Pack* pack(std::string_view id);
    // The channel format a common track format (AT_…) or stream format (AS_…) carries.
    static std::optional<std::string> channelOf(std::string_view trackOrStreamFormat);
};

} // namespace vaun
