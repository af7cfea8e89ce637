#include "inspect/MetadataAssembler.h"

#include "decode/AudioFile.h"
#include "inspect/ADMModel.h"
#include "inspect/Ambisonics.h"
#include "inspect/Artwork.h"
#include "inspect/BWFChunk.h"
#include "inspect/ChannelMap.h"
#include "inspect/FileAttributes.h"
#include "inspect/IXMLChunk.h"
#include "inspect/MarkerChunks.h"
#include "inspect/ProductionFacts.h"
#include "inspect/RIFFParser.h"
#include "inspect/Tags.h"
#include "inspect/UTTypeProbe.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <string_view>

namespace vaun {
namespace {

constexpr std::size_t kMaxListedDescriptions = 256;
constexpr std::uint32_t kFamilyMask = 0xFFFF0000;
constexpr const char* kMiddleDot = " \xC2\xB7 "; // " · "

std::string hex(std::uint32_t value) {
    char buffer[8];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    return std::string(buffer, result.ptr);
}

bool startsWithAny(const std::optional<std::string>& text, std::initializer_list<std::string_view> prefixes) {
    if (!text) return false;
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view p) { return std::string_view(*text).starts_with(p); });
}

bool contains(const std::vector<std::string>& ids, std::string_view id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string joined(const std::vector<std::string>& labels, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) out += separator;
        out += labels[i];
    }
    return out;
}

std::optional<int> asInt(std::uint32_t value) {
    if (value > std::uint32_t(INT_MAX)) return std::nullopt;
    return int(value);
}

// Replaces a fallback layout name with one built from the speaker labels.
std::optional<std::string> betterLayoutName(const AudioFormat& native, const ChannelMap& resolved) {
    if (const auto labels = ChannelMap::fileLabels(native)) {
        if (const auto name = ChannelMap::formatName(*labels)) return *name + " (" + joined(*labels, " ") + ")";
    }
    const bool discrete =
        native.channelLayout && (native.channelLayout->layoutTag & kFamilyMask) == AudioChannelLayout::kDiscreteInOrder;
    std::string base = discrete ? "Discrete, no speaker labels" : "Speaker labels not recognised";
    if (const auto shown = ChannelMap::formatName(resolved.labels)) base += kMiddleDot + ("shown in " + *shown + " order");
    return base;
}

// Reads the WAVE chunks; `ixml` is left holding the last iXML chunk that decoded.
void readChunks(AudioMetadata& record, const RIFFParser::Container& container, const ChannelMap& resolved,
                const CancellationTest& isCancelled, std::optional<IXMLChunk>& ixml) {
    if (container.truncated) record.warnings.emplace_back(MetadataAssembler::riffTruncatedWarning);
    record.isRF64 = container.isRF64;
    if (contains(container.chunkIDs, "axml")) {
        record.isADM = contains(container.chunkIDs, "chna");
        if (record.isADM && startsWithAny(record.channelLayoutName, {"Speaker labels not recognised", "Discrete"})) {
            std::string name = "Defined by ADM (chna)";
            if (const auto shown = ChannelMap::formatName(resolved.labels))
                name += kMiddleDot + ("shown in " + *shown + " order");
            record.channelLayoutName = std::move(name);
        }
    } else {
        record.isADM = false;
    }
    record.hasDolbyMetadata = contains(container.chunkIDs, "dbmd");

    const double rate = record.sampleRateHz.value_or(0);
    for (const auto& chunk : container.chunks) {
        throwIfCancelled(isCancelled);
        if (chunk.id == "bext") {
            if (auto bwf = BWFChunk::parse(chunk.payload)) {
                record.bwfTimeReferenceSamples = bwf->timeReferenceSamples;
                record.bwfTimeReferenceSeconds =
                    rate > 0 ? std::optional<double>(double(bwf->timeReferenceSamples) / rate) : std::nullopt;
                record.bwf = std::move(*bwf);
            } else {
                record.warnings.emplace_back(MetadataAssembler::invalidBextWarning);
            }
        } else if (chunk.id == "chna") {
            // The first word is the number of tracks; shorter payloads say nothing.
            if (chunk.payload.size() >= 4) record.admTrackCount = chunk.payload[0] | (chunk.payload[1] << 8);
        } else if (chunk.id == "iXML") {
            if (auto parsed = IXMLChunk::parse(chunk.payload)) {
                record.iXMLProject = parsed->project;
                record.iXMLScene = parsed->scene;
                record.iXMLTape = parsed->tape;
                record.iXMLTrack = parsed->track;
                record.iXMLNotes = parsed->notes;
                ixml = std::move(parsed);
            } else {
                record.warnings.emplace_back(MetadataAssembler::invalidIXMLWarning);
            }
        }
    }
}

