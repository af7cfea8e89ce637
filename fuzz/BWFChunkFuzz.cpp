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
                                    &chunk->originationDate, &chunk->originationTime}) {
        require(isUTF8(*text));
        require(text->empty() || text->back() != '\0');
    }
    require(!chunk->timeReferenceSeconds);
    return 0;
}
