#pragma once
// What kind of container a file is, what to call it and whether it counts as supported
// audio: from the file name's extension through the type registry, else from the first
// bytes of the file.
#include <filesystem>
#include <string>
#include <vector>

namespace vaun {

struct UTTypeProbe {
    struct Result {
        std::string utType; // type identifier, e.g. "public.aifc-audio"
        std::string displayName;
        bool isSupported = false;
        bool operator==(const Result&) const = default;
    };

    // Never fails: unreadable, empty and unrecognised files give ("public.data", "Unknown", false).
    static Result probe(const std::filesystem::path& url);

    // WAVE, AIFF, AIFF-C, AAC, CAF, MP3, MPEG-4 audio and FLAC, in that order. Built once.
    static const std::vector<std::string>& supportedIdentifiers();

private:
    static std::string humanName(const std::string& type);
};

} // namespace vaun