// Track labels only when they can stand for every channel: a partial or damaged set would
// put names on the wrong lanes.
std::vector<std::string> admTrackLabels(const ADMModel& adm, std::optional<int> channels) {
    if (!adm.warnings.empty() || !channels || *channels <= 0) return {};
    std::vector<std::optional<std::string>> byChannel(static_cast<std::size_t>(*channels));
    for (const auto& track : adm.tracks) {
        if (track.index < 1 || track.index > *channels) continue;
        auto& slot = byChannel[static_cast<std::size_t>(track.index - 1)];
        if (!slot) slot = ADMModel::shortLabel(track); // later entries share the track over time
    }
    std::vector<std::string> labels;
    for (auto& label : byChannel) {
        if (!label) return {};
        labels.push_back(std::move(*label));
    }
    return labels;
}

void addADMSummary(AudioMetadata& record, const ADMModel& adm) {
    if (adm.programme.find_first_not_of(" \t\r\n") != std::string::npos) record.admProgramme = adm.programme;
    if (!adm.content.empty()) record.admContent = adm.content;
    record.admOtherProgrammes = adm.otherProgrammes;
    record.admTrackLabels = admTrackLabels(adm, record.channels);
}

// FFmpeg's WAVE reader passes the bext fields on as tags, some under tag names.
Tags::List shownElsewhere(const AudioMetadata& record) {
    if (!record.bwf) return {};
    Tags::List shown;
    for (const char* key : {"description", "originator", "originator_reference", "origination_date",
                            "origination_time", "time_reference", "umid", "coding_history"})
        shown.emplace_back(key, std::string());
    const BWFChunk& b = *record.bwf;
    for (const auto& [key, value] : {std::pair{"comment", &b.description}, std::pair{"encoded_by", &b.originator},
                                     std::pair{"date", &b.originationDate}})
        if (!value->empty()) shown.emplace_back(key, *value);
    return shown;
}

// FFmpeg's chapters, for the containers whose own marker chunks are not read here.
std::vector<Marker> chapterMarkers(const StreamFacts& facts) {
    std::vector<Marker> markers;
    for (const auto& c : facts.chapters) {
        Marker m;
        m.kind = Marker::Kind::chapter;
        m.id = c.id;
        m.start = std::max<std::int64_t>(0, c.start);
        if (c.end > m.start) m.length = c.end - m.start;
        if (std::string title = Tags::text(c.title); !title.empty()) m.label = std::move(title);
        markers.push_back(std::move(m));
    }
    std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) {
        return a.start != b.start ? a.start < b.start : a.id < b.id;
    });
    return markers;
}

// An ADM file that is one complete sound field: every track of one HOA object, each ACN once.
std::optional<AmbisonicLayout> admSoundField(const ADMModel& adm, std::optional<int> channels) {
    const auto order = Ambisonics::orderFor(channels.value_or(0));
    if (!order || !adm.warnings.empty() || int(adm.tracks.size()) != *channels) return std::nullopt;
    std::vector<bool> seen(std::size_t(*channels), false);
    for (const auto& t : adm.tracks) {
        if (t.type != "HOA" || !t.order || !t.degree || t.normalization != adm.tracks.front().normalization ||
            t.object != adm.tracks.front().object)
            return std::nullopt;
        const int acn = *t.order * *t.order + *t.order + *t.degree;
        if (acn < 0 || acn >= *channels || acn != t.index - 1 || seen[std::size_t(acn)]) return std::nullopt;
        seen[std::size_t(acn)] = true;
    }
    return AmbisonicLayout{*order, adm.tracks.front().normalization, false};
}

