#pragma once
// The ADM model as the one JSON line `vaun --adm` prints.
#include "inspect/ADMModel.h"

#include <string>

namespace vaun {

// {"programme": …, "content": …, "tracks": [{"index", "object", "type", "label",
// "blocks": [{"rtime", "duration", "azimuth", "elevation", "distance"}]}], "warnings": […]};
// times in seconds, a block without a duration gives null; no newline.
std::string admJSON(const ADMModel& model);

} // namespace vaun
