#pragma once
// Embedded cover art as FFmpeg exposes it: attached-picture streams from ID3 APIC frames
// (MP3, WAVE 'id3 ' chunks), MP4 'covr' items and FLAC PICTURE blocks.
#include "common/Errors.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace vaun {

struct Artwork {
    // Pictures larger than this are passed over.
    static constexpr std::size_t maxBytes = 4194304;
    // Streams examined, in file order.
    static constexpr unsigned maxItems = 256;

    // The bytes of the first picture of at most maxBytes among the first maxItems streams,
    // as stored in the file; absent when there is none. Opening failures throw DecoderError;
    // cancellation, polled while opening and between items, throws CancellationError.
    static std::optional<std::vector<std::uint8_t>> find(const std::filesystem::path& path,
                                                         const CancellationTest& isCancelled = neverCancelled());
};

} // namespace vaun
