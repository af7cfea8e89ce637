#include "inspect/MagicByteSniff.h"

#include "inspect/TypeRegistry.h"

#include <cstring>

namespace vaun {
namespace {

bool bytesAre(const std::uint8_t* at, const char (&text)[5]) { return std::memcmp(at, text, 4) == 0; }

// A type the registry may not know falls back to plain audio.
std::string registeredOrAudio(std::string_view identifier) {
    return TypeRegistry::typeForIdentifier(identifier).value_or(std::string(UTTypeID::audio));
}

} // namespace

std::optional<MagicByteSniff::Hit> MagicByteSniff::detect(const std::uint8_t* head, std::size_t size) {
    if (!head || size < 4) return std::nullopt;
    if (size >= 12 && bytesAre(head, "RIFF") && bytesAre(head + 8, "WAVE"))
        return Hit{std::string(UTTypeID::wav), "WAVE / BWF"};
    if (size >= 12 && bytesAre(head, "FORM")) {
        // AIFF-C keeps the plain AIFF type and only changes its name.
        if (bytesAre(head + 8, "AIFF")) return Hit{std::string(UTTypeID::aiff), "AIFF"};
        if (bytesAre(head + 8, "AIFC")) return Hit{std::string(UTTypeID::aiff), "AIFF-C"};
    }
    if (bytesAre(head, "caff")) return Hit{registeredOrAudio(UTTypeID::coreAudioFormat), "CAF"};
    if (bytesAre(head, "fLaC")) return Hit{registeredOrAudio(UTTypeID::flac), "FLAC"};
    if (std::memcmp(head, "ID3", 3) == 0) return Hit{std::string(UTTypeID::mp3), "MP3"};
    if (head[0] == 0xFF && head[1] >= 0xE0) return Hit{std::string(UTTypeID::mp3), "MP3"}; // MPEG frame sync
    if (size >= 8 && bytesAre(head + 4, "ftyp")) return Hit{std::string(UTTypeID::mpeg4Audio), "MPEG-4 Audio"};
    return std::nullopt;
}

} // namespace vaun
