#pragma once
// The key=value lines field recorders write into a bext description: Sound Devices
// ("sSCENE=A101", "sTAKE=001", "sTRK1=Boom", "sSPEED=023.976-ND") and Zoom ("SCENE=A101",
// "TRL=Boom", "SPEED=25.000ND").
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vaun {

struct RecorderNotes {
    // Keys upper-case without the recorder's lower-case prefix ("SCENE", "TRK1"), in order.
    std::vector<std::pair<std::string, std::string>> entries;
    // The description holds such lines and nothing else.
    bool onlyEntries = false;

    static RecorderNotes parse(std::string_view description);

    // The first entry of `key`, trimmed; absent when there is none or it is empty.
    std::optional<std::string> value(std::string_view key) const;
    // Track names by channel from 1: "TRKn" and "TRn", Zoom's "TRL" and "TRR" for 1 and 2.
    std::map<int, std::string> trackNames() const;
};

} // namespace vaun
