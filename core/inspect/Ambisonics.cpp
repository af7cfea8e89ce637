#include "inspect/Ambisonics.h"

#include <algorithm>
#include <cctype>

namespace vaun {

std::optional<int> Ambisonics::orderFor(int channels) {
    for (int order = 1; order <= 3; ++order)
        if ((order + 1) * (order + 1) == channels) return order;
    return std::nullopt;
}

std::optional<AmbisonicLayout> Ambisonics::fromLayout(const std::optional<AudioChannelLayout>& layout, int channels) {
    const auto order = orderFor(channels);
    if (!layout || !order || int(layout->layoutTag & 0xFFFF) != channels) return std::nullopt;
    switch (layout->layoutTag & 0xFFFF0000u) {
    case kHOAACNSN3D: return AmbisonicLayout{*order, "SN3D", false};
    case kHOAACNN3D: return AmbisonicLayout{*order, "N3D", false};
    case kBFormat: return AmbisonicLayout{*order, "FuMa", true};
    default: return std::nullopt;
    }
}

std::optional<AmbisonicLayout> Ambisonics::fromTrackNames(const std::vector<std::optional<std::string>>& names) {
    const auto order = orderFor(int(names.size()));
    if (!order) return std::nullopt;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i]) return std::nullopt;
        std::string name;
        for (char c : *names[i])
            if (c != ' ') name += char(std::toupper(static_cast<unsigned char>(c)));
        if (name != "ACN" + std::to_string(i)) return std::nullopt;
    }
    return AmbisonicLayout{*order, "SN3D", false};
}

std::string Ambisonics::componentLabel(int acn) {
    // The traditional component names, which FuMa ordering lists as W X Y Z R S T U V K … Q.
    static constexpr const char* kLetters[] = {"W", "Y", "Z", "X", "V", "T", "R", "S",
                                               "U", "Q", "O", "M", "K", "L", "N", "P"};
    if (acn >= 0 && acn < 16) return kLetters[acn];
    return "ACN" + std::to_string(acn);
}

std::string Ambisonics::layoutName(const AmbisonicLayout& layout) {
    const std::string head = "Ambisonics order " + std::to_string(layout.order) + " \xC2\xB7 ";
    // FuMa names both the order and the weights.
    if (layout.fumaOrder && layout.normalization == "FuMa") return head + "FuMa";
    return head + (layout.fumaOrder ? "FuMa order" : "ACN") + " \xC2\xB7 " + layout.normalization;
}

} // namespace vaun
