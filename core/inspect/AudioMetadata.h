#pragma once
// Everything known about one audio file apart from its waveform and loudness: file facts,
// stream format, layout and speaker labels, broadcast-wave and iXML metadata, artwork and
// the warnings met while reading them. A plain value; display formatting lives in the views.
#include "inspect/Ambisonics.h"
#include "inspect/BWFChunk.h"
#include "inspect/Marker.h"
#include "inspect/Timecode.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vaun {

struct AudioMetadata {
    using Date = std::chrono::system_clock::time_point;

    // One channel's track as the recorder named it.
    struct Track {
        int channel = 0; // from 1: the channel's position in the file
        std::optional<std::string> name;
        std::optional<std::string> function;
        // The speaker `function` names ("L", "LFE"), kept only for a file that declares no
        // layout of its own.
        std::optional<std::string> speaker;
        bool operator==(const Track&) const = default;
    };

    std::string fileName;
    std::int64_t fileSizeBytes = 0;
    std::optional<std::string> containerUTType;
    std::optional<std::string> containerDescription;
    std::optional<std::string> codec;
    std::optional<double> durationSeconds;
    std::optional<double> sampleRateHz;
    std::optional<int> bitDepth;
    std::optional<int> channels;
    std::optional<std::string> channelLayoutName;
    std::optional<std::int64_t> bitRate;
    std::optional<Date> creationDate;
    std::optional<Date> modificationDate;
    std::optional<std::uint64_t> bwfTimeReferenceSamples;
    std::optional<double> bwfTimeReferenceSeconds;
    std::optional<std::string> iXMLProject;
    std::optional<std::string> iXMLScene;
    std::optional<std::string> iXMLTape;
    std::optional<std::string> iXMLTrack;
    std::optional<std::string> iXMLNotes;
    bool hasArtwork = false; // true once artwork is found
    // The fields below start at fixed values and are filled by the assembler.
    std::optional<std::vector<std::uint8_t>> artworkData;
    std::optional<BWFChunk> bwf;
    std::vector<std::string> channelLabels;
    bool isADM = false;
    std::optional<int> admTrackCount;
    std::optional<std::string> admProgramme; // absent when the file names none
    std::optional<std::string> admContent;   // "7.1.2 bed + 4 objects"
    std::vector<std::string> admOtherProgrammes; // the programmes besides the one played
    // One short label per file channel in file order ("L", "Ltf", "Dialog"); empty unless the
    // ADM metadata read cleanly and names every channel.
    std::vector<std::string> admTrackLabels;
    bool hasDolbyMetadata = false;
    bool isRF64 = false;
    std::vector<std::string> warnings;
    // FFmpeg's name of the codec profile ("LC", "HE-AAC"); absent when none.
    std::optional<std::string> codecProfile;
    // Descriptive tags in file order, lower-case keys as FFmpeg's demuxers name them
    // ("title", "artist", "album_artist"); none that the record shows elsewhere.
    std::vector<std::pair<std::string, std::string>> tags;
    // Production sound, from iXML, else from the recorder's lines in the bext description.
    std::optional<std::string> iXMLTake;
    std::optional<bool> iXMLCircled;
    std::optional<std::string> iXMLUbits;
    std::optional<std::string> iXMLFamilyUID;
    std::optional<std::string> iXMLSpeedNote;
    std::optional<Timecode> timecode;
    // One entry per channel in file order when the file names any track, else empty.
    std::vector<Track> tracks;
    // Cue points, regions, loops and chapters, sorted by start, then id.
    std::vector<Marker> markers;
    // A sound field rather than speaker feeds: from the container's layout, an ADM HOA pack or
    // track names ACN0, ACN1, …
    std::optional<AmbisonicLayout> ambisonics;

    bool operator==(const AudioMetadata&) const = default;
};

} // namespace vaun
