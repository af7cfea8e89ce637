#include "inspect/TypeRegistry.h"

#include <algorithm>
#include <array>

namespace vaun {
namespace {

struct TypeEntry {
    std::string_view identifier;
    std::string_view description;
    std::array<std::string_view, 2> parents; // empty strings fill unused slots
};

// Parents as Apple's registry declares them, trimmed to what conformance questions need.
constexpr TypeEntry kTypes[] = {
    {"public.item", "Item", {}},
    {"public.content", "Content", {}},
    {"public.data", "Data", {"public.item"}},
    {"public.directory", "Folder", {"public.item"}},
    {"com.apple.application-bundle", "Application", {"public.directory"}},
    {"public.composite-content", "Composite content", {"public.content"}},
    {"public.audiovisual-content", "Audiovisual content", {"public.data", "public.content"}},
    {"public.audio", "Audio", {"public.audiovisual-content"}},
    {"public.movie", "Movie", {"public.audiovisual-content"}},
    {"com.apple.quicktime-movie", "QuickTime movie", {"public.movie"}},
    // Audio the probe names.
    {"com.microsoft.waveform-audio", "Waveform audio", {"public.audio"}},
    {"public.aiff-audio", "AIFF audio", {"public.audio"}},
    {"public.aifc-audio", "AIFF-C audio", {"public.audio"}},
    {"public.aac-audio", "AAC audio", {"public.audio"}},
    {"com.apple.coreaudio-format", "Core Audio format", {"public.audio"}},
    {"public.mp3", "MP3 audio", {"public.audio"}},
    {"public.mpeg-4-audio", "MPEG-4 audio", {"public.audio"}},
    {"org.xiph.flac", "FLAC audio", {"public.audio"}},
    // Other audio: supported by conformance, named by their description.
    {"org.xiph.ogg-audio", "Ogg audio", {"public.audio"}},
    {"org.xiph.opus", "Opus audio", {"public.audio"}},
    {"com.microsoft.windows-media-wma", "Windows Media audio", {"public.audio"}},
    {"public.ulaw-audio", "μ-law audio", {"public.audio"}},
    {"public.ac3-audio", "AC-3 audio", {"public.audio"}},
    {"public.enhanced-ac3-audio", "Enhanced AC-3 audio", {"public.audio"}},
    {"org.3gpp.adaptive-multi-rate-audio", "AMR audio", {"public.audio"}},
    {"org.matroska.mka", "Matroska audio", {"public.audio"}},
    {"com.sonicfoundry.wave64", "Wave64 audio", {"public.audio"}},
    // Known, but not audio.
    {"public.text", "Text", {"public.data", "public.content"}},
    {"public.plain-text", "Plain text", {"public.text"}},
    {"public.comma-separated-values-text", "Comma-separated values", {"public.text"}},
    {"public.json", "JSON", {"public.text"}},
    {"public.xml", "XML", {"public.text"}},
    {"public.html", "HTML", {"public.text"}},
    {"public.image", "Image", {"public.data", "public.content"}},
    {"public.png", "PNG image", {"public.image"}},
    {"public.jpeg", "JPEG image", {"public.image"}},
    {"com.compuserve.gif", "GIF image", {"public.image"}},
    {"public.tiff", "TIFF image", {"public.image"}},
    {"com.adobe.pdf", "PDF document", {"public.data", "public.composite-content"}},
    {"public.archive", "Archive", {"public.data"}},
    {"public.zip-archive", "ZIP archive", {"public.archive"}},
};

struct ExtensionEntry {
    std::string_view extension; // lower case
    std::string_view identifier;
};

constexpr ExtensionEntry kExtensions[] = {
    {"wav", "com.microsoft.waveform-audio"},
    {"wave", "com.microsoft.waveform-audio"},
    {"bwf", "com.microsoft.waveform-audio"},
    {"rf64", "com.microsoft.waveform-audio"},
    {"aif", "public.aiff-audio"},
    {"aiff", "public.aiff-audio"},
    {"aifc", "public.aifc-audio"},
    {"caf", "com.apple.coreaudio-format"},
    {"mp3", "public.mp3"},
    {"m4a", "public.mpeg-4-audio"},
    {"mp4", "public.mpeg-4-audio"},
    {"aac", "public.aac-audio"},
    {"adts", "public.aac-audio"},
    {"flac", "org.xiph.flac"},
    {"ogg", "org.xiph.ogg-audio"},
    {"oga", "org.xiph.ogg-audio"},
    {"opus", "org.xiph.opus"},
    {"wma", "com.microsoft.windows-media-wma"},
    {"au", "public.ulaw-audio"},
    {"snd", "public.ulaw-audio"},
    {"ac3", "public.ac3-audio"},
    {"ec3", "public.enhanced-ac3-audio"},
    {"amr", "org.3gpp.adaptive-multi-rate-audio"},
    {"mka", "org.matroska.mka"},
    {"w64", "com.sonicfoundry.wave64"},
    {"mov", "com.apple.quicktime-movie"},
    {"txt", "public.plain-text"},
    {"text", "public.plain-text"},
    {"csv", "public.comma-separated-values-text"},
    {"json", "public.json"},
    {"xml", "public.xml"},
    {"html", "public.html"},
    {"htm", "public.html"},
    {"png", "public.png"},
    {"jpg", "public.jpeg"},
    {"jpeg", "public.jpeg"},
    {"gif", "com.compuserve.gif"},
    {"tif", "public.tiff"},
    {"tiff", "public.tiff"},
    {"pdf", "com.adobe.pdf"},
    {"zip", "public.zip-archive"},
    {"app", "com.apple.application-bundle"},
};

const TypeEntry* find(std::string_view identifier) {
    const auto it = std::find_if(std::begin(kTypes), std::end(kTypes),
                                 [&](const TypeEntry& e) { return e.identifier == identifier; });
    return it == std::end(kTypes) ? nullptr : &*it;
}

bool equalsIgnoringASCIICase(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char c = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
        if (c != lower[i]) return false;
    }
    return true;
}

} // namespace

