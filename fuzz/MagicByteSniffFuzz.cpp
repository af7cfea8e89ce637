// libFuzzer target: container recognition from the first bytes of a file.
#include "Check.h"
#include "inspect/MagicByteSniff.h"

using vaun::MagicByteSniff;
using vaun::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto hit = MagicByteSniff::detect(data, size);
    if (size < 4) require(!hit);
    if (hit) require(!hit->utType.empty() && !hit->displayName.empty());
    // Only the first 12 bytes decide.
    if (size > 12) require(MagicByteSniff::detect(data, 12) == hit);
    return 0;
}
