#pragma once
// An ADM master as the scene renderer plays it: one source per file track at the positions
// the audio definition model gives over time, and its HOA objects as sound fields.
#include "inspect/ADMModel.h"
#include "playback/SceneRenderer.h"

#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct ADMScene {
    std::string content; // "7.1.2 bed + 4 objects"
    std::vector<SourceTrack> tracks; // one per file channel, in channel order
    std::vector<SoundFieldGroup> fields; // one per HOA object
    // Objects or sound fields: played spatially whatever outputs there are, since speakers
    // fed one channel each would lose their movement and their field.
    bool spatialOnly = false;
};

// Absent unless the model read cleanly and places every track it lists (bed speakers and
// objects; HOA objects as complete sound fields of order 1 to 3; binaural tracks are not
// placed) — then the file plays as a speaker bed, as any other. Objects sharing a track over
// time share its source; an object sounds only within its start and duration; channels no
// track describes sound from straight ahead.
std::optional<ADMScene> admScene(const ADMModel& model, int channelCount);

} // namespace vaun
