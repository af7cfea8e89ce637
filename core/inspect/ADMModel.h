#pragma once
// What an ADM broadcast wave says about its tracks: programme, objects, types, speaker
// labels and positions over time, read from "chna" and "axml".
#include "inspect/ADMChunks.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vaun {

struct ADMModel {
    struct Block {
        // Within the object; both absent: the block spans its whole object.
        std::optional<double> rtimeSeconds, durationSeconds;
        double azimuth = 0, elevation = 0, distance = 1; // degrees; cartesian ones as BS.2127 maps them
        std::optional<double> x, y, z;                   // as written, for a cartesian block
        bool operator==(const Block&) const = default;
    };
    struct Track {
        int index = 0; // 1-based file track
        std::string object; // as the file names it, empty included
        std::string type; // "DirectSpeakers", "Objects", "HOA", "Binaural" or "other"
        std::string label; // speaker label, else the channel format's name
        std::vector<Block> blocks;
        // The object's own span in the file; absent: from the start, to the end.
        std::optional<double> objectStartSeconds, objectDurationSeconds;
        // HOA: the component and its normalisation ("SN3D", "N3D", "FuMa").
        std::optional<int> order, degree;
        std::string normalization;
        bool operator==(const Track&) const = default;
    };

    // The programme with the lowest ID; the others' names follow.
    std::string programme;
    std::vector<std::string> otherProgrammes;
    std::string content; // "7.1.2 bed + 4 objects"
    std::vector<Track> tracks;
    std::vector<std::string> warnings;
    bool operator==(const ADMModel&) const = default;

    static constexpr const char* unreadableWarning = "ADM metadata could not be read.";

    // Absent when the file carries no "axml" chunk. I/O errors throw SystemError,
    // cancellation CancellationError; damaged or over-limit metadata gives the warning.
    static std::optional<ADMModel> read(const std::filesystem::path& path, const AXMLOptions& options = {},
                                        const CancellationTest& isCancelled = neverCancelled());
    // `document` may be absent (unreadable "axml"): common definitions still resolve.
    static ADMModel build(const ChnaChunk& chna, const AXMLDocument* document);
    // The project's speaker label for an ADM one ("M+030" → "L"), "?" when unknown.
    static std::string speakerLabel(std::string_view admLabel);
    // A label short enough for a lane or a meter: the speaker label of a bed track (a
    // RoomCentric "RC_Lss" as "Lss"), an HOA track's ACN number ("ACN 3"), else the object's
    // name cut to 8 characters ("Helicop…"), "Obj N" when it has none.
    static std::string shortLabel(const Track& track);
};

} // namespace vaun
