#pragma once
// What a take's production metadata tells once its iXML and the recorder's key=value lines in
// the bext description are read together: take, circled, user bits, file family, timecode and
// the names of its tracks.
#include "inspect/AudioMetadata.h"
#include "inspect/IXMLChunk.h"

#include <optional>
#include <string>

namespace vaun {

struct ProductionFacts {
    // Fills the production fields of `record`, whose bext and iXML fields are already read;
    // the description lines stand in for what the iXML leaves out. `declaresLayout`: the file
    // has a channel layout of its own, so a track's function does not relabel its speaker.
    static void fill(AudioMetadata& record, const std::optional<IXMLChunk>& ixml, bool declaresLayout);

    // "L", "LFE", "Ls" for a track function naming a speaker ("L", "lfe", "Ls-5.1"); else absent.
    static std::optional<std::string> speakerLabel(const std::string& function);
};

} // namespace vaun
