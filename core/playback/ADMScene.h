#pragma once
// An ADM master as the object renderer plays it: one source per file track at the
// positions the audio definition model gives over time.
#include "inspect/ADMModel.h"
#include "playback/ObjectBinauralRenderer.h"

#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct ADMScene {
    std::string content; // "7.1.2 bed + 4 objects"
    std::vector<SourceTrack> tracks; // one per file channel, in channel order
};

// Absent unless the model read cleanly and places every track it lists (bed speakers and
// objects; HOA and binaural tracks are not placed) — then the file plays as a speaker bed,
// as any other. Objects sharing a track over time share its source; channels no track
// describes sound from straight ahead.
std::optional<ADMScene> admScene(const ADMModel& model, int channelCount);

} // namespace vaun