// A sound field's channels are its components, not speakers.
void labelSoundField(AudioMetadata& record) {
    if (!record.ambisonics) return;
    const auto& layout = *record.ambisonics;
    static constexpr int kFuMaToACN[] = {0, 3, 1, 2, 6, 7, 5, 8, 4, 12, 13, 11, 14, 10, 15, 9};
    record.channelLabels.clear();
    for (int c = 0; c < record.channels.value_or(0); ++c)
        record.channelLabels.push_back(Ambisonics::componentLabel(layout.fumaOrder && c < 16 ? kFuMaToACN[c] : c));
    record.channelLayoutName = Ambisonics::layoutName(layout);
}

} // namespace

std::string MetadataAssembler::codecHint(const AudioFormat& format) {
    if (!format.formatID) return "Unknown codec";
    switch (*format.formatID) {
    case FormatID::LinearPCM: return "PCM";
    case FormatID::MPEGLayer3: return "MP3";
    case FormatID::MPEG4AAC: return "AAC";
    case FormatID::AppleLossless: return "ALAC";
    case FormatID::FLAC: return "FLAC";
    case FormatID::ALaw: return "A-law";
    case FormatID::ULaw: return "\xCE\xBC-law"; // μ-law
    default: return "Unknown codec";
    }
}

std::string MetadataAssembler::codecName(const AudioFormat& format, const StreamFacts& facts) {
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"mp1", "MP1"},       {"mp2", "MP2"},       {"mp3", "MP3"},       {"mp3adu", "MP3"},  {"mp3on4", "MP3"},
        {"aac", "AAC"},       {"aac_latm", "AAC"},  {"ac3", "AC-3"},      {"eac3", "E-AC-3"}, {"opus", "Opus"},
        {"vorbis", "Vorbis"}, {"dts", "DTS"},       {"truehd", "TrueHD"}, {"wavpack", "WavPack"},
        {"gsm", "GSM"},       {"gsm_ms", "GSM"},    {"amr_nb", "AMR"},    {"amr_wb", "AMR"},
        {"adpcm_ima_wav", "IMA ADPCM"}, {"adpcm_ima_qt", "IMA ADPCM (QuickTime)"}, {"adpcm_ms", "Microsoft ADPCM"},
    };
    if (std::string hint = codecHint(format); hint != "Unknown codec") return hint;
    const std::string_view name = facts.codecName;
    for (const auto& [ffmpeg, shown] : kNames)
        if (name == ffmpeg) return std::string(shown);
    std::string_view longName = facts.codecLongName;
    // FFmpeg writes "ADPCM Yamaha", "ADPCM IMA Westwood"; users read "Yamaha ADPCM".
    if (name.starts_with("adpcm_") && longName.starts_with("ADPCM ") && longName.size() > 6)
        return std::string(longName.substr(6)) + " ADPCM";
    if (!longName.empty()) return std::string(longName);
    if (!name.empty()) return std::string(name);
    return "Unknown codec";
}

std::optional<int> MetadataAssembler::bitDepth(const AudioFormat& format) {
    if (!format.formatID || format.bitsPerChannel == 0) return std::nullopt;
    const std::uint32_t id = *format.formatID;
    if (id != FormatID::LinearPCM && id != FormatID::AppleLossless && id != FormatID::FLAC) return std::nullopt;
    return asInt(format.bitsPerChannel);
}

std::optional<std::string> MetadataAssembler::friendlyChannelLayout(const std::optional<AudioChannelLayout>& layout) {
    if (!layout) return std::nullopt;
    switch (layout->layoutTag) {
    case AudioChannelLayout::kMono: return "Mono";
    case AudioChannelLayout::kStereo: return "Stereo (L R)";
    case 0x790006: return "5.1 (L R C LFE Ls Rs)"; // kAudioChannelLayoutTag_MPEG_5_1_A
    case AudioChannelLayout::kUseChannelDescriptions: {
        const auto& descriptions = layout->channelDescriptions;
        if (descriptions.empty() || descriptions.size() > kMaxListedDescriptions) return std::nullopt;
        std::string name = "Channel labels: ";
        for (std::size_t i = 0; i < descriptions.size(); ++i) {
            if (i > 0) name += ", ";
            name += std::to_string(descriptions[i].channelLabel);
        }
        return name;
    }
    case AudioChannelLayout::kUseChannelBitmap: return "Speaker bitmap 0x" + hex(layout->channelBitmap);
    default: return "Layout tag 0x" + hex(layout->layoutTag);
    }
}

