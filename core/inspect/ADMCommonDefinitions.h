#pragma once
// The common definitions (ITU-R BS.2094) that files reference without defining them: the
// DirectSpeakers pack formats, their channel formats, speaker labels and positions, and the
// HOA packs and channels by order, degree and normalisation.
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

    // A common HOA channel or pack: AC_0004xxxx with xxxx = ACN + 1 + 0x100 × (0 SN3D, 1 N3D,
    // 2 FuMa); AP_000400NN of order N % 16 (1 to 6) in normalisation N / 16.
    struct HOA {
        int order = 0, degree = 0; // a pack's degree is 0
        std::string_view normalization;
    };

    static const Channel* channel(std::string_view id);
    static std::optional<HOA> hoaChannel(std::string_view id);
    static std::optional<HOA> hoaPack(std::string_view id);
    static const Pack* pack(std::string_view id);
    // The channel format a common track format (AT_…) or stream format (AS_…) carries.
    static std::optional<std::string> channelOf(std::string_view trackOrStreamFormat);
};

} // namespace vaun
