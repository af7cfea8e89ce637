// libFuzzer target: bext payload decoding.
#include "Check.h"
#include "inspect/BWFChunk.h"

using vaun::BWFChunk;
using vaun::fuzz::isUTF8;
using vaun::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto chunk = BWFChunk::parse(data, size);
    require(chunk.has_value() == (size >= 602));
    if (!chunk) return 0;
    for (const std::string* text : {&chunk->description, &chunk->originator, &chunk->originatorReference,
                                    &chunk->originationDate, &chunk->originationTime, &chunk->codingHistory}) {
        require(isUTF8(*text));
        require(text->find('\0') == std::string::npos);
    }
    require(!chunk->timeReferenceSeconds);
    require(!chunk->umid || (chunk->umid->size() == 64 || chunk->umid->size() == 128));
    for (const auto& value : {chunk->loudnessValue, chunk->loudnessRange, chunk->maxTruePeakLevel,
                              chunk->maxMomentaryLoudness, chunk->maxShortTermLoudness})
        require(!value || (chunk->version >= 2 && *value >= -327.68 && *value <= 327.66));
    return 0;
}
