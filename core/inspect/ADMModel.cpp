#include "inspect/ADMModel.h"

#include "inspect/ADMCommonDefinitions.h"
#include "inspect/ADMCoordinates.h"
#include "inspect/ChannelMap.h"

#include <algorithm>
#include <set>
#include <cmath>

namespace vaun {
namespace {

std::string normalisedType(const std::string& type) {
    for (const char* known : {"DirectSpeakers", "Objects", "HOA", "Binaural"})
        if (type == known) return type;
    return "other";
}

// IDs carry the type in their first four digits (AC_0003xxxx is an object channel).
std::string typeFromID(const std::string& id) {
    static constexpr std::pair<std::string_view, const char*> kTypes[] = {
        {"0001", "DirectSpeakers"}, {"0003", "Objects"}, {"0004", "HOA"}, {"0005", "Binaural"}};
    if (id.size() < 7) return {};
    for (const auto& [digits, type] : kTypes)
        if (std::string_view(id).substr(3, 4) == digits) return type;
    return {};
}

template <typename Map> const typename Map::mapped_type* find(const Map& map, const std::string& key) {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

ADMModel::Block converted(const AXMLDocument::Block& b) {
    ADMModel::Block block;
    block.rtimeSeconds = b.rtimeSeconds;
    block.durationSeconds = b.durationSeconds;
    if (b.x || b.y || b.z) {
        block.x = b.x.value_or(0), block.y = b.y.value_or(0), block.z = b.z.value_or(0);
        const ADMPolar p = ADMCoordinates::toPolar({*block.x, *block.y, *block.z});
        block.azimuth = p.azimuth, block.elevation = p.elevation, block.distance = p.distance;
    } else {
        block.azimuth = b.azimuth.value_or(0);
        block.elevation = b.elevation.value_or(0);
        block.distance = b.distance.value_or(1);
    }
    return block;
}

// The programme a renderer plays: the lowest ID, as the EBU's reference renderer chooses.
const AXMLDocument::Named* chosenProgramme(const AXMLDocument& doc, std::vector<std::string>& others) {
    const std::pair<std::string, AXMLDocument::Named>* chosen = nullptr;
    for (const auto& p : doc.programmes)
        if (!chosen || p.first.size() < chosen->first.size() ||
            (p.first.size() == chosen->first.size() && p.first < chosen->first))
            chosen = &p;
    for (const auto& p : doc.programmes)
        if (&p != chosen) others.push_back(p.second.name);
    return chosen ? &chosen->second : nullptr;
}

// The objects a programme plays, nested ones included; walked without recursion and each
// object once, whatever cycles the file holds.
std::set<std::string> objectsOf(const AXMLDocument& doc, const AXMLDocument::Named& programme) {
    std::set<std::string> reached;
    std::vector<std::string> pending;
    for (const auto& content : programme.refs)
        if (const auto it = doc.contents.find(content); it != doc.contents.end())
            pending.insert(pending.end(), it->second.refs.begin(), it->second.refs.end());
    while (!pending.empty()) {
        std::string id = std::move(pending.back());
        pending.pop_back();
        if (!reached.insert(id).second) continue;
        for (const auto& object : doc.objects)
            if (object.id == id) pending.insert(pending.end(), object.objects.begin(), object.objects.end());
    }
    return reached;
}

std::string channelFormatOf(const ChnaChunk::Entry& entry, const AXMLDocument* doc) {
    if (doc) {
        if (const auto* uid = find(doc->trackUIDs, entry.trackUID); uid && !uid->channelFormat.empty())
            return uid->channelFormat;
    }
    if (entry.trackFormat.starts_with("AC_")) return entry.trackFormat;
    if (doc) {
        if (const auto* stream = find(doc->trackFormatStreams, entry.trackFormat))
            if (const auto* channel = find(doc->streamFormatChannels, *stream)) return *channel;
    }
    return ADMCommonDefinitions::channelOf(entry.trackFormat).value_or("");
}

std::string pluralised(std::size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

struct Group {
    std::string key, type;
    std::vector<std::string> labels;
};

std::string contentLine(const std::vector<Group>& groups) {
    std::vector<const Group*> beds;
    std::size_t objects = 0, hoa = 0, binaural = 0;
    for (const auto& g : groups) {
        if (g.type == "DirectSpeakers") beds.push_back(&g);
        else if (g.type == "Objects") ++objects;
        else if (g.type == "HOA") ++hoa;
        else if (g.type == "Binaural") ++binaural;
    }
    std::vector<std::string> parts;
    if (beds.size() == 1) {
        std::vector<std::string> labels;
        for (const auto& l : beds.front()->labels) labels.push_back(ADMModel::speakerLabel(l));
        if (labels == std::vector<std::string>{"C"}) labels = {"M"};
        const auto name = ChannelMap::formatName(labels);
        parts.push_back(name ? *name + " bed" : std::to_string(labels.size()) + "-channel bed");
    } else if (beds.size() > 1) {
        parts.push_back(pluralised(beds.size(), "bed"));
    }
    if (objects > 0) parts.push_back(pluralised(objects, "object"));
    if (hoa > 0) parts.push_back(hoa == 1 ? "HOA" : std::to_string(hoa) + " HOA");
    if (binaural > 0) parts.push_back("binaural");
    std::string line;
    for (const auto& p : parts) {
        if (!line.empty()) line += " + ";
        line += p;
    }
    return line;
}

// Long names are elided to fit where they are shown; this only bounds what a file can make us keep.
constexpr std::size_t kShortLabelCharacters = 64;

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view space = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Cut by UTF-8 characters, never inside one, so names in any script stay valid text.
std::string shortened(std::string_view text) {
    std::size_t characters = 0, cut = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters == kShortLabelCharacters - 1) cut = i;
        if (++characters > kShortLabelCharacters) return std::string(text.substr(0, cut)) + "\u2026";
    }
    return std::string(text);
}

} // namespace

std::string ADMModel::shortLabel(const Track& track) {
    std::string_view name = track.object;
    if (track.type == "DirectSpeakers") {
        if (std::string speaker = speakerLabel(track.label); speaker != "?") return speaker;
        std::string_view label = trimmed(track.label);
        // Dolby's RoomCentric beds name their channels "RC_L", "RC_Lss".
        if (label.size() > 3 && label.substr(0, 3) == "RC_") return std::string(label.substr(3));
        if (!label.empty()) name = label;
    }
    if (track.type == "HOA" && track.order && track.degree)
        return "ACN " + std::to_string(*track.order * *track.order + *track.order + *track.degree);
    name = trimmed(name);
    if (name.empty()) return "Obj " + std::to_string(track.index);
    return shortened(name);
}

std::string ADMModel::speakerLabel(std::string_view adm) {
    // Labels may come as URNs ("urn:itu:bs:2051:0:speaker:M+030").
    if (const auto colon = adm.rfind(':'); colon != std::string_view::npos) adm.remove_prefix(colon + 1);
    static constexpr std::pair<std::string_view, std::string_view> kLabels[] = {
        {"M+030", "L"},   {"M-030", "R"},   {"M+000", "C"},   {"LFE1", "LFE"},  {"LFE", "LFE"},  {"LFE2", "LFE2"},
        {"M+110", "Ls"},  {"M-110", "Rs"},  {"M+090", "Lss"}, {"M-090", "Rss"}, {"M+135", "Lrs"}, {"M-135", "Rrs"},
        {"M+180", "Cs"},  {"M+022", "Lc"},  {"M-022", "Rc"},  {"U+030", "Ltf"}, {"U-030", "Rtf"}, {"U+045", "Ltf"},
        {"U-045", "Rtf"}, {"U+110", "Ltr"}, {"U-110", "Rtr"}, {"U+135", "Ltr"}, {"U-135", "Rtr"}, {"U+090", "Ltm"},
        {"U-090", "Rtm"}, {"LFEL", "LFE"},  {"LFER", "LFE2"}};
    for (const auto& [from, to] : kLabels)
        if (from == adm) return std::string(to);
    return "?";
}

ADMModel ADMModel::build(const ChnaChunk& chna, const AXMLDocument* doc) {
    ADMModel model;
    std::set<std::string> played;
    if (doc) {
        if (const auto* programme = chosenProgramme(*doc, model.otherProgrammes)) {
            model.programme = programme->name;
            played = objectsOf(*doc, *programme);
        }
    }
    std::vector<Group> groups;
    for (const auto& entry : chna.entries) {
        Track track;
        track.index = entry.trackIndex;
        const std::string channelID = channelFormatOf(entry, doc);
        std::string packID = entry.packFormat, groupKey = "pack:" + entry.packFormat;
        std::string type, packNormalization;
        bool named = false;
        if (doc) {
            // The chosen programme's object for the track, else any that lists it.
            const AXMLDocument::Object* owner = nullptr;
            for (const auto& object : doc->objects) {
                if (std::find(object.trackUIDs.begin(), object.trackUIDs.end(), entry.trackUID) == object.trackUIDs.end())
                    continue;
                if (!owner || (played.contains(object.id) && !played.contains(owner->id))) owner = &object;
            }
            if (owner) {
                track.object = owner->name;
                track.objectStartSeconds = owner->startSeconds;
                track.objectDurationSeconds = owner->durationSeconds;
                groupKey = "object:" + owner->id;
                named = true;
            }
            if (const auto* channel = find(doc->channelFormats, channelID)) {
                type = channel->type;
                track.label = channel->speakerLabel.empty() ? channel->name : channel->speakerLabel;
                for (const auto& b : channel->blocks) track.blocks.push_back(converted(b));
                if (!channel->blocks.empty()) {
                    const auto& first = channel->blocks.front();
                    track.order = first.order, track.degree = first.degree, track.normalization = first.normalization;
                }
            }
            if (const auto* pack = find(doc->packFormats, packID)) {
                if (type.empty()) type = pack->type;
                if (!named) track.object = pack->name;
                packNormalization = pack->normalization;
            }
        }
        if (track.label.empty()) {
            if (const auto* common = ADMCommonDefinitions::channel(channelID)) {
                type = "DirectSpeakers";
                track.label = std::string(common->speakerLabel);
                track.blocks.push_back({std::nullopt, std::nullopt, common->azimuth, common->elevation, 1, {}, {}, {}});
            } else if (const auto hoa = ADMCommonDefinitions::hoaChannel(channelID)) {
                type = "HOA";
                track.order = hoa->order, track.degree = hoa->degree, track.normalization = std::string(hoa->normalization);
            }
        }
        if (!named && track.object.empty()) {
            if (const auto* pack = ADMCommonDefinitions::pack(packID)) track.object = std::string(pack->name);
        }
        if (type.empty()) type = typeFromID(!channelID.empty() ? channelID : packID);
        track.type = normalisedType(type);
        if (track.type == "HOA") {
            if (track.normalization.empty()) track.normalization = packNormalization;
            if (const auto pack = ADMCommonDefinitions::hoaPack(packID); pack && track.normalization.empty())
                track.normalization = std::string(pack->normalization);
            if (track.normalization.empty()) track.normalization = "SN3D"; // BS.2076's default
            if (track.label.empty() && track.order && track.degree) track.label = shortLabel(track);
        }

        auto group = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.key == groupKey; });
        if (group == groups.end()) group = groups.insert(groups.end(), Group{groupKey, track.type, {}});
        group->labels.push_back(track.label);
        model.tracks.push_back(std::move(track));
    }
    model.content = contentLine(groups);
    return model;
}

std::optional<ADMModel> ADMModel::read(const std::filesystem::path& path, const AXMLOptions& options,
                                       const CancellationTest& isCancelled) {
    const auto chunks = ADMChunkReader::read(path, options.maxBytes, isCancelled);
    if (!chunks || (!chunks->axml && !chunks->axmlOverLimit)) return std::nullopt;
    std::optional<AXMLDocument> document;
    if (chunks->axml) document = AXMLDocument::parse(chunks->axml->data(), chunks->axml->size(), options, isCancelled);
    std::optional<ChnaChunk> chna;
    if (chunks->chna) chna = ChnaChunk::parse(chunks->chna->data(), chunks->chna->size());
    ADMModel model = build(chna.value_or(ChnaChunk{}), document ? &*document : nullptr);
    if (!document) model.warnings.emplace_back(unreadableWarning);
    return model;
}

} // namespace vaun