std::optional<std::string> TypeRegistry::typeForExtension(std::string_view extension, std::string_view conformingTo) {
    if (extension.empty()) return std::nullopt;
    for (const auto& e : kExtensions) {
        if (equalsIgnoringASCIICase(extension, e.extension) && conforms(e.identifier, conformingTo))
            return std::string(e.identifier);
    }
    return std::nullopt;
}

std::optional<std::string> TypeRegistry::typeForIdentifier(std::string_view identifier) {
    if (!find(identifier)) return std::nullopt;
    return std::string(identifier);
}

bool TypeRegistry::conforms(std::string_view type, std::string_view to) {
    // Breadth-first over the fixed table; the graph is small and acyclic, so a queue the
    // size of the table is enough.
    std::array<std::string_view, std::size(kTypes)> queue{};
    std::size_t head = 0, tail = 0;
    queue[tail++] = type;
    while (head < tail) {
        const std::string_view current = queue[head++];
        if (current == to) return true;
        const TypeEntry* entry = find(current);
        if (!entry) continue;
        for (std::string_view parent : entry->parents) {
            if (parent.empty() || tail == queue.size()) continue;
            if (std::find(queue.begin(), queue.begin() + std::ptrdiff_t(tail), parent) == queue.begin() + std::ptrdiff_t(tail))
                queue[tail++] = parent;
        }
    }
    return false;
}

std::optional<std::string> TypeRegistry::localizedDescription(std::string_view identifier) {
    const TypeEntry* entry = find(identifier);
    if (!entry) return std::nullopt;
    return std::string(entry->description);
}

std::vector<std::string> TypeRegistry::extensions(std::string_view conformingTo) {
    std::vector<std::string> result;
    for (const auto& e : kExtensions)
        if (conforms(e.identifier, conformingTo)) result.emplace_back(e.extension);
    return result;
}

} // namespace vaun