AudioMetadata MetadataAssembler::assemble(const std::filesystem::path& url, const CancellationTest& isCancelled) {
    throwIfCancelled(isCancelled);
    const FileAttributes attributes = FileAttributes::read(url);
    const UTTypeProbe::Result type = UTTypeProbe::probe(url);
    const AudioFile file(url);
    const AudioFormat& native = file.fileFormat();
    const StreamFacts& facts = file.streamFacts();
    const double rate = file.processingFormat().sampleRateHz;

    AudioMetadata record;
    record.fileName = url.filename().string();
    record.fileSizeBytes = attributes.sizeBytes;
    record.containerUTType = type.utType;
    record.containerDescription = type.displayName;
    record.codec = codecName(native, facts);
    // A profile that only repeats the codec's name ("DTS") says nothing more.
    if (facts.profile && facts.profile != record.codec) record.codecProfile = facts.profile;
    if (rate > 0) record.durationSeconds = double(file.length()) / rate;
    record.sampleRateHz = rate;
    record.bitRate = facts.bitRate;
    record.bitDepth = bitDepth(native);
    record.channels = asInt(native.channelCount);
    record.channelLayoutName = friendlyChannelLayout(native.channelLayout);
    record.creationDate = attributes.creationDate;
    record.modificationDate = attributes.modificationDate;

    const ChannelMap resolved = ChannelMap::resolve(native);
    record.channelLabels = resolved.labels;
    if (startsWithAny(record.channelLayoutName, {"Channel labels", "Speaker bitmap", "Layout tag"}))
        record.channelLayoutName = betterLayoutName(native, resolved);

    throwIfCancelled(isCancelled);
    const auto container = RIFFParser::scan(url, RIFFParser::Options::defaults(), isCancelled);
    const std::string form = container ? container->formType : std::string();
    if (form == "WAVE") {
        std::optional<IXMLChunk> ixml;
        readChunks(record, *container, resolved, isCancelled, ixml);
        // The axml is read apart from the walk's budgets; only its failure shows here.
        if (record.isADM) {
            AXMLOptions soundnessOnly;
            soundnessOnly.keepBlocks = false;
            const auto adm = ADMModel::read(url, soundnessOnly, isCancelled);
            if (adm && !adm->warnings.empty()) record.warnings.emplace_back(ADMModel::unreadableWarning);
            if (adm) addADMSummary(record, *adm);
            if (adm) record.ambisonics = admSoundField(*adm, record.channels);
        }
        ProductionFacts::fill(record, ixml, native.channelLayout.has_value());
        if (!record.ambisonics) {
            std::vector<std::optional<std::string>> names;
            for (const auto& t : record.tracks) names.push_back(t.name);
            record.ambisonics = Ambisonics::fromTrackNames(names);
        }
        // FFmpeg's chapters of a WAVE keep neither most labels nor any region's length.
        record.markers = MarkerChunks::readWave(container->chunks);
    } else if (form == "AIFF" || form == "AIFC") {
        record.markers = MarkerChunks::readAIFF(container->chunks);
    } else {
        record.markers = chapterMarkers(facts);
    }
    if (!record.ambisonics) record.ambisonics = Ambisonics::fromLayout(native.channelLayout, record.channels.value_or(0));
    labelSoundField(record);
    record.tags = Tags::clean(facts.tags, shownElsewhere(record));
    return record;
}

void MetadataAssembler::addArtwork(AudioMetadata& record, const std::filesystem::path& url,
                                   const CancellationTest& isCancelled) {
    throwIfCancelled(isCancelled);
    auto picture = Artwork::find(url, isCancelled);
    throwIfCancelled(isCancelled);
    if (picture) {
        record.artworkData = std::move(*picture);
        record.hasArtwork = true;
    }
}

} // namespace vaun
