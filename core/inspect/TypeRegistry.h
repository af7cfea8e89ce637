#pragma once
// The desktop has no uniform type registry, so this is ours: file-name extensions to type
// identifiers, spelled as Apple's registry spells them, with a conformance graph and a
// display description for every identifier it knows.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vaun {

namespace UTTypeID {
inline constexpr std::string_view item = "public.item";
inline constexpr std::string_view content = "public.content";
inline constexpr std::string_view data = "public.data";
inline constexpr std::string_view audio = "public.audio";
inline constexpr std::string_view wav = "com.microsoft.waveform-audio";
inline constexpr std::string_view aiff = "public.aiff-audio";
inline constexpr std::string_view aifc = "public.aifc-audio";
inline constexpr std::string_view aac = "public.aac-audio";
inline constexpr std::string_view coreAudioFormat = "com.apple.coreaudio-format";
inline constexpr std::string_view mp3 = "public.mp3";
inline constexpr std::string_view mpeg4Audio = "public.mpeg-4-audio";
inline constexpr std::string_view flac = "org.xiph.flac";
} // namespace UTTypeID

struct TypeRegistry {
    // The type registered for a file-name extension (compared without regard to ASCII case)
    // that conforms to `conformingTo`; absent for unknown extensions and the empty one.
    static std::optional<std::string> typeForExtension(std::string_view extension,
                                                       std::string_view conformingTo = UTTypeID::data);
    // The identifier itself when the registry knows it, else absent.
    static std::optional<std::string> typeForIdentifier(std::string_view identifier);
    // Reflexive and transitive over the registered parents; unknown types conform to nothing
    // but themselves.
    static bool conforms(std::string_view type, std::string_view to);
    // Display text such as "Waveform audio"; absent for unknown identifiers.
    static std::optional<std::string> localizedDescription(std::string_view identifier);
    // The registered extensions (lower case, table order) whose type conforms to
    // `conformingTo`, for open dialogs and drop targets.
    static std::vector<std::string> extensions(std::string_view conformingTo);
};

} // namespace vaun
