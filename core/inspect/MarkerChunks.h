#pragma once
// The markers a WAVE or AIFF file carries in its own chunks: cue points, the regions and
// names its associated-data lists give them, sampler loops, and AIFF markers and loops.
// Payloads are untrusted: whatever can be read is returned, the rest is dropped quietly.
#include "inspect/Marker.h"
#include "inspect/RIFFParser.h"

#include <vector>

namespace vaun {

struct MarkerChunks {
    // WAVE: the "cue " points, named and spanned by the "labl", "note" and "ltxt" entries of
    // "LIST" chunks of type "adtl", and the loops of a "smpl" chunk. A cue point with a loop's
    // id and start names that loop instead of being listed itself. Sorted by start, then id;
    // at most Marker::maxMarkers.
    static std::vector<Marker> readWave(const std::vector<RIFFParser::Chunk>& chunks);
    // AIFF/AIFF-C: the "MARK" markers and the sustain and release loops of an "INST" chunk,
    // which span two of those markers. Same order and limit.
    static std::vector<Marker> readAIFF(const std::vector<RIFFParser::Chunk>& chunks);
};

} // namespace vaun
