#include "playback/Route.h"

namespace vaun {

std::string PlaybackRoute::summary() const {
    static constexpr const char* kDot = " \u00B7 ";
    if (const auto* d = std::get_if<Discrete>(&value))
        return "Direct out" + std::string(kDot) + std::to_string(d->fileChannels) + " of " +
               std::to_string(d->deviceChannels) + " outputs";
    const auto& b = std::get<Binaural>(value);
    return "Spatial (headphones)" + std::string(kDot) + b.layout + kDot + b.hrtfName;
}

} // namespace vaun
