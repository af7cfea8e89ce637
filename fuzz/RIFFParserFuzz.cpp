// libFuzzer target: the RIFF walk over arbitrary bytes, with the default budgets and with
// small ones so that inputs of a few kilobytes reach the budget paths.
#include "Check.h"
#include "inspect/RIFFParser.h"

#include <cstring>

using vaun::RIFFParser;
using vaun::fuzz::require;

namespace {

void walk(const std::uint8_t* data, std::size_t size, const RIFFParser::Options& options) {
    const auto container = RIFFParser::parse(data, size, options);
    if (!container) return;
    require(size >= 12 && container->formType == std::string(reinterpret_cast<const char*>(data) + 8, 4));
    require(container->isRF64 == (std::memcmp(data, "RF64", 4) == 0));
    require(container->chunkIDs.size() <= 256);
    require(container->chunks.size() <= 65536);

    std::uint64_t kept = 0, previousOffset = 0;
    for (const auto& chunk : container->chunks) {
        const std::uint64_t length = chunk.payload.size();
        require(chunk.offset >= 12 && (previousOffset == 0 || chunk.offset > previousOffset));
        require(chunk.offset + 8 + length <= size);
        require(std::memcmp(data + chunk.offset, chunk.id.data(), 4) == 0);
        require(length == 0 || std::memcmp(data + chunk.offset + 8, chunk.payload.data(), length) == 0);
        require(length <= static_cast<std::uint64_t>(options.maxChunkBytes));
        kept += length;
        previousOffset = chunk.offset;
    }
    require(kept <= static_cast<std::uint64_t>(options.maxTotalBytes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    walk(data, size, RIFFParser::Options::defaults());
    walk(data, size, RIFFParser::Options{64, 256});
    return 0;
}
