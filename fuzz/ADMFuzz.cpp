// libFuzzer target: the chna and axml decoders and the model built from them. The input is
// a 2-byte little-endian chna length, the chna payload, then the axml document.
#include "Check.h"
#include "inspect/ADMModel.h"

#include <algorithm>
#include <cmath>

using vaun::ADMModel;
using vaun::fuzz::isUTF8;
using vaun::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t chnaSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const auto chna = vaun::ChnaChunk::parse(data + 2, chnaSize);
    // Low limits so the fuzzer reaches them.
    const vaun::AXMLOptions options{.maxBytes = 1 << 20, .maxElements = 4096, .maxDepth = 64, .maxTextBytes = 4096};
    const auto document = vaun::AXMLDocument::parse(data + 2 + chnaSize, size - 2 - chnaSize, options);
    if (!chna) return 0;
    require(chna->entries.size() <= (chnaSize - 4) / 40);
    const ADMModel model = ADMModel::build(*chna, document ? &*document : nullptr);
    require(model.tracks.size() == chna->entries.size());
    require(isUTF8(model.programme) && isUTF8(model.content));
    for (const auto& track : model.tracks) {
        require(track.index > 0);
        require(track.type == "DirectSpeakers" || track.type == "Objects" || track.type == "HOA" ||
                track.type == "Binaural" || track.type == "other");
        for (const auto& block : track.blocks) {
            require(!block.rtimeSeconds || (std::isfinite(*block.rtimeSeconds) && *block.rtimeSeconds >= 0));
            require(!block.durationSeconds || (std::isfinite(*block.durationSeconds) && *block.durationSeconds >= 0));
            require(!(block.distance < 0));
        }
    }
    return 0;
}
