#pragma once
// Builds the AudioMetadata record of one file from its file-system attributes, the format
// probe, the decoder's description of the stream and, for RIFF/WAVE files, the chunk walk
// with bext, iXML, chna, axml and dbmd. Artwork is a separate step.
#include "common/Errors.h"
#include "decode/AudioFormat.h"
#include "decode/StreamFacts.h"
#include "inspect/AudioMetadata.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace vaun {

struct MetadataAssembler {
    static constexpr const char* riffTruncatedWarning = "RIFF metadata is truncated or exceeds safety limits.";
    static constexpr const char* invalidBextWarning = "Invalid bext metadata.";
    static constexpr const char* invalidIXMLWarning = "Invalid or oversized iXML metadata.";

    // Reads the file at most three times (attributes, decoder header, chunk walk); never the
    // audio data. Throws CancellationError, SystemError for the attributes or the chunk walk,
    // DecoderError when the file cannot be opened. Damaged metadata only adds warnings.
    static AudioMetadata assemble(const std::filesystem::path& url,
                                  const CancellationTest& isCancelled = neverCancelled());

    // Fills `record.artworkData` with the first embedded picture of at most 4 MiB among the
    // first 256 items and sets `hasArtwork`; leaves both alone when there is none. Throws
    // DecoderError when the file cannot be opened and CancellationError when cancelled.
    static void addArtwork(AudioMetadata& record, const std::filesystem::path& url,
                           const CancellationTest& isCancelled = neverCancelled());

    // "PCM", "MP3", "AAC", "ALAC", "FLAC", "A-law", "μ-law", else "Unknown codec".
    static std::string codecHint(const AudioFormat& format);
    // codecHint where it names the codec; else "MP1", "MP2", "AC-3", "E-AC-3", "Opus",
    // "Vorbis", "DTS", "TrueHD", "WavPack", "GSM", "AMR", "IMA ADPCM" and the other ADPCM
    // variants, else FFmpeg's own name, and "Unknown codec" only where FFmpeg has none.
    static std::string codecName(const AudioFormat& format, const StreamFacts& facts);
    // Bits per channel for linear PCM, ALAC and FLAC when not 0; else absent.
    static std::optional<int> bitDepth(const AudioFormat& format);
    // A first name for the layout; the fallback forms ("Channel labels: …", "Speaker bitmap
    // 0x…", "Layout tag 0x…") are improved by `assemble` from the speaker labels.
    static std::optional<std::string> friendlyChannelLayout(const std::optional<AudioChannelLayout>& layout);
};

} // namespace vaun
